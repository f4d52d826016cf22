// The CSV reader of batch lists on arbitrary bytes, and the receipt's JSON strings of what it
// reads. The first byte sets the size of the pieces the rest is handed out in: the records (or
// the error) must not depend on where the pieces end. Every field is UTF-8 of bounded size, and
// its JSON string is UTF-8 without control bytes.
#include <algorithm>

#include "app/BatchReceipt.h"
#include "app/CsvReader.h"
#include "app/Utf8Text.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

std::string ReadRecords(const std::string& text, std::size_t piece) {
  std::size_t at = 0;
  kv::CsvReader reader([&](std::span<char> buffer) {
    const std::size_t n = std::min({piece, buffer.size(), text.size() - at});
    std::copy_n(text.data() + at, n, buffer.data());
    at += n;
    return n;
  });
  std::string transcript;
  std::vector<std::string> fields;
  std::string error;
  while (reader.Next(fields, error)) {
    transcript += std::to_string(reader.RecordLine()) + ":";
    for (const std::string& field : fields) {
      if (field.size() > kv::CsvReader::kMaxFieldSize || !kv::IsUtf8(field))
        __builtin_trap();
      const std::string json = kv::JsonString(field);
      if (!kv::IsUtf8(json) || std::any_of(json.begin(), json.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20;
          })) {
        __builtin_trap();
      }
      transcript += json + ",";
    }
    transcript += "\n";
  }
  return transcript + error;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const std::string text = kv::fuzz::Bytes(data + 1, size - 1);
  const std::size_t piece = data[0] % 7 + 1;
  if (ReadRecords(text, piece) != ReadRecords(text, 65536))
    __builtin_trap();
  return 0;
}
