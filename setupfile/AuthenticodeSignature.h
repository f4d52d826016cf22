// What an Authenticode signature blob (a DER PKCS#7 SignedData) says: the digest of the signed
// file and its algorithm, the signer certificate's subject and issuer, and when it was signed or
// time-stamped. Only reads; it checks no cryptographic signature.
#pragma once

#include <string>
#include <string_view>

namespace kv {

enum class AuthenticodeDigestKind { kUnknown, kSha1, kSha256, kSha384, kSha512 };

struct AuthenticodeSignature {
  AuthenticodeDigestKind digest_kind = AuthenticodeDigestKind::kUnknown;
  std::string digest_algorithm_oid;  // dotted, as the signature names it
  std::string digest;                // the file digest the signature holds
  std::string signer_subject;        // "CN=..., O=...", empty when no certificate is the signer's
  std::string signer_issuer;
  std::string signing_time;  // "YYYY-MM-DD HH:MM:SS UTC" from the signed attributes, or empty
  std::string time_stamp;    // the same form, from a counter-signature or RFC 3161 time stamp
};

// Reads a ContentInfo holding SignedData with SpcIndirectDataContent; bytes after the element
// (padding) are ignored. False with a reason when the structure is not of that shape.
bool ReadAuthenticodeSignature(std::string_view content_info, AuthenticodeSignature& signature,
                               std::string& error);

}  // namespace kv
