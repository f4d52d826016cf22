// Base64 decoding of signature texts and scrambled values, and the signature check on
// arbitrary signature bytes against the built-in key.
#include "config/Base64.h"
#include "config/PackageSignature.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = kv::fuzz::Bytes(data, size);
  if (kv::DecodeBase64(text).size() > text.size() / 4 * 3)
    __builtin_trap();
  if (kv::DecodeBase64Value(text).size() > text.size() / 4 * 3)
    __builtin_trap();
  if (kv::VerifyPackageSignature("signed bytes", text, kv::BuiltInPublicKey()))
    __builtin_trap();
  return 0;
}
