// The blob list stored in a setup file's configuration data area, written and read in this one
// place: entries of a 32-bit little-endian length and the bytes of a name, then of a value, ended
// by an entry with an empty name. Every value but the mask carries its CRC text and is XORed with
// the mask that precedes it in the list.
#pragma once

#include <string>
#include <string_view>

namespace kv {

inline constexpr std::string_view kMaskEntryName = "Mask";
inline constexpr std::string_view kPackageEntryName = "KVConfig";
inline constexpr std::string_view kAnswerFileEntryName = "AutoInstall";

// Appends one entry: the length and bytes of name, then of value.
void WriteBlobEntry(std::string& list, std::string_view name, std::string_view value);

// The whole list: the mask (plain), the package, the answer file when it is not empty (each with
// its CRC text, masked), and the end entry.
std::string EncodeBlobList(std::string_view mask, std::string_view package_text,
                           std::string_view answer_file_text);

// The decoded value of the first entry called name (ASCII case ignored) in the list at the start
// of area. False when there is none before the end entry, when the list runs past the area or
// when the value's CRC text does not match; value is assigned only when found.
bool FindBlobInList(std::string_view area, std::string_view name, std::string& value);

// The bytes the list at the start of area takes, its end entry included as far as the area holds
// it. False when the list runs past the area before its end entry, or a length is negative.
bool MeasureBlobList(std::string_view area, std::size_t& used);

}  // namespace kv
