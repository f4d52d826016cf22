// Checks made with X.509 certificates (DER): a signature made with a certificate's public key
// (RSA PKCS#1 v1.5, RSASSA-PSS or ECDSA over a message hashed here), and the chain of a
// certificate up to roots the caller names or, on Windows, to the machine's store, at a given time
// and for a purpose. OpenSSL on Linux, crypt32 and CNG on Windows. Nothing throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/Digest.h"

namespace kv {

enum class KeySignatureKind { kRsaPkcs1, kRsaPss, kEcdsa };

struct KeySignatureScheme {
  KeySignatureKind kind = KeySignatureKind::kRsaPkcs1;
  DigestAlgorithm digest = DigestAlgorithm::kSha256;
  DigestAlgorithm pss_mgf_digest = DigestAlgorithm::kSha256;  // RSASSA-PSS only
  std::uint32_t pss_salt_length = 0;                          // RSASSA-PSS only
};

enum class CertificateSignatureResult {
  kValid,
  kInvalid,      // the signature is not the key's over the message (an RSA key for ECDSA too)
  kKeyUnusable,  // the certificate or its key cannot be read, or is of a kind not checked here
};

CertificateSignatureResult VerifyCertificateSignature(std::string_view certificate,
                                                      const KeySignatureScheme& scheme,
                                                      std::string_view message,
                                                      std::string_view signature);

enum class CertificatePurpose { kCodeSigning, kTimeStamping };

struct ChainResult {
  bool trusted = false;
  std::string text;     // "trusted ...", why not, or why it was not checked
  bool checked = true;  // false: no check was made (no store of roots on this system)
};

// The chain from certificate to one of the roots (PEM texts of one or more certificates each),
// the other certificates of the signature offered as intermediates; every certificate valid at
// at_time (seconds since 1970 UTC), the first one allowed (extended key usage) for the purpose.
ChainResult CheckCertificateChain(std::string_view certificate,
                                  const std::vector<std::string>& intermediates,
                                  const std::vector<std::string>& roots_pem, std::int64_t at_time,
                                  CertificatePurpose purpose);

// The number of certificates that can be read from the PEM text pem.
int CountPemCertificates(std::string_view pem);

// The same chain to a root this computer trusts. On Windows: the machine's store through the
// default chain engine, without revocation check or network retrieval, so the answer is the same
// offline. Linux has no store of roots for code signing (the system bundle's roots are trusted for
// TLS servers), so there it is not checked.
ChainResult CheckCertificateChainToSystemStore(std::string_view certificate,
                                               const std::vector<std::string>& intermediates,
                                               std::int64_t at_time, CertificatePurpose purpose);

}  // namespace kv
