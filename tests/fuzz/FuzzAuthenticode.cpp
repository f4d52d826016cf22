// The signed layout of an executable and the reading of its Authenticode signature, on arbitrary
// files, and the signature reader alone on arbitrary bytes: they may refuse the input but must
// not read outside it.
#include "setupfile/AuthenticodeSignature.h"
#include "setupfile/PeHeaders.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/support/TestFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = kv::fuzz::Bytes(data, size);
  std::string error;
  kv::AuthenticodeSignature signature;
  kv::ReadAuthenticodeSignature(input, signature, error);
  kv::test::MemoryFileStream stream(input);
  kv::TPeHeaders headers;
  kv::PeSignedLayout layout;
  if (kv::ReadPeHeaders(stream, headers) != kv::PeHeaderStatus::kFound ||
      kv::ReadPeSignedLayout(stream, headers, layout) != kv::PeSignatureStatus::kSigned) {
    return 0;
  }
  // The hashed ranges follow each other inside the file.
  std::int64_t end = 0;
  for (const kv::ByteRange& range : layout.hashed) {
    if (range.offset < end || range.size < 0 ||
        range.offset + range.size > static_cast<std::int64_t>(size)) {
      __builtin_trap();
    }
    end = range.offset + range.size;
  }
  for (const kv::PeCertificateEntry& entry : layout.entries)
    kv::ReadAuthenticodeSignature(entry.signature, signature, error);
  return 0;
}
