// What an Authenticode signature blob (a DER PKCS#7 SignedData) says: the digest of the signed
// file and its algorithm, the signer's certificate, signed attributes and signature value, its
// time stamp (counter-signature or RFC 3161 token) and the nested signatures. Only reads: the
// cryptographic checks of these parts are made by the caller.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

enum class AuthenticodeDigestKind { kUnknown, kSha1, kSha256, kSha384, kSha512 };

// How a signer's signature value is made: RSA PKCS#1 v1.5 (rsaEncryption or shaNWithRSA),
// RSASSA-PSS, or ECDSA.
enum class SignatureAlgorithmKind { kUnknown, kRsaPkcs1, kRsaPss, kEcdsa };

// One SignerInfo: the signer of a signature, of a counter-signature or of a time stamp token.
struct SignerParts {
  AuthenticodeDigestKind digest_kind = AuthenticodeDigestKind::kUnknown;
  std::string digest_algorithm_oid;  // dotted
  bool has_signed_attributes = false;
  std::string signed_attributes;  // DER, tagged as a SET: the bytes the signature covers
  bool has_message_digest = false;
  std::string message_digest;  // the signed messageDigest attribute
  // The signed contentType attribute, dotted; empty when there is not exactly one.
  std::string content_type;
  std::string signing_time;  // "YYYY-MM-DD HH:MM:SS UTC" or empty
  SignatureAlgorithmKind signature_kind = SignatureAlgorithmKind::kUnknown;
  std::string signature_algorithm_oid;  // dotted
  AuthenticodeDigestKind pss_mgf_digest = AuthenticodeDigestKind::kUnknown;
  std::uint32_t pss_salt_length = 20;
  std::string signature;    // the signature value
  std::string certificate;  // DER of the certificate its issuer and serial number name, or empty
  std::string subject;      // of that certificate, "CN=..., O=..."
  std::string issuer;
};

enum class TimeStampKind { kNone, kCounterSignature, kRfc3161 };

// The first time stamp in a signer's unsigned attributes.
struct AuthenticodeTimeStamp {
  TimeStampKind kind = TimeStampKind::kNone;
  std::string problem;  // why the time stamp cannot be read, when it cannot
  SignerParts signer;   // the time-stamping authority's SignerInfo
  // What signer.message_digest covers: the stamped signature value (counter-signature) or the
  // TSTInfo (RFC 3161).
  std::string signed_content;
  // RFC 3161 only: the message imprint, a digest of the stamped signature value.
  AuthenticodeDigestKind imprint_kind = AuthenticodeDigestKind::kUnknown;
  std::string imprint;
  std::string time;          // "YYYY-MM-DD HH:MM:SS UTC" or empty
  std::int64_t seconds = 0;  // the same time since 1970-01-01 UTC; 0 when unknown
  // DER, of the token (RFC 3161); a counter-signature's certificates are the signature's.
  std::vector<std::string> certificates;
};

// Real files nest one or two signatures; of more, one beyond this many is read, to tell that there
// are too many.
constexpr std::size_t kMaxNestedSignatures = 16;

struct AuthenticodeSignature {
  AuthenticodeDigestKind digest_kind = AuthenticodeDigestKind::kUnknown;
  std::string digest_algorithm_oid;  // dotted, as the signature names it
  std::string digest;                // the file digest the signature holds
  std::string signer_subject;        // "CN=..., O=...", empty when no certificate is the signer's
  std::string signer_issuer;
  std::string signing_time;   // "YYYY-MM-DD HH:MM:SS UTC" from the signed attributes, or empty
  std::string time_stamp;     // the same form, from a counter-signature or RFC 3161 time stamp
  std::string indirect_data;  // content bytes of SpcIndirectDataContent: what messageDigest covers
  SignerParts signer;
  std::vector<std::string> certificates;  // DER, in the order of the certificate set
  AuthenticodeTimeStamp stamp;
  // DER ContentInfo of each nested signature, in order, at most kMaxNestedSignatures + 1: views
  // into the blob read (not copies, which would hold a deeply nested blob once per level).
  std::vector<std::string_view> nested;
};

// Reads a ContentInfo holding SignedData with SpcIndirectDataContent; bytes after the element
// (padding) are ignored. False with a reason when the structure is not of that shape.
bool ReadAuthenticodeSignature(std::string_view content_info, AuthenticodeSignature& signature,
                               std::string& error);

}  // namespace kv
