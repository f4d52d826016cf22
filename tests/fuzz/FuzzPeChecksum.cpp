// The PE header reads and the checksum repair on arbitrary files: after a successful repair
// the stored checksum must equal the computed one, and nothing but the field may change.
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/PeChecksum.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/support/FakeFileSystems.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = kv::fuzz::Bytes(data, size);
  kv::test::MemoryFileSystem files;
  kv::ScopedFileSystem scope(files);
  files.Put("setup.exe", input);
  std::string error;
  if (!kv::UpdatePeChecksum("setup.exe", nullptr, error))
    return 0;
  const std::string after = files.Get("setup.exe");
  if (after.size() != input.size())
    __builtin_trap();
  std::size_t changed = 0;
  for (std::size_t i = 0; i < after.size(); ++i)
    changed += after[i] != input[i];
  if (changed > 4)
    __builtin_trap();
  auto file = files.Open("setup.exe", kv::OpenMode::kRead);
  const kv::PeChecksumPair pair = kv::ComputePeChecksumPair(*file);
  if (pair.stored != pair.computed)
    __builtin_trap();
  return 0;
}
