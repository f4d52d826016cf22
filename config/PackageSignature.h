// The package signature: RSASSA-PKCS1-v1_5 with SHA-512 over the signed bytes, checked against
// an RSA public key in PEM form ("RSA PUBLIC KEY"). Every problem gives false; never throws.
#pragma once

#include <string>

namespace kv {

// The signature text is base64 (config/Base64.h); one with a character outside the alphabet in
// the groups that are decoded never verifies.
bool VerifyPackageSignature(const std::string& signed_text, const std::string& signature_base64,
                            const std::string& public_key_pem);

// The public key built into this program (PEM): the file named by the CMake option
// KV_PACKAGE_PUBLIC_KEY (config/package.cmake), by default the demo key keys/demo-public.pem.
const std::string& BuiltInPublicKey();

}  // namespace kv
