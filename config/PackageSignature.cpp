// The package signature check.
#include "config/PackageSignature.h"

#include "base/Failure.h"
#include "config/Base64.h"
#include "config/PackageParser.h"
#include "crypto/RsaVerify.h"

namespace kv {

bool VerifyPackageSignature(const std::string& signed_text, const std::string& signature_base64,
                            const std::string& public_key_pem) {
  return VerifySignedRange(signed_text, signature_base64, public_key_pem);
}

bool VerifySignedRange(std::string_view signed_text, std::string_view signature_base64,
                       const std::string& public_key_pem) {
  // A stray character must not turn into some 6-bit value that happens to verify.
  if (public_key_pem.empty() || !IsBase64Text(signature_base64, Base64Check::kWholeGroups))
    return false;
  // A signature that cannot be checked, for whatever reason, is no valid signature.
  return RunIgnoringFailure([&] {
    return VerifyRsaSha512Pkcs1(signed_text, DecodeBase64(signature_base64), public_key_pem);
  });
}

}  // namespace kv
