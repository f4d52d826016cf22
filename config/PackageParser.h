// The steps of ParseConfigPackage, exposed for its tests and for tools that check a package
// against a key other than the built-in one. The cursor walks the package text up to its first
// zero byte, which ends the text for parsing; lines, keys and values are views of that text.
#pragma once

#include <string>
#include <string_view>

#include "config/ConfigPackage.h"

namespace kv {

struct PackageCursor {
  explicit PackageCursor(std::string_view package_text);
  std::string_view text;  // the package text up to, not including, its first zero byte
  std::size_t position = 0;
  // The next CR and LF at or after position, kept between lines so that every byte of the text
  // is searched once; kUnknown until searched.
  static constexpr std::size_t kUnknown = std::string_view::npos;
  std::size_t next_cr = kUnknown;
  std::size_t next_lf = kUnknown;
};

// False at the end of the text; otherwise the characters up to the next CR, LF or the end, and
// the cursor moves past one line end (CR, LF or CR LF).
bool ReadPackageLine(PackageCursor& cursor, std::string_view& line);

// One entry: the key as written (the key table compares it ignoring ASCII case) and the trimmed
// value. A value that continues over "~" lines is joined in joined, which keeps its storage
// from entry to entry; any other value is a view of the text.
struct PackageEntryView {
  std::string_view key;
  std::string_view value;
  std::string joined;
};

// Reads lines until an entry (KEY=VALUE, "=" neither first nor last) is found and then the
// value's continuation lines; false when the text ends first.
bool ReadPackageEntry(PackageCursor& cursor, PackageEntryView& entry);

// Stores one entry into data by the key table; entries a rule rejects change nothing. Returns
// true for "SIGNATURE", the entry that ends the entries, and then sets signature_text to the
// value without its CRC text when the CRC matches. A scrambled value may take over the entry's
// joined buffer, which leaves the entry's value empty.
bool ApplyPackageEntry(PackageEntryView& entry, TKVConfigBinData& data,
                       std::string& signature_text);

// VerifyPackageSignature over a range of the package text, which is not copied.
bool VerifySignedRange(std::string_view signed_text, std::string_view signature_base64,
                       const std::string& public_key_pem);

// ParseConfigPackage with the signature checked against public_key_pem.
bool ParseConfigPackageWithKey(const std::string& text, TKVConfigBinData& data, std::string& error,
                               const std::string& public_key_pem);
// The same, with the text moved into data.RawText instead of copied.
bool ParseConfigPackageWithKey(std::string&& text, TKVConfigBinData& data, std::string& error,
                               const std::string& public_key_pem);

}  // namespace kv
