// The key table of the package: which entry sets which field, and the rules for the port, the
// public key numbers and the scrambled values.
#include <array>
#include <string_view>

#include "config/Base64.h"
#include "config/PackageParser.h"
#include "config/ScrambledValues.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

constexpr std::uint32_t kMaxPort = 65535;
constexpr std::size_t kCrcTextLength = 8;
constexpr char kKeySeparator = ';';

enum class ValueRule { kPlain, kPort, kPublicKey, kScrambled, kSignature };

struct KeyRule {
  std::string_view key;
  ValueRule rule;
  std::string TKVConfigBinData::*field = nullptr;
  const ScrambledValueRule* scrambled = nullptr;
};
constexpr std::array<KeyRule, 10> kKeyRules{{
    {"KVSERVERURL", ValueRule::kPlain, &TKVConfigBinData::ServerURL},
    {"RAURL", ValueRule::kPlain, &TKVConfigBinData::RAURL},
    {"REGEMAILTO", ValueRule::kPlain, &TKVConfigBinData::RegEmailTo},
    {"REGSMTPSERVER", ValueRule::kPlain, &TKVConfigBinData::RegSMTPServer},
    {"REGSMTPPORT", ValueRule::kPort, &TKVConfigBinData::RegSMTPPort},
    {"REGSMTPSSL", ValueRule::kPlain, &TKVConfigBinData::RegSMTPSSL},
    {"REGPUBLICKEY", ValueRule::kPublicKey},
    {kCompanyRule.key, ValueRule::kScrambled, &TKVConfigBinData::Company, &kCompanyRule},
    {kCompanyLogoRule.key, ValueRule::kScrambled, &TKVConfigBinData::CompanyLogo,
     &kCompanyLogoRule},
    {"SIGNATURE", ValueRule::kSignature},
}};

// Keys are upper-cased before they are compared; the table's keys are upper case, so comparing
// ignoring ASCII case is the same and needs no copy of the key.
const KeyRule* FindKeyRule(std::string_view key) {
  for (const KeyRule& rule : kKeyRules) {
    if (key.size() == rule.key.size() && EqualsIgnoreAsciiCase(key, rule.key))
      return &rule;
  }
  return nullptr;
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
void ApplyPublicKey(std::string_view value, TKVConfigBinData& data) {
  const std::size_t separator = value.find(kKeySeparator);
  if (separator == std::string_view::npos || separator == 0 || separator + 1 == value.size())
    return;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (i != separator && HexDigitValue(value[i]) < 0)
      return;
  }
  data.RegPublicKey1 = value.substr(0, separator);
  data.RegPublicKey2 = value.substr(separator + 1);
}

// The value without its CRC text: 8 hexadecimal digits (either case) of the CRC-32 of the rest,
// checked as CheckAndStripCrcHex does but without a copy, since a value can be most of the
// package. False for a value shorter than the CRC text.
bool StripCrcText(std::string_view value, std::string_view& body) {
  if (value.size() < kCrcTextLength)
    return false;
  body = value.substr(0, value.size() - kCrcTextLength);
  return EqualsIgnoreAsciiCase(value.substr(body.size()), CrcHexText(body));
}

// The bytes of a scrambled value: (marker + payload) XOR the mask, as base64 text and its CRC
// text. A joined value is decoded, unmasked and handed to the field in its own buffer, so a logo
// of most of the package costs no second and third copy.
void ApplyScrambled(const KeyRule& target, PackageEntryView& entry, TKVConfigBinData& data) {
  const ScrambledValueRule& rule = *target.scrambled;
  std::string_view base64;
  if (!StripCrcText(entry.value, base64))
    return;
  std::string plain;
  if (entry.value.data() == entry.joined.data()) {
    entry.joined.resize(base64.size());
    plain = std::move(entry.joined);
    entry.joined.clear();
    entry.value = {};
    DecodeBase64ValueInPlace(plain);
  } else {
    plain = DecodeBase64Value(base64);
  }
  ApplyMaskInPlace(plain, rule.mask);
  if (!HasPrefix(rule.marker, plain))
    return;
  plain.erase(0, rule.marker.size());
  data.*target.field = std::move(plain);
}

}  // namespace

bool ApplyPackageEntry(PackageEntryView& entry, TKVConfigBinData& data,
                       std::string& signature_text) {
  const std::string_view value = entry.value;
  const KeyRule* rule = FindKeyRule(entry.key);
  if (rule == nullptr)
    return false;
  switch (rule->rule) {
    case ValueRule::kPlain:
      data.*rule->field = value;
      break;
    case ValueRule::kPort: {
      std::uint32_t port = 0;
      if (ParsePort(value, port))
        data.*rule->field = std::to_string(port);
      break;
    }
    case ValueRule::kPublicKey:
      ApplyPublicKey(value, data);
      break;
    case ValueRule::kScrambled:
      ApplyScrambled(*rule, entry, data);
      break;
    case ValueRule::kSignature: {
      std::string_view signature;
      if (StripCrcText(value, signature))
        signature_text = signature;
      return true;
    }
  }
  return false;
}

}  // namespace kv
