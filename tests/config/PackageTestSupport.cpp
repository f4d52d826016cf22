#include "tests/config/PackageTestSupport.h"

#include "config/PackageParser.h"
#include "setupfile/ZNTUtils.h"
#include "tests/support/TestFiles.h"

namespace kv::test {

std::string EncodeBase64ForTest(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                       static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    for (int shift : {18, 12, 6, 0})
      text += kAlphabet[(v >> shift) & 63];
  }
  if (bytes.size() - i == 1) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    text += std::string{kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63]} + "==";
  } else if (bytes.size() - i == 2) {
    const unsigned v =
        static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
    text +=
        std::string{kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63]} + "=";
  }
  return text;
}

std::string ScrambledValue(const std::string& marker, const std::string& mask,
                           const std::string& payload) {
  std::string value = EncodeBase64ForTest(ApplyMask(marker + payload, mask));
  return value + CrcHexText(value);
}

std::string DemoPublicKey() {
  static const std::string key = ReadFileBytes(SourceDir() + "/keys/demo-public.pem");
  return key;
}

ParseResult ParseWithDemoKey(const std::string& text) {
  ParseResult result;
  result.ok = ParseConfigPackageWithKey(text, result.data, result.error, DemoPublicKey());
  return result;
}

}  // namespace kv::test
