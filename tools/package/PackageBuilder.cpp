#include "tools/package/PackageBuilder.h"

#include "config/Base64.h"
#include "config/ConfigPackage.h"
#include "setupfile/ZNTUtils.h"

namespace kv::tool {
namespace {

constexpr char kContinuationMark = '~';
constexpr std::string_view kSignatureKey = "SIGNATURE";
constexpr std::string_view kServerUrlKey = "KVSERVERURL";
constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1A\n";

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

bool IsReservedKey(std::string_view key) {
  return EqualsIgnoreAsciiCase(key, kSignatureKey) ||
         EqualsIgnoreAsciiCase(key, kCompanyRule.key) ||
         EqualsIgnoreAsciiCase(key, kCompanyLogoRule.key);
}

// Why a KEY=VALUE line cannot go into a package unchanged, or empty when it can.
std::string CheckEntry(std::string_view key, std::string_view value) {
  if (key.empty())
    return "the line starts with \"=\"; expected KEY=VALUE";
  for (char c : key) {
    if (IsBlankOrControl(c))
      return "the key contains a blank or control character";
  }
  if (IsReservedKey(key))
    return "the key " + AsciiUpperCase(key) + " is written by this tool itself";
  if (value.find('\0') != std::string_view::npos)
    return "the value contains a zero byte";
  if (!value.empty() && (IsBlankOrControl(value.front()) || IsBlankOrControl(value.back())))
    return "the value starts or ends with a blank or control character, which would be lost";
  if (!value.empty() && value.back() == kContinuationMark)
    return "the value ends with \"~\", which would be read as a continuation mark";
  return {};
}

// Where the next piece of value ends, starting at start: at most width characters, moved back
// so that the characters on both sides of the cut are neither blank nor control characters.
std::size_t PieceEnd(std::string_view value, std::size_t start, std::size_t width) {
  if (width == 0 || value.size() - start <= width)
    return value.size();
  for (std::size_t cut = start + width; cut > start; --cut) {
    if (!IsBlankOrControl(value[cut - 1]) && !IsBlankOrControl(value[cut]))
      return cut;
  }
  return value.size();
}

}  // namespace

bool ReadEntryList(std::string_view text, std::vector<PackageEntry>& entries, std::string& error) {
  entries.clear();
  error.clear();
  std::size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    if (TrimControl(line).empty() || line.front() == '#')
      continue;
    const std::size_t equals = line.find('=');
    std::string problem = equals == std::string_view::npos
                              ? "no \"=\"; expected KEY=VALUE"
                              : CheckEntry(line.substr(0, equals), line.substr(equals + 1));
    if (!problem.empty()) {
      error = "line " + std::to_string(line_number) + ": " + problem;
      return false;
    }
    entries.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  return true;
}

bool HasServerUrl(const std::vector<PackageEntry>& entries) {
  bool has_url = false;
  for (const PackageEntry& entry : entries) {
    if (EqualsIgnoreAsciiCase(entry.first, kServerUrlKey))
      has_url = !entry.second.empty();  // the last occurrence wins in the parser too
  }
  return has_url;
}

std::string ScrambleValue(const ScrambledValueRule& rule, std::string_view payload) {
  std::string plain(rule.marker);
  plain += payload;
  std::string value = EncodeBase64(ApplyMask(plain, rule.mask));
  AppendCrcHex(value);
  return value;
}

std::string FormatEntry(std::string_view key, std::string_view value, std::string_view line_end,
                        std::size_t piece_width) {
  std::string text(key);
  text += '=';
  if (value.empty()) {
    text += ' ';  // "KEY=" would be no entry at all; "KEY= " is one with an empty value
  }
  for (std::size_t start = 0;;) {
    const std::size_t end = PieceEnd(value, start, piece_width);
    text += value.substr(start, end - start);
    if (end == value.size())
      break;
    text += kContinuationMark;
    text += line_end;
    start = end;
  }
  text += line_end;
  return text;
}

bool BuildPackage(const PackageContent& content, const SignFunction& sign, std::string& package,
                  std::string& error) {
  package.clear();
  error.clear();
  if (!content.logo.empty() && !HasPrefix(kPngSignature, content.logo)) {
    error = "the logo is not a PNG file";
    return false;
  }
  std::string text(kPackageHeaderLine);
  text += content.line_end;
  for (const PackageEntry& entry : content.entries)
    text += FormatEntry(entry.first, entry.second, content.line_end, content.piece_width);
  text += FormatEntry(kCompanyRule.key, ScrambleValue(kCompanyRule, content.company),
                      content.line_end, content.piece_width);
  if (!content.logo.empty()) {
    text += FormatEntry(kCompanyLogoRule.key, ScrambleValue(kCompanyLogoRule, content.logo),
                        content.line_end, content.piece_width);
  }
  std::string signature;
  if (!sign(text, signature, error))
    return false;
  std::string signature_value = EncodeBase64(signature);
  AppendCrcHex(signature_value);
  text += FormatEntry(kSignatureKey, signature_value, content.line_end, content.piece_width);
  if (text.size() > kMaxPackageSize) {
    error = "the package would be " + std::to_string(text.size()) +
            " bytes; a package may have at most " + std::to_string(kMaxPackageSize);
    return false;
  }
  package = std::move(text);
  return true;
}

}  // namespace kv::tool
