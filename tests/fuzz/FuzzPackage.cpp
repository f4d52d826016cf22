// The package parser with its signature check, on arbitrary package texts. Whatever the input,
// the raw text is kept whole and a forged signature never counts as valid.
#include "config/ConfigPackage.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = kv::fuzz::Bytes(data, size);
  kv::TKVConfigBinData record;
  std::string error;
  const bool ok = kv::ParseConfigPackage(text, record, error);
  if (record.RawText != text)
    __builtin_trap();
  if (ok && (record.ServerURL.empty() || !error.empty()))
    __builtin_trap();
  if (record.SignatureState > kv::SignatureValid)
    __builtin_trap();
  return 0;
}
