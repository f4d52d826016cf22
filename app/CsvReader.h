// Reads the records of a CSV list as spreadsheet programs save it, streamed from any byte source:
// UTF-8 with or without a byte order mark, fields separated by commas (or by semicolons, where
// the first line uses them), quoted fields with separators, doubled quotes and line breaks
// inside, records ended by CR LF, LF or CR. Malformed text is an error that names its line.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kv {

class CsvReader {
 public:
  // Fills the buffer with the next bytes of the text; 0 at its end. May throw.
  using ReadFunction = std::function<std::size_t(std::span<char>)>;

  // Longest field accepted: far more than any path, and a bound on the memory one record takes.
  static constexpr std::size_t kMaxFieldSize = 32768;

  explicit CsvReader(ReadFunction read);

  // The next record's fields. False at the end of the text, and false with error set when the
  // text is malformed ("line N: ..."); nothing more is read after an error.
  bool Next(std::vector<std::string>& fields, std::string& error);
  // The line on which the record Next returned last begins (the first line is 1).
  int RecordLine() const { return record_line_; }

 private:
  static constexpr int kEnd = -1;
  int Get();
  int Peek();
  // Counts a line end whose first byte c has just been read; a CR LF pair is one.
  void EndLine(int c, std::string* field);
  bool Fail(std::string& error, const std::string& what, int line);
  bool ReadQuoted(std::string& field, std::string& error);
  bool ReadUnquoted(int& c, std::string& field, std::string& error);

  ReadFunction read_;
  std::vector<char> buffer_;
  std::size_t next_ = 0;
  std::size_t filled_ = 0;
  bool at_start_ = true;
  bool failed_ = false;
  char separator_ = 0;  // decided by the first line
  int line_ = 1;
  int record_line_ = 0;
};

}  // namespace kv
