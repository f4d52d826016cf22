#include "app/CsvReader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/BatchReceipt.h"

namespace kv {
namespace {

using Records = std::vector<std::vector<std::string>>;

// Reads text handed out in pieces of step bytes (so that every construct meets a buffer end);
// the records with their lines, or the error.
std::string ReadAll(const std::string& text, std::size_t step, Records& records,
                    std::vector<int>& lines) {
  std::size_t at = 0;
  CsvReader reader([&](std::span<char> buffer) {
    const std::size_t n = std::min({step, buffer.size(), text.size() - at});
    std::copy_n(text.data() + at, n, buffer.data());
    at += n;
    return n;
  });
  std::vector<std::string> fields;
  std::string error;
  while (reader.Next(fields, error)) {
    records.push_back(fields);
    lines.push_back(reader.RecordLine());
  }
  return error;
}

TEST(CsvReaderTest, RecordsAsSpreadsheetsSaveThem) {
  struct Row {
    const char* name;
    std::string text;
    Records records;
    std::vector<int> lines;
  };
  const Row rows[] = {
      {"BOM, CR LF, a trailing empty field",
       "\xEF\xBB\xBFout,cf\r\na.exe,\r\n",
       {{"out", "cf"}, {"a.exe", ""}},
       {1, 2}},
      {"quoted separators, doubled quotes, line breaks inside; lines counted through them",
       "out,ai\n\"a, b.exe\",\"say \"\"hi\"\"\"\n\"two\r\nlines\",\"x\ny\"\nlast,\"\"",
       {{"out", "ai"}, {"a, b.exe", "say \"hi\""}, {"two\r\nlines", "x\ny"}, {"last", ""}},
       {1, 2, 3, 6}},
      {"semicolons where the first line uses them; commas are then text",
       "out;cf\r\n\"x;y.exe\";a,b.bin\r",
       {{"out", "cf"}, {"x;y.exe", "a,b.bin"}},
       {1, 2}},
      {"lone CR ends records; non-ASCII passes",
       "out\r\xC3\xA9\xE2\x82\xAC.exe\r\r",
       {{"out"}, {"\xC3\xA9\xE2\x82\xAC.exe"}, {""}},
       {1, 2, 3}},
      {"empty text", "", {}, {}},
  };
  for (const Row& row : rows) {
    for (const std::size_t step : {std::size_t{1}, std::size_t{3}, std::size_t{65536}}) {
      SCOPED_TRACE(std::string(row.name) + " step " + std::to_string(step));
      Records records;
      std::vector<int> lines;
      EXPECT_EQ(ReadAll(row.text, step, records, lines), "");
      EXPECT_EQ(records, row.records);
      EXPECT_EQ(lines, row.lines);
    }
  }
}

TEST(CsvReaderTest, MalformedTextNamesItsLine) {
  struct Row {
    std::string text;
    std::string error;
    std::size_t records_before;
  };
  const Row rows[] = {
      {"out\n\"a.exe\nb\n", "line 2: the quoted field begun here is not closed", 1},
      {"out\n\"a\"b\n", "line 2: text after the closing quote of a field", 1},
      {"out,cf\r\nx,\"\"\"\"\r\n\r\n a\"b,c\r\n",
       "line 4: a quote inside a field that does not begin with one", 3},
      {"out\n\xE9t\xE9.exe\n", "line 2: the list is not UTF-8 text; save it as CSV UTF-8", 1},
      {"out\n\xC0\xAF.exe\n", "line 2: the list is not UTF-8 text; save it as CSV UTF-8", 1},
      {"\xFF\xFEo\0u\0t\0", "line 1: the list is UTF-16 text; save it as CSV UTF-8", 0},
      {"out\n" + std::string(CsvReader::kMaxFieldSize + 1, 'x'),
       "line 2: a field is longer than 32768 bytes", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text.substr(0, 40));
    Records records;
    std::vector<int> lines;
    EXPECT_EQ(ReadAll(row.text, 7, records, lines), row.error);
    EXPECT_EQ(records.size(), row.records_before);
  }
}

TEST(JsonStringTest, AnyBytesGiveValidJson) {
  struct Row {
    std::string text;
    std::string json;
  };
  const Row rows[] = {
      {"C:\\out \"a\".exe", "\"C:\\\\out \\\"a\\\".exe\""},
      {"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", "\"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\""},
      {std::string("\r\n\t\0\x1F\x7F", 6), "\"\\r\\n\\t\\u0000\\u001f\\u007f\""},
      // Bytes that are no UTF-8: a stray continuation, a cut sequence, an overlong form.
      {"\x80\xC3 \xE2\x82\xC0\xAF", "\"\\u0080\\u00c3 \\u00e2\\u0082\\u00c0\\u00af\""},
  };
  for (const Row& row : rows)
    EXPECT_EQ(JsonString(row.text), row.json);
}

}  // namespace
}  // namespace kv
