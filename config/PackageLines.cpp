// Line and entry reading of the package text.
#include <algorithm>

#include "config/PackageParser.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

constexpr char kContinuationMark = '~';

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

// The line as an entry: true when its first "=" is neither its first nor its last character.
bool SplitEntry(std::string_view line, std::string& key, std::string& value) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos || equals == 0 || equals + 1 == line.size())
    return false;
  key = AsciiUpperCase(line.substr(0, equals));
  value = std::string(TrimControl(line.substr(equals + 1)));
  return true;
}

bool TakeContinuationMark(std::string& value) {
  if (value.empty() || value.back() != kContinuationMark)
    return false;
  value.pop_back();
  return true;
}

// Appends the continuation lines that follow a value that ended with the mark.
void ReadContinuation(PackageCursor& cursor, std::string& value) {
  std::string_view line;
  while (ReadPackageLine(cursor, line)) {
    std::string piece(TrimControl(line));
    const bool more = TakeContinuationMark(piece);
    value += piece;
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

bool ReadPackageEntry(PackageCursor& cursor, std::string& key, std::string& value) {
  std::string_view line;
  while (ReadPackageLine(cursor, line)) {
    if (!SplitEntry(line, key, value))
      continue;
    if (TakeContinuationMark(value))
      ReadContinuation(cursor, value);
    return true;
  }
  return false;
}

}  // namespace kv
