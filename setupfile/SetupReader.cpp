#include "setupfile/SetupReader.h"

#include <memory>

#include "base/ByteReader.h"
#include "base/Failure.h"
#include "setupfile/BlobList.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/FileStream.h"
#include "setupfile/PeResources.h"
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
  return RunIgnoringFailure(
      [&] { return ReadBlobFromStream(*Files().Open(setup_file, OpenMode::kRead), name, value); });
}

bool ReadLegacyBlob(const std::string& setup_file, const std::string& name, std::string& value) {
  if (setup_file.empty() || !Files().Exists(setup_file))
    return false;
  return RunIgnoringFailure([&] {
    std::string store;
    {
      const std::unique_ptr<FileStream> file = Files().Open(setup_file, OpenMode::kRead);
      if (!FindPeResource(*file, kResourceTypeRcData, kLegacyResourceName, kLegacyStoreSize,
                          store)) {
        return false;
      }
    }
    return FindLegacyEntry(store, name, value);
  });
}

}  // namespace kv
