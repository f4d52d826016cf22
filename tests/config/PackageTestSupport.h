// Helpers of the package tests: package texts, an independent base64 encoder and the parse
// result in one value.
#pragma once

#include <string>

#include "config/ConfigPackage.h"

namespace kv::test {

inline const std::string kHeader = "Quillabrenthorst Configuration ver #2.00";

std::string EncodeBase64ForTest(const std::string& bytes);
// The value of a scrambled entry: base64 of (marker + payload) XOR mask, then its CRC text.
std::string ScrambledValue(const std::string& marker, const std::string& mask,
                           const std::string& payload);

struct ParseResult {
  bool ok = false;
  std::string error;
  TKVConfigBinData data;
};
// Parses text with the demo key as the trusted key.
ParseResult ParseWithDemoKey(const std::string& text);
std::string DemoPublicKey();

}  // namespace kv::test
