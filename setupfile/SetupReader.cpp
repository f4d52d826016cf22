#include "setupfile/SetupReader.h"

#include <memory>
#include <new>

#include "setupfile/ByteReader.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/FileStream.h"
#include "setupfile/PeResources.h"
#include "setupfile/RuntimeError.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr std::uint32_t kLegacyStoreSize = 262144;
constexpr std::string_view kLegacyResourceName = "customfile";

// One length-prefixed field of the blob list: 32-bit little-endian length, then the bytes.
// A negative length or one that runs past the end of the list fails.
bool ReadBlobEntryString(ByteReader& reader, std::string& field) {
  std::int32_t length = 0;
  std::string_view bytes;
  if (!reader.ReadI32LE(length) || length < 0 || !reader.ReadBytes(length, bytes))
    return false;
  field.assign(bytes);
  return true;
}

// Walks the blob list for name; the current mask applies to the entries after it.
bool FindBlob(std::string_view area, const std::string& name, std::string& value) {
  ByteReader reader(area);
  std::string mask;
  std::string entry_name;
  std::string entry_value;
  while (true) {
    if (!ReadBlobEntryString(reader, entry_name) || entry_name.empty())
      return false;
    if (!ReadBlobEntryString(reader, entry_value))
      return false;
    if (EqualsIgnoreAsciiCase(entry_name, "Mask")) {
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

// Walks the older fixed-size list: plain values, no mask and no CRC text.
bool FindLegacyEntry(std::string_view store, const std::string& name, std::string& value) {
  ByteReader reader(store);
  while (reader.Remaining() > 0) {
    std::int32_t name_length = 0;
    std::string_view entry_name;
    if (!reader.ReadI32LE(name_length) || name_length <= 0 ||
        !reader.ReadBytes(name_length, entry_name)) {
      return false;
    }
    std::int32_t value_length = 0;
    std::string_view entry_value;
    if (!reader.ReadI32LE(value_length))
      return false;
    if (value_length > 0 && !reader.ReadBytes(value_length, entry_value))
      return false;
    if (EqualsIgnoreAsciiCase(entry_name, name)) {
      value.assign(entry_value);
      return true;
    }
  }
  return false;
}

}  // namespace

bool ReadBlobFromSetup(const std::string& setup_file, const std::string& name, std::string& value) {
  try {
    std::string area;
    {
      const std::unique_ptr<FileStream> file = Files().Open(setup_file, OpenMode::kRead);
      file->Seek(0);
      if (!ReadConfigArea(*file, area))
        return false;
    }
    return FindBlob(area, name, value);
  } catch (const RuntimeError&) {
  } catch (const std::bad_alloc&) {
  }
  return false;
}

bool ReadLegacyBlob(const std::string& setup_file, const std::string& name, std::string& value) {
  if (setup_file.empty() || !Files().Exists(setup_file))
    return false;
  try {
    std::string store;
    {
      const std::unique_ptr<FileStream> file = Files().Open(setup_file, OpenMode::kRead);
      if (!FindPeResource(*file, kResourceTypeRcData, kLegacyResourceName, kLegacyStoreSize,
                          store)) {
        return false;
      }
    }
    return FindLegacyEntry(store, name, value);
  } catch (const RuntimeError&) {
  } catch (const std::bad_alloc&) {
  }
  return false;
}

}  // namespace kv
