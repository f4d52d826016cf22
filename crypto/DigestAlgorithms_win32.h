// The CNG algorithm name of each digest algorithm, for the crypto unit's Windows files; defined
// in Digest_win32.cpp.
#pragma once

#include <windows.h>

#include "crypto/Digest.h"

namespace kv {

LPCWSTR CngDigestName(DigestAlgorithm algorithm);

}  // namespace kv
