// ParseConfigPackage: header check, entry loop, signed range and signature state.
#include "config/ConfigPackage.h"

#include <exception>

#include "config/PackageParser.h"
#include "config/PackageSignature.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

constexpr const char* kFileTooLarge = "File size > 1MB";
constexpr const char* kInvalidFormat = "Invalid / unsupported file format";

void ResetRecord(const std::string& text, TKVConfigBinData& data) {
  data = TKVConfigBinData{};
  data.RawText = text;
}

// Reads entries up to the end or the "SIGNATURE" entry and sets the signature state. The signed
// text runs from the first byte up to the end of the entry before "SIGNATURE" (its line end and
// continuation lines included), so skipped lines directly before "SIGNATURE" are not covered.
void ReadEntries(const std::string& text, PackageCursor& cursor, TKVConfigBinData& data,
                 const std::string& public_key_pem) {
  std::string signature_text;
  std::string key;
  std::string value;
  for (;;) {
    const std::size_t entry_start = cursor.position;
    if (!ReadPackageEntry(cursor, key, value))
      return;
    ApplyPackageEntry(key, value, data, signature_text);
    if (key != "SIGNATURE")
      continue;
    if (!value.empty()) {
      const std::string_view signed_text = std::string_view(text).substr(0, entry_start);
      data.SignatureState = VerifySignedRange(signed_text, signature_text, public_key_pem)
                                ? SignatureValid
                                : SignatureInvalid;
    }
    return;
  }
}

}  // namespace

bool ParseConfigPackageWithKey(const std::string& text, TKVConfigBinData& data, std::string& error,
                               const std::string& public_key_pem) {
  error.clear();
  try {
    ResetRecord(text, data);
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
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
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
