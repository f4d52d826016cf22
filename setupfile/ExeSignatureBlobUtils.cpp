#include "setupfile/ExeSignatureBlobUtils.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "base/ByteReader.h"
#include "base/Failure.h"
#include "base/RuntimeError.h"
#include "setupfile/PeChecksum.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr int kMaxAlignmentBits = 30;
constexpr std::uint8_t kDerLongFormFlag = 0x80;
constexpr int kDerMaxLengthBytes = 4;

}  // namespace

bool FindLastPatternInStream(FileStream& stream, std::int64_t chunk_size, int alignment_bits,
                             std::int64_t start_offset, std::string_view pattern,
                             int trailing_count, std::int64_t& position, std::string& trailing) {
  if (chunk_size <= 0 || pattern.empty() || trailing_count < 0)
    return false;
  const std::int64_t size = stream.Size();
  std::int64_t start = start_offset < 0 ? size + start_offset : start_offset;
  if (start <= 0) {
    start = 0;
  } else if (alignment_bits >= 1 && alignment_bits <= kMaxAlignmentBits) {
    start &= ~((std::int64_t{1} << alignment_bits) - 1);
  }
  std::int64_t remaining = size - start;
  const std::int64_t window = static_cast<std::int64_t>(pattern.size()) + trailing_count;
  const std::int64_t carry = window - 1;
  if (window > remaining)
    return false;
  stream.Seek(start);

  // One buffer: the carry of the previous chunk, then the chunk itself.
  const std::int64_t chunk = std::min(chunk_size, remaining);
  std::vector<char> buffer(static_cast<std::size_t>(chunk + carry));
  const std::string_view view(buffer.data(), buffer.size());
  bool found = false;
  std::int64_t consumed = 0;
  while (remaining > 0) {
    const std::int64_t want = std::min(chunk, remaining);
    const std::int64_t n = static_cast<std::int64_t>(stream.Read(std::span<char>(buffer).subspan(
        static_cast<std::size_t>(carry), static_cast<std::size_t>(want))));
    if (n == 0)
      break;  // the file shrank under us: nothing more to search
    const std::int64_t first = consumed < carry ? carry - consumed : 0;
    // Candidates are the indices first .. carry + n - window; find skips quickly to the next
    // position where the pattern starts.
    const std::int64_t last = carry + n - window;
    const std::string_view filled = view.substr(0, static_cast<std::size_t>(carry + n));
    for (std::size_t i = filled.find(pattern, static_cast<std::size_t>(first));
         i != std::string_view::npos && static_cast<std::int64_t>(i) <= last;
         i = filled.find(pattern, i + 1)) {
      position = start + consumed + static_cast<std::int64_t>(i) - carry;
      trailing.assign(filled.substr(i + pattern.size(), static_cast<std::size_t>(trailing_count)));
      found = true;
    }
    std::copy_n(buffer.begin() + n, carry, buffer.begin());
    remaining -= n;
    consumed += n;
  }
  return found;
}

bool DecodeDerLength(std::string_view bytes, std::uint32_t& length, int& header_size) {
  ByteReader reader(bytes);
  std::uint8_t first = 0;
  if (!reader.ReadU8(first))
    return false;
  if ((first & kDerLongFormFlag) == 0) {
    length = first;
    header_size = 1;
    return true;
  }
  const int count = first & 0x7F;
  if (count == 0 || count > kDerMaxLengthBytes)
    return false;
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i) {
    std::uint8_t b = 0;
    if (!reader.ReadU8(b))
      return false;
    value = (value << 8) | b;
  }
  length = value;
  header_size = count + 1;
  return true;
}

bool LocateConfigArea(FileStream& stream, std::int64_t& position, std::uint32_t& length) {
  return RunIgnoringFailure([&] {
    std::int64_t marker = 0;
    std::string trailing;
    if (!FindLastPatternInStream(stream, kAreaSearchChunkSize, kAreaSearchAlignmentBits,
                                 kAreaSearchStart, HexToBytes(kConfigAreaMarkerHex),
                                 kAreaSearchTrailingCount, marker, trailing)) {
      return false;
    }
    std::uint32_t area_length = 0;
    int header_size = 0;
    if (!DecodeDerLength(trailing, area_length, header_size))
      return false;
    const std::int64_t area =
        marker + static_cast<std::int64_t>(kConfigAreaMarkerLength) + header_size;
    if (area + static_cast<std::int64_t>(area_length) > stream.Size())
      return false;
    position = area;
    length = area_length;
    return true;
  });
}

bool ReadConfigArea(FileStream& stream, std::string& area) {
  area.clear();
  const bool read = RunIgnoringFailure([&] {
    std::int64_t position = 0;
    std::uint32_t length = 0;
    if (!LocateConfigArea(stream, position, length))
      return false;
    area.resize(length);
    stream.Seek(position);
    stream.ReadBuffer(area);
    return true;
  });
  if (!read)
    area.clear();
  return read;
}

namespace {

bool RepairPeChecksum(FileStream& file) {
  const PeChecksumPair before = ComputePeChecksumPair(file);
  if (before.stored == before.computed)
    return true;

  // The header blocks must be whole: a file that ends inside them cannot be read as one.
  TPeHeaders headers;
  const PeHeaderStatus status = ReadPeHeaders(file, headers);
  if (status == PeHeaderStatus::kTruncated)
    throw StreamReadError();
  if (status != PeHeaderStatus::kFound || headers.CheckSum != before.stored)
    return false;

  std::string value;
  AppendU32LE(value, before.computed);
  file.Seek(headers.CheckSumOffset);
  file.Write(value);

  // The computed checksum takes the field as zero, so writing the field cannot change it: only
  // the stored value needs reading back.
  std::string stored_now(4, '\0');
  file.Seek(headers.CheckSumOffset);
  file.ReadBuffer(stored_now);
  ByteReader stored_reader(stored_now);
  std::uint32_t now = 0;
  stored_reader.ReadU32LE(now);
  return now == before.computed;
}

}  // namespace

bool UpdatePeChecksum(const std::string& file_name, FileStream* stream, std::string& error) {
  error.clear();
  return RunReportingFailure(
      [&] {
        std::unique_ptr<FileStream> own;
        if (stream == nullptr) {
          own = Files().Open(file_name, OpenMode::kReadWrite);
          stream = own.get();
        }
        return RepairPeChecksum(*stream);
      },
      error);
}

}  // namespace kv
