// The OpenSSL digest of each digest algorithm, for the crypto unit's Linux files; defined in
// Digest_posix.cpp.
#pragma once

#include <openssl/evp.h>

#include "crypto/Digest.h"

namespace kv {

const EVP_MD* OpenSslDigest(DigestAlgorithm algorithm);

}  // namespace kv
