// RSASSA-PKCS1-v1_5 verification with SHA-512 against an RSA public key given as a PEM block
// "RSA PUBLIC KEY" (PKCS#1 RSAPublicKey). The cryptographic library of the platform hashes the
// message, does the public operation and checks the padding and the SHA-512 DigestInfo.
// Returns false for every failure (key that does not load, wrong length, bad padding, library
// error); never throws.
#pragma once

#include <string_view>

namespace kv {

bool VerifyRsaSha512Pkcs1(std::string_view message, std::string_view signature,
                          std::string_view public_key_pem);

}  // namespace kv
