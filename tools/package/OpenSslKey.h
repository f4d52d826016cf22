// The signing side of the package signature, on OpenSSL: an RSA private key read from a PEM
// file, RSASSA-PKCS1-v1_5 signatures with SHA-512, and the public half as a PEM block
// "RSA PUBLIC KEY", and the SHA-512 digest the benchmark mode compares the parser with. Failures
// return false with OpenSSL's reason in the error text.
#pragma once

#include <openssl/evp.h>

#include <string>
#include <string_view>

#include "base/Owned.h"

namespace kv::tool {

class RsaPrivateKey {
 public:
  // pem: a private key in any PEM form OpenSSL reads without a password (PKCS#8 or PKCS#1).
  bool Load(std::string_view pem, std::string& error);
  bool SignSha512(std::string_view message, std::string& signature, std::string& error) const;
  bool PublicKeyPem(std::string& pem, std::string& error) const;

 private:
  OwnedPtr<EVP_PKEY, EVP_PKEY_free> key_;
};

// The SHA-512 digest of data, by the routine that "openssl dgst -sha512" runs.
bool Sha512Digest(std::string_view data, std::string& digest, std::string& error);

}  // namespace kv::tool
