// The blob list walk of a configured setup file, on arbitrary area contents.
#include "setupfile/SetupReader.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/support/FakeFileSystems.h"
#include "tests/support/SetupImages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kv::test::MemoryFileSystem files;
  kv::ScopedFileSystem scope(files);
  files.Put("setup.msi", kv::test::WithAreaContent("prefix", kv::fuzz::Bytes(data, size)));
  for (const char* name : {"KVConfig", "AutoInstall", "Mask"}) {
    std::string value;
    if (kv::ReadBlobFromSetup("setup.msi", name, value) && value.size() > size)
      __builtin_trap();
  }
  return 0;
}
