// The key table of the package: which entry sets which field, and the rules for the port, the
// public key numbers and the scrambled values.
#include <array>
#include <string_view>

#include "config/PackageParser.h"
#include "config/PackageSignature.h"
#include "config/ScrambledValues.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

constexpr std::uint32_t kMaxPort = 65535;
constexpr std::size_t kCrcTextLength = 8;
constexpr char kKeySeparator = ';';

struct PlainKey {
  std::string_view key;
  std::string TKVConfigBinData::*field;
};
constexpr std::array<PlainKey, 5> kPlainKeys{{
    {"KVSERVERURL", &TKVConfigBinData::ServerURL},
    {"RAURL", &TKVConfigBinData::RAURL},
    {"REGEMAILTO", &TKVConfigBinData::RegEmailTo},
    {"REGSMTPSERVER", &TKVConfigBinData::RegSMTPServer},
    {"REGSMTPSSL", &TKVConfigBinData::RegSMTPSSL},
}};

struct ScrambledKey {
  const ScrambledValueRule& rule;
  std::string TKVConfigBinData::*field;
};
const std::array<ScrambledKey, 2> kScrambledKeys{{
    {kCompanyRule, &TKVConfigBinData::Company},
    {kCompanyLogoRule, &TKVConfigBinData::CompanyLogo},
}};

bool IsBase64Letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

// The integer conversion of the platform's runtime: an optional sign, then decimal digits, or
// hexadecimal digits after "$", "x" or "0x". True only for a whole number from 0 to 65535.
bool ParsePort(std::string_view text, std::uint32_t& port) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (HasPrefix("$", text) || HasPrefixText("X", text)) {
    base = 16;
    text.remove_prefix(1);
  } else if (HasPrefixText("0X", text)) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty())
    return false;
  std::uint32_t value = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || digit >= base)
      return false;
    value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    if (value > kMaxPort)
      return false;  // also stops the accumulation before it could overflow
  }
  if (negative && value != 0)
    return false;
  port = value;
  return true;
}

// "REGPUBLICKEY": hexadecimal digits around exactly one ";" that is neither first nor last.
void ApplyPublicKey(const std::string& value, TKVConfigBinData& data) {
  const std::size_t separator = value.find(kKeySeparator);
  if (separator == std::string::npos || separator == 0 || separator + 1 == value.size())
    return;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (i != separator && HexDigitValue(value[i]) < 0)
      return;
  }
  data.RegPublicKey1 = value.substr(0, separator);
  data.RegPublicKey2 = value.substr(separator + 1);
}

void ApplyScrambled(const ScrambledKey& target, const std::string& value, TKVConfigBinData& data) {
  const ScrambledValueRule& rule = target.rule;
  std::string base64 = value;
  if (base64.size() < kCrcTextLength || !CheckAndStripCrcHex(base64))
    return;
  const std::string plain = ApplyMask(DecodeBase64Value(base64), rule.mask);
  if (!HasPrefix(rule.marker, plain))
    return;
  data.*target.field = plain.substr(rule.marker.size());
}

}  // namespace

std::string DecodeBase64Value(std::string_view text) {
  const std::size_t padding = text.find('=');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool valid = i < padding ? IsBase64Letter(text[i]) : text[i] == '=';
    if (!valid)
      return {};
  }
  return DecodeBase64(std::string(text));
}

void ApplyPackageEntry(const std::string& key, const std::string& value, TKVConfigBinData& data,
                       std::string& signature_text) {
  for (const PlainKey& rule : kPlainKeys) {
    if (key == rule.key) {
      data.*rule.field = value;
      return;
    }
  }
  for (const ScrambledKey& target : kScrambledKeys) {
    if (key == target.rule.key) {
      ApplyScrambled(target, value, data);
      return;
    }
  }
  if (key == "REGSMTPPORT") {
    std::uint32_t port = 0;
    if (ParsePort(value, port))
      data.RegSMTPPort = std::to_string(port);
  } else if (key == "REGPUBLICKEY") {
    ApplyPublicKey(value, data);
  } else if (key == "SIGNATURE") {
    std::string signature = value;
    if (CheckAndStripCrcHex(signature))
      signature_text = signature;
  }
}

}  // namespace kv
