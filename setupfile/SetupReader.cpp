#include "setupfile/SetupReader.h"

#include <memory>
#include <new>

#include "setupfile/BlobList.h"
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

bool ReadBlobFromStream(FileStream& setup, const std::string& name, std::string& value) {
  std::string area;
  setup.Seek(0);
  return ReadConfigArea(setup, area) && FindBlobInList(area, name, value);
}

bool ReadBlobFromSetup(const std::string& setup_file, const std::string& name, std::string& value) {
  try {
    return ReadBlobFromStream(*Files().Open(setup_file, OpenMode::kRead), name, value);
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
