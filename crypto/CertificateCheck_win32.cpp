// Windows backend, not yet native: no certificate check is made here, and the callers report the
// steps that need one as not checked.
#include "crypto/CertificateCheck.h"

namespace kv {

CertificateSignatureResult VerifyCertificateSignature(std::string_view /*certificate*/,
                                                      const KeySignatureScheme& /*scheme*/,
                                                      std::string_view /*message*/,
                                                      std::string_view /*signature*/) {
  return CertificateSignatureResult::kKeyUnusable;
}

ChainResult CheckCertificateChain(std::string_view /*certificate*/,
                                  const std::vector<std::string>& /*intermediates*/,
                                  const std::vector<std::string>& /*roots_pem*/,
                                  std::int64_t /*at_time*/, CertificatePurpose /*purpose*/) {
  return {false, "not checked on this system"};
}

}  // namespace kv
