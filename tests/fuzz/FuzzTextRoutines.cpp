// HexToBytes and the CRC text check on arbitrary bytes.
#include "setupfile/ZNTUtils.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = kv::fuzz::Bytes(data, size);
  const std::string bytes = kv::HexToBytes(input);
  if (bytes.size() > input.size() / 2)
    __builtin_trap();
  std::string value = input;
  if (kv::CheckAndStripCrcHex(value)) {
    if (!input.empty() && value.size() + 8 != input.size())
      __builtin_trap();
    // The CRC text of no bytes is 00000000, which AppendCrcHex does not write.
    if (value.empty())
      value = "00000000";
    else
      kv::AppendCrcHex(value);
    if (!input.empty() && !kv::EqualsIgnoreAsciiCase(value, input))
      __builtin_trap();
  } else if (value != input) {
    __builtin_trap();
  }
  return 0;
}
