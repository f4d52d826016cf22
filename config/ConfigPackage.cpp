// ParseConfigPackage: header check, entry loop, signed range and signature state.
#include "config/ConfigPackage.h"

#include "base/Failure.h"
#include "base/FailureMessages.h"
#include "config/PackageParser.h"
#include "config/PackageSignature.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

constexpr const char* kFileTooLarge = FailurePattern(FailureMessage::kPackageTooLarge);
constexpr const char* kInvalidFormat = FailurePattern(FailureMessage::kInvalidFormat);

// Reads entries up to the end or the "SIGNATURE" entry and sets the signature state. The signed
// text runs from the first byte up to the end of the entry before "SIGNATURE" (its line end and
// continuation lines included), so skipped lines directly before "SIGNATURE" are not covered.
void ReadEntries(std::string_view text, PackageCursor& cursor, TKVConfigBinData& data,
                 const std::string& public_key_pem) {
  std::string signature_text;
  PackageEntryView entry;
  for (;;) {
    const std::size_t entry_start = cursor.position;
    if (!ReadPackageEntry(cursor, entry))
      return;
    if (!ApplyPackageEntry(entry, data, signature_text))
      continue;
    if (!entry.value.empty()) {
      data.SignatureState =
          VerifySignedRange(text.substr(0, entry_start), signature_text, public_key_pem)
              ? SignatureValid
              : SignatureInvalid;
    }
    return;
  }
}

// Checks data.RawText, whose other fields are empty, and fills them.
bool ParseRawText(TKVConfigBinData& data, std::string& error, const std::string& public_key_pem) {
  const std::string_view text = data.RawText;
  if (text.size() > kMaxPackageSize) {
    error = kFileTooLarge;
    return false;
  }
  PackageCursor cursor(text);
  std::string_view header;
  if (!ReadPackageLine(cursor, header) || !EqualsIgnoreAsciiCase(header, kPackageHeaderLine)) {
    error = kInvalidFormat;
    return false;
  }
  ReadEntries(text, cursor, data, public_key_pem);
  return !data.ServerURL.empty();
}

}  // namespace

bool ParseConfigPackageWithKey(std::string&& text, TKVConfigBinData& data, std::string& error,
                               const std::string& public_key_pem) {
  error.clear();
  std::string raw_text = std::move(text);  // text may be data.RawText itself
  data = TKVConfigBinData{};
  data.RawText = std::move(raw_text);
  return RunReportingFailure([&] { return ParseRawText(data, error, public_key_pem); }, error);
}

bool ParseConfigPackageWithKey(const std::string& text, TKVConfigBinData& data, std::string& error,
                               const std::string& public_key_pem) {
  std::string copy;
  if (!RunReportingFailure([&] { copy = text; }, error)) {
    data = TKVConfigBinData{};
    return false;
  }
  return ParseConfigPackageWithKey(std::move(copy), data, error, public_key_pem);
}

bool ParseConfigPackage(const std::string& text, TKVConfigBinData& data, std::string& error) {
  return ParseConfigPackageWithKey(text, data, error, BuiltInPublicKey());
}

const char* SignatureStateName(std::uint8_t state) {
  switch (state) {
    case SignatureValid:
      return "valid";
    case SignatureInvalid:
      return "INVALID";
    default:
      return "missing";
  }
}

}  // namespace kv
