#include "setupfile/BlobList.h"

#include <algorithm>

#include "base/ByteReader.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

// A value as stored: its CRC text appended (an empty value stays empty), XORed with the mask.
std::string EncodeValue(std::string_view plain, std::string_view mask) {
  std::string value(plain);
  AppendCrcHex(value);
  return ApplyMask(value, mask);
}

// One length-prefixed field: 32-bit little-endian length, then the bytes. A negative length or
// one that runs past the end of the list fails.
bool ReadBlobEntryString(ByteReader& reader, std::string_view& field) {
  std::int32_t length = 0;
  return reader.ReadI32LE(length) && length >= 0 && reader.ReadBytes(length, field);
}

}  // namespace

void WriteBlobEntry(std::string& list, std::string_view name, std::string_view value) {
  AppendU32LE(list, static_cast<std::uint32_t>(name.size()));
  list += name;
  AppendU32LE(list, static_cast<std::uint32_t>(value.size()));
  list += value;
}

std::string EncodeBlobList(std::string_view mask, std::string_view package_text,
                           std::string_view answer_file_text) {
  std::string list;
  if (!mask.empty())
    WriteBlobEntry(list, kMaskEntryName, mask);
  WriteBlobEntry(list, kPackageEntryName, EncodeValue(package_text, mask));
  if (!answer_file_text.empty())
    WriteBlobEntry(list, kAnswerFileEntryName, EncodeValue(answer_file_text, mask));
  WriteBlobEntry(list, "", "");
  return list;
}

bool FindBlobInList(std::string_view area, std::string_view name, std::string& value) {
  ByteReader reader(area);
  std::string_view mask;
  while (true) {
    std::string_view entry_name;
    std::string_view entry_value;
    if (!ReadBlobEntryString(reader, entry_name) || entry_name.empty() ||
        !ReadBlobEntryString(reader, entry_value)) {
      return false;
    }
    // A mask applies to the entries after it, until the next one.
    if (EqualsIgnoreAsciiCase(entry_name, kMaskEntryName)) {
      mask = entry_value;
      continue;
    }
    if (!EqualsIgnoreAsciiCase(entry_name, name))
      continue;
    std::string decoded = ApplyMask(entry_value, mask);
    if (!CheckAndStripCrcHex(decoded))
      return false;
    value = std::move(decoded);
    return true;
  }
}

bool MeasureBlobList(std::string_view area, std::size_t& used) {
  ByteReader reader(area);
  while (true) {
    std::string_view name;
    std::string_view value;
    if (!ReadBlobEntryString(reader, name))
      return false;
    if (name.empty())
      break;
    if (!ReadBlobEntryString(reader, value))
      return false;
  }
  // The end entry's value length follows its empty name.
  used = std::min<std::size_t>(reader.Position() + 4, area.size());
  return true;
}

}  // namespace kv
