// The DER length and the data area search on arbitrary file tails. The input is taken as a
// whole file, and again behind the marker so that the length decoding is reached every time.
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/ZNTUtils.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/support/TestFiles.h"

namespace {

void Check(const std::string& file) {
  kv::test::MemoryFileStream stream(file);
  std::int64_t position = 0;
  std::uint32_t length = 0;
  if (kv::LocateConfigArea(stream, position, length) &&
      (position < 0 || position + length > static_cast<std::int64_t>(file.size()))) {
    __builtin_trap();
  }
  std::string area;
  if (kv::ReadConfigArea(stream, area) && area.size() != length)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = kv::fuzz::Bytes(data, size);
  std::uint32_t length = 0;
  int header = 0;
  if (kv::DecodeDerLength(input, length, header) &&
      (header < 1 || header > 5 || static_cast<std::size_t>(header) > input.size())) {
    __builtin_trap();
  }
  Check(input);
  Check(kv::HexToBytes(kv::kConfigAreaMarkerHex) + input);
  return 0;
}
