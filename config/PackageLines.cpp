// Line and entry reading of the package text.
#include <algorithm>

#include "config/PackageParser.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

constexpr char kContinuationMark = '~';
constexpr char kKeyEnd = '=';

// The next c at or after from (the text's size when there is none), searched again only once
// the remembered one lies behind from.
std::size_t NextOf(std::string_view text, char c, std::size_t from, std::size_t& remembered) {
  if (remembered == PackageCursor::kUnknown || remembered < from) {
    remembered = text.find(c, from);
    if (remembered == std::string_view::npos)
      remembered = text.size();
  }
  return remembered;
}

bool TakeContinuationMark(std::string_view& value) {
  if (value.empty() || value.back() != kContinuationMark)
    return false;
  value.remove_suffix(1);
  return true;
}

// Appends the continuation lines that follow a value that ended with the mark.
void JoinContinuation(PackageCursor& cursor, std::string& joined) {
  std::string_view line;
  while (ReadPackageLine(cursor, line)) {
    std::string_view piece = TrimControl(line);
    const bool more = TakeContinuationMark(piece);
    joined += piece;
    if (!more)
      return;
  }
}

}  // namespace

PackageCursor::PackageCursor(std::string_view package_text)
    : text(package_text.substr(0, package_text.find('\0'))) {}

bool ReadPackageLine(PackageCursor& cursor, std::string_view& line) {
  const std::string_view text = cursor.text;
  if (cursor.position >= text.size())
    return false;
  std::size_t end = std::min(NextOf(text, '\r', cursor.position, cursor.next_cr),
                             NextOf(text, '\n', cursor.position, cursor.next_lf));
  line = text.substr(cursor.position, end - cursor.position);
  if (end < text.size()) {
    const bool carriage_return = text[end] == '\r';
    ++end;
    if (carriage_return && end < text.size() && text[end] == '\n')
      ++end;
  }
  cursor.position = end;
  return true;
}

bool ReadPackageEntry(PackageCursor& cursor, PackageEntryView& entry) {
  std::string_view line;
  while (ReadPackageLine(cursor, line)) {
    const std::size_t key_end = line.find(kKeyEnd);
    if (key_end == std::string_view::npos || key_end == 0 || key_end + 1 == line.size())
      continue;
    entry.key = line.substr(0, key_end);
    entry.value = TrimControl(line.substr(key_end + 1));
    if (TakeContinuationMark(entry.value)) {
      // The rest of the text bounds the joined value: reserved at once, the value is never
      // copied to a larger buffer while it grows.
      entry.joined.reserve(entry.value.size() + cursor.text.size() - cursor.position);
      entry.joined.assign(entry.value);
      JoinContinuation(cursor, entry.joined);
      entry.value = entry.joined;
    }
    return true;
  }
  return false;
}

}  // namespace kv
