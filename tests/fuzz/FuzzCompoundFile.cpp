// The compound file reader and the walks of a signed installer package, on arbitrary files:
// they may refuse the input but must end, without reading outside it, and never hand out more
// bytes than they promise.
#include "setupfile/CompoundFile.h"
#include "setupfile/MsiSignature.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/support/TestFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kv::test::MemoryFileStream stream(kv::fuzz::Bytes(data, size));
  kv::CompoundFile file;
  std::string error;
  if (!file.Open(stream, error))
    return 0;
  std::uint64_t handed = 0;
  const kv::ByteSink count = [&](std::string_view bytes) { handed += bytes.size(); };
  kv::MsiSignatureStreams streams;
  kv::ReadMsiSignatureStreams(file, streams, error);
  kv::FeedMsiPreHashMetadata(file, count, error);
  handed = 0;
  kv::FeedMsiSignedContent(file, count, error);
  // Stream bytes (at most twice the file's and its mini stream's) and 16 per storage.
  if (handed > 4 * size + 16 * file.Entries().size())
    __builtin_trap();
  return 0;
}
