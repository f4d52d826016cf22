#include "app/CsvReader.h"

#include <utility>

#include "app/Utf8Text.h"

namespace kv {

namespace {

constexpr std::size_t kBufferSize = 65536;
constexpr char kQuote = '"';

bool IsSeparatorCandidate(int c) {
  return c == ',' || c == ';';
}

}  // namespace

CsvReader::CsvReader(ReadFunction read) : read_(std::move(read)), buffer_(kBufferSize) {}

int CsvReader::Peek() {
  if (next_ == filled_) {
    filled_ = read_(std::span<char>(buffer_));
    next_ = 0;
    if (filled_ == 0)
      return kEnd;
  }
  return static_cast<unsigned char>(buffer_[next_]);
}

int CsvReader::Get() {
  const int c = Peek();
  if (c != kEnd)
    ++next_;
  return c;
}

void CsvReader::EndLine(int c, std::string* field) {
  ++line_;
  if (c == '\r' && Peek() == '\n') {
    Get();
    if (field)
      *field += '\n';
  }
}

bool CsvReader::Fail(std::string& error, const std::string& what, int line) {
  failed_ = true;
  error = "line " + std::to_string(line) + ": " + what;
  return false;
}

bool CsvReader::ReadQuoted(std::string& field, std::string& error) {
  const int start = line_;
  for (;;) {
    const int c = Get();
    if (c == kEnd)
      return Fail(error, "the quoted field begun here is not closed", start);
    if (c == kQuote) {
      if (Peek() != kQuote)
        return true;
      Get();
    }
    field += static_cast<char>(c);
    if (c == '\r' || c == '\n')
      EndLine(c, &field);
    if (field.size() > kMaxFieldSize)
      return Fail(error, "a field is longer than 32768 bytes", start);
  }
}

bool CsvReader::ReadUnquoted(int& c, std::string& field, std::string& error) {
  while (c != kEnd && c != '\r' && c != '\n' && c != separator_) {
    if (separator_ == 0 && IsSeparatorCandidate(c)) {
      separator_ = static_cast<char>(c);
      break;
    }
    if (c == kQuote)
      return Fail(error, "a quote inside a field that does not begin with one", line_);
    field += static_cast<char>(c);
    if (field.size() > kMaxFieldSize)
      return Fail(error, "a field is longer than 32768 bytes", line_);
    c = Get();
  }
  return true;
}

bool CsvReader::Next(std::vector<std::string>& fields, std::string& error) {
  error.clear();
  fields.clear();
  if (failed_)
    return false;
  if (at_start_) {
    at_start_ = false;
    const int first = Peek();
    if (first == 0xFF || first == 0xFE)
      return Fail(error, "the list is UTF-16 text; save it as CSV UTF-8", line_);
    if (first == 0xEF) {
      Get();
      if (Get() != 0xBB || Get() != 0xBF)
        return Fail(error, "the list is not UTF-8 text; save it as CSV UTF-8", line_);
    }
  }
  record_line_ = line_;
  int c = Get();
  if (c == kEnd)
    return false;
  for (;;) {
    std::string field;
    if (c == kQuote) {
      if (!ReadQuoted(field, error))
        return false;
      c = Get();
      const bool ends = c == kEnd || c == '\r' || c == '\n' || c == separator_ ||
                        (separator_ == 0 && IsSeparatorCandidate(c));
      if (!ends)
        return Fail(error, "text after the closing quote of a field", line_);
      if (separator_ == 0 && IsSeparatorCandidate(c))
        separator_ = static_cast<char>(c);
    } else if (!ReadUnquoted(c, field, error)) {
      return false;
    }
    if (!IsUtf8(field))
      return Fail(error, "the list is not UTF-8 text; save it as CSV UTF-8", line_);
    fields.push_back(std::move(field));
    if (c != kEnd && c != '\r' && c != '\n') {
      c = Get();  // the field after a separator
      continue;
    }
    if (c != kEnd)
      EndLine(c, nullptr);
    if (separator_ == 0)
      separator_ = ',';
    return true;
  }
}

}  // namespace kv
