// The package signature: RSASSA-PKCS1-v1_5 with SHA-512 over the signed bytes, checked against
// an RSA public key in PEM form ("RSA PUBLIC KEY"). Every problem gives false; never throws.
#pragma once

#include <string>

namespace kv {

bool VerifyPackageSignature(const std::string& signed_text, const std::string& signature_base64,
                            const std::string& public_key_pem);

// Decodes whole groups of four base64 characters; a trailing partial group is ignored. A group
// whose third or fourth character is "=" gives one or two bytes. Characters outside the alphabet
// count as zero bits; VerifyPackageSignature refuses signature texts that contain any.
std::string DecodeBase64(const std::string& text);

// The public key built into this program (PEM): the file named by the CMake option
// KV_PACKAGE_PUBLIC_KEY (config/package.cmake), by default the demo key keys/demo-public.pem.
const std::string& BuiltInPublicKey();

}  // namespace kv
