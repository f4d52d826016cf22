// The PE resource directory walk and the legacy list walk, on arbitrary files, and the legacy
// list walk alone on arbitrary resource contents of the right size.
#include "setupfile/PeResources.h"
#include "setupfile/SetupReader.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/support/FakeFileSystems.h"
#include "tests/support/SetupImages.h"
#include "tests/support/TestFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = kv::fuzz::Bytes(data, size);
  kv::test::MemoryFileStream stream(input);
  std::string resource;
  if (kv::FindPeResource(stream, kv::kResourceTypeRcData, "customfile", 262144, resource) &&
      resource.size() != 262144) {
    __builtin_trap();
  }
  kv::test::MemoryFileSystem files;
  kv::ScopedFileSystem scope(files);
  files.Put("raw.exe", input);
  std::string store = input;
  store.resize(262144, '\0');
  files.Put("legacy.exe", kv::test::PeWithRcData("customfile", store));
  for (const char* file : {"raw.exe", "legacy.exe"}) {
    std::string value;
    if (kv::ReadLegacyBlob(file, "K-VConfig.bin", value) && value.size() > 262144)
      __builtin_trap();
  }
  return 0;
}
