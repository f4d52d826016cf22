#include "setupfile/ZNTUtils.h"

#include <algorithm>
#include <array>

#include "base/Failure.h"
#include "base/FailureMessages.h"
#include "setupfile/CRC32.h"
#include "setupfile/FileStream.h"
#include "setupfile/MemoryPages.h"

namespace kv {

namespace {

constexpr std::uint32_t kLcgMultiplier = 134775813u;  // 08088405h
constexpr char kFirstMaskChar = 0x20;
constexpr std::uint32_t kMaskCharRange = 64;  // 20h..5Fh
constexpr std::size_t kCrcTextLength = 8;

bool IsControlOrBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

}  // namespace

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string AsciiUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = AsciiUpper(c);
  return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && HasPrefixText(a, b);
}

std::string_view TrimControl(std::string_view text) {
  while (!text.empty() && IsControlOrBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsControlOrBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

std::string ExtractFileExt(std::string_view path) {
  const std::size_t name_start = path.find_last_of("/\\:");
  const std::string_view name =
      name_start == std::string_view::npos ? path : path.substr(name_start + 1);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

bool HasPrefix(std::string_view prefix, std::string_view text) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool HasPrefixText(std::string_view prefix, std::string_view text) {
  if (text.size() < prefix.size())
    return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiUpper(prefix[i]) != AsciiUpper(text[i]))
      return false;
  }
  return true;
}

bool HasPrefixEx(std::string_view prefix, std::string_view text, bool case_sensitive) {
  return case_sensitive ? HasPrefix(prefix, text) : HasPrefixText(prefix, text);
}

std::string HexToBytes(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (true) {
    while (i < text.size() && text[i] >= 0x01 && text[i] <= 0x20)
      ++i;
    if (i >= text.size())
      break;
    const int high = HexDigitValue(text[i]);
    if (high < 0 || i + 1 >= text.size())
      break;
    const int low = HexDigitValue(text[i + 1]);
    if (low < 0)
      break;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

void ApplyMaskInPlace(std::span<char> data, std::string_view mask) {
  if (mask.empty())
    return;
  // The mask repeated to a whole number of copies of at least kMaskBlock bytes: a block of data
  // is then combined with one plain loop the compiler can widen, without a division per byte.
  constexpr std::size_t kMaskBlock = 256;
  std::string pattern(mask);
  while (pattern.size() < kMaskBlock)
    pattern += mask;
  for (std::size_t start = 0; start < data.size(); start += pattern.size()) {
    const std::size_t count = std::min(pattern.size(), data.size() - start);
    char* block = data.data() + start;
    for (std::size_t i = 0; i < count; ++i)
      block[i] = static_cast<char>(block[i] ^ pattern[i]);
  }
}

std::string ApplyMask(std::string_view input, std::string_view mask) {
  std::string out(input);
  ApplyMaskInPlace(out, mask);
  return out;
}

RandomGenerator& RandomGenerator::Process() {
  static RandomGenerator generator;
  return generator;
}

std::uint32_t RandomGenerator::Below(std::uint32_t n) {
  seed_ = seed_ * kLcgMultiplier + 1u;
  return static_cast<std::uint32_t>((static_cast<std::uint64_t>(seed_) * n) >> 32);
}

std::string MakeRandomString(int min_length, int max_length) {
  RandomGenerator& random = RandomGenerator::Process();
  std::int64_t length = min_length;
  if (min_length < max_length) {
    length += random.Below(static_cast<std::uint32_t>(std::int64_t{max_length} - min_length + 1));
  }
  std::string out;
  for (std::int64_t i = 0; i < length; ++i) {
    out.push_back(static_cast<char>(kFirstMaskChar + random.Below(kMaskCharRange)));
  }
  return out;
}

namespace {

// Files and streams are read through a buffer of this size, which stays in the cache, and
// copied on into the content. The content is never zero-filled first, and the system writes
// into the same few pages each time rather than into fresh ones, which measured faster than
// reading straight into the content.
constexpr std::size_t kReadBlockSize = 16384;

// Appends up to count bytes of the stream to content, whose capacity must hold them; returns
// the number read, fewer than count only at the end of the stream.
std::size_t ReadBlocks(FileStream& stream, std::size_t count, std::string& content) {
  std::array<char, kReadBlockSize> block;
  std::size_t done = 0;
  while (done < count) {
    const std::size_t wanted = std::min(block.size(), count - done);
    const std::size_t n = stream.Read(std::span<char>(block).first(wanted));
    content.append(block.data(), n);
    done += n;
    if (n < wanted)
      break;
  }
  return done;
}

// A pipe or a device has no size: it is read to its end, and refused once it has given more than
// max_size bytes.
bool LoadStreamToString(FileStream& stream, std::int64_t max_size, std::string& content,
                        std::string& error) {
  while (true) {
    content.reserve(content.size() + kReadBlockSize);
    const std::size_t n = ReadBlocks(stream, kReadBlockSize, content);
    if (static_cast<std::int64_t>(content.size()) > max_size) {
      content.clear();
      error = FailureMessageText(FailureMessage::kFileOverLimit,
                                 {std::to_string(max_size), std::to_string(max_size)});
      return false;
    }
    if (n < kReadBlockSize)
      return true;
  }
}

bool LoadFile(const std::string& file_name, std::int64_t max_size, std::string& content,
              std::string& error) {
  const std::unique_ptr<FileStream> file = Files().Open(file_name, OpenMode::kRead);
  if (!file->IsRegularFile())
    return LoadStreamToString(*file, max_size, content, error);
  const std::int64_t size = file->Size();
  if (size > max_size) {
    error = FailureMessageText(FailureMessage::kFileTooLarge,
                               {std::to_string(size), std::to_string(max_size)});
    return false;
  }
  // Room for the whole file at once, so the content is never moved while it grows.
  content.reserve(static_cast<std::size_t>(size));
  const std::int64_t length = static_cast<std::int64_t>(content.capacity());
  if (length < size) {
    error = FailureMessageText(FailureMessage::kLengthMismatch,
                               {std::to_string(length), std::to_string(size)});
    content.clear();
    return false;
  }
  // A large file's pages are provided in one go rather than faulted in one by one.
  if (size > static_cast<std::int64_t>(kReadBlockSize))
    ProvidePages(std::span<char>(content.data(), static_cast<std::size_t>(size)));
  const std::int64_t count =
      static_cast<std::int64_t>(ReadBlocks(*file, static_cast<std::size_t>(size), content));
  if (count != size) {
    error = FailureMessageText(FailureMessage::kShortRead,
                               {std::to_string(count), std::to_string(size), std::to_string(size)});
    content.clear();
    return false;
  }
  return true;
}

}  // namespace

bool LoadFileToString(const std::string& file_name, std::int64_t max_size, std::string& content,
                      std::string& error) {
  content.clear();
  error.clear();
  const bool loaded = RunReportingFailure(
      [&] { return LoadFile(file_name, max_size, content, error); }, error, FailureText::kInFull);
  if (!loaded)
    content.clear();
  return loaded;
}

std::string FormatByteSize(std::int64_t count) {
  static constexpr const char* kUnits[] = {"B", "kB", "MB", "GB", "TB"};
  constexpr int kLastUnit = 4;
  int unit = 0;
  while (unit < kLastUnit && count >= 1024 && count % 1024 == 0) {
    count /= 1024;
    ++unit;
  }
  return std::to_string(count) + " " + kUnits[unit];
}

std::string CrcHexText(std::string_view data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::uint32_t crc = ComputeCrc32(data);
  std::string text(kCrcTextLength, '0');
  for (std::size_t i = 0; i < kCrcTextLength; ++i) {
    text[kCrcTextLength - 1 - i] = kDigits[(crc >> (4 * i)) & 0xFu];
  }
  return text;
}

bool AppendCrcHex(std::string& data) {
  if (!data.empty())
    data += CrcHexText(data);
  return true;
}

bool CheckAndStripCrcHex(std::string& data) {
  if (data.empty())
    return true;
  if (data.size() < kCrcTextLength)
    return false;
  const std::size_t body = data.size() - kCrcTextLength;
  if (!EqualsIgnoreAsciiCase(std::string_view(data).substr(body),
                             CrcHexText(std::string_view(data).substr(0, body)))) {
    return false;
  }
  data.resize(body);
  return true;
}

}  // namespace kv
