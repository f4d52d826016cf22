#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <vector>

#include "config/ConfigPackage.h"
#include "config/PackageParser.h"
#include "setupfile/ZNTUtils.h"
#include "tests/config/PackageTestSupport.h"

namespace kv {
namespace {

using test::kHeader;
using test::ParseWithDemoKey;

const std::string kInvalidFormat = "Invalid / unsupported file format";

TEST(PackageParserTest, HeaderForms) {
  struct Row {
    std::string text;
    bool ok;
    std::string error;
  };
  const Row rows[] = {
      {kHeader + "\r\nKVSERVERURL=x", true, ""},
      {"quillabrenthorst configuration VER #2.00\nKVSERVERURL=x", true, ""},
      {kHeader + " \r\nKVSERVERURL=x", false, kInvalidFormat},
      {" " + kHeader + "\r\nKVSERVERURL=x", false, kInvalidFormat},
      {"\xEF\xBB\xBF" + kHeader + "\r\nKVSERVERURL=x", false, kInvalidFormat},
      {"Quillabrenthorst Configuration ver #2.01\r\nKVSERVERURL=x", false, kInvalidFormat},
      {kHeader + "KVSERVERURL=x", false, kInvalidFormat},
      {"\r\n" + kHeader + "\r\nKVSERVERURL=x", false, kInvalidFormat},
      {"", false, kInvalidFormat},
      {std::string(1, '\0') + kHeader + "\r\nKVSERVERURL=x", false, kInvalidFormat},
      {kHeader, false, ""},  // valid, but no server URL
      {kHeader + "\r\nRAURL=y\r\n", false, ""},
      {kHeader + "\r\nKVSERVERURL= \r\n", false, ""},  // empty URL
  };
  for (const Row& row : rows) {
    const test::ParseResult result = ParseWithDemoKey(row.text);
    EXPECT_EQ(result.ok, row.ok) << row.text;
    EXPECT_EQ(result.error, row.error) << row.text;
    EXPECT_EQ(result.data.RawText, row.text);
    EXPECT_EQ(result.data.SignatureState, SignatureMissing);
  }
}

TEST(PackageParserTest, SizeLimitIsExactlyOneMebibyte) {
  const std::string start = kHeader + "\r\nKVSERVERURL=x\r\n#";
  const std::string exact = start + std::string(kMaxPackageSize - start.size(), 'p');
  ASSERT_EQ(exact.size(), 1048576u);
  test::ParseResult result = ParseWithDemoKey(exact);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.data.ServerURL, "x");

  // The record is reset even when the text is refused.
  const std::string too_large = exact + "p";
  std::string error;
  EXPECT_FALSE(ParseConfigPackage(too_large, result.data, error));
  EXPECT_EQ(error, "File size > 1MB");
  EXPECT_EQ(result.data.RawText, too_large);
  EXPECT_EQ(result.data.ServerURL, "");
}

TEST(PackageParserTest, LineEnds) {
  struct Row {
    std::string end;
    std::string raurl;  // "a~" END "b": LF CR is two line ends, the empty line ends the value
  };
  const Row rows[] = {{"\r\n", "ab"}, {"\n", "ab"}, {"\r", "ab"}, {"\n\r", "a"}};
  for (const Row& row : rows) {
    const std::string& e = row.end;
    const test::ParseResult result = ParseWithDemoKey(kHeader + e + "KVSERVERURL=x" + e +
                                                      "RAURL=a~" + e + "b" + e + "REGEMAILTO=m");
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.data.ServerURL, "x");
    EXPECT_EQ(result.data.RAURL, row.raurl);
    EXPECT_EQ(result.data.RegEmailTo, "m");
  }
}

TEST(PackageParserTest, ReadPackageLineMovesPastOneLineEnd) {
  const std::string text("a\r\nb\n\rc\r\rd\0e", 12);
  PackageCursor cursor(text);
  std::string lines;
  std::string_view line;
  while (ReadPackageLine(cursor, line)) {
    lines += '[';
    lines += line;
    lines += ']';
  }
  EXPECT_EQ(lines, "[a][b][][c][][d]");
  EXPECT_EQ(cursor.position, 10u);
}

// The line and entry rules read plainly, byte by byte, with each entry's start: the position
// after the previous entry's last line (its continuation lines included).
struct PlainEntry {
  std::size_t start;
  std::string key, value;
  bool operator==(const PlainEntry&) const = default;
};
bool TakeMark(std::string& value) {
  if (value.empty() || value.back() != '~')
    return false;
  value.pop_back();
  return true;
}
std::vector<PlainEntry> ReadEntriesPlainly(const std::string& package_text) {
  const std::string text = package_text.substr(0, package_text.find('\0'));
  std::vector<std::pair<std::string, std::size_t>> lines;  // line, position after its end
  for (std::size_t i = 0; i < text.size();) {
    std::size_t end = i;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n')
      ++end;
    std::size_t next = end == text.size() ? end : end + 1;
    if (end < text.size() && text[end] == '\r' && next < text.size() && text[next] == '\n')
      ++next;
    lines.emplace_back(text.substr(i, end - i), next);
    i = next;
  }
  std::vector<PlainEntry> entries;
  std::size_t start = 0;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n].first;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == line.size())
      continue;
    PlainEntry entry{start, AsciiUpperCase(line.substr(0, equals)),
                     std::string(TrimControl(line.substr(equals + 1)))};
    bool more = TakeMark(entry.value);
    while (more && n + 1 < lines.size()) {
      std::string piece(TrimControl(lines[++n].first));
      more = TakeMark(piece);
      entry.value += piece;
    }
    entries.push_back(entry);
    start = lines[n].second;
  }
  return entries;
}

TEST(PackageParserTest, EntriesMatchAPlainReadingOfRandomTexts) {
  const std::string pieces[] = {
      "K", "k", "=", "~", " ", "\t", "\r", "\n", "\r\n", "ab", "~\r\n", "=~", std::string(1, '\0')};
  std::mt19937 random(14);
  std::uniform_int_distribution<std::size_t> piece_index(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> piece_count(0, 40);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int count = piece_count(random); count > 0; --count) {
      const std::string& piece = pieces[piece_index(random)];
      if (piece[0] != '\0' || round % 8 == 0)  // a zero byte ends the text: keep it rare
        text += piece;
    }
    PackageCursor cursor(text);
    PackageEntryView entry;
    std::vector<PlainEntry> read;
    for (std::size_t start = cursor.position; ReadPackageEntry(cursor, entry);
         start = cursor.position)
      read.push_back({start, AsciiUpperCase(entry.key), std::string(entry.value)});
    ASSERT_EQ(read, ReadEntriesPlainly(text)) << testing::PrintToString(text);
  }
}

TEST(PackageParserTest, TextMovedInOrTakenFromTheRecordItself) {
  const std::string text = kHeader + "\r\nKVSERVERURL=x\r\nRAURL=a~\r\nb\r\n";
  TKVConfigBinData data;
  std::string error;
  std::string moved = text;
  EXPECT_TRUE(ParseConfigPackageWithKey(std::move(moved), data, error, test::DemoPublicKey()));
  EXPECT_EQ(data.RawText, text);
  EXPECT_EQ(data.RAURL, "ab");
  // The record is reset before it is filled: its own text must survive that.
  EXPECT_TRUE(ParseConfigPackage(data.RawText, data, error));
  EXPECT_EQ(data.RawText, text);
  EXPECT_EQ(data.ServerURL, "x");
  EXPECT_TRUE(ParseConfigPackageWithKey(std::move(data.RawText), data, error, ""));
  EXPECT_EQ(data.RawText, text);
  EXPECT_EQ(data.RAURL, "ab");
}

TEST(PackageParserTest, Continuation) {
  struct Row {
    std::string lines;
    std::string raurl, email;
  };
  const Row rows[] = {
      {"RAURL=abc~\r\n  def~ \r\nghi\r\nREGEMAILTO=m", "abcdefghi", "m"},
      {"RAURL=abc~", "abc", ""},  // end of text ends the value
      {"RAURL=abc~\r\n", "abc", ""},
      {"RAURL=abc~\r\n\r\nREGEMAILTO=m", "abc", "m"},             // an empty line ends it
      {"RAURL=abc~\r\nREGEMAILTO=m\r\n", "abcREGEMAILTO=m", ""},  // never an entry
      {"RAURL=a~\r\n ~ \r\nb", "ab", ""},
      {"RAURL=~\r\nb", "b", ""},
      {"RAURL= x y ~\r\n z ", "x y z", ""},
      {"RAURL=a~~\r\nb", "a~b", ""},
      {"RAURL=a~\r\n=b=", "a=b=", ""},
  };
  for (const Row& row : rows) {
    const test::ParseResult result =
        ParseWithDemoKey(kHeader + "\r\nKVSERVERURL=x\r\n" + row.lines);
    EXPECT_EQ(result.data.ServerURL, "x") << row.lines;
    EXPECT_EQ(result.data.RAURL, row.raurl) << row.lines;
    EXPECT_EQ(result.data.RegEmailTo, row.email) << row.lines;
  }
}

TEST(PackageParserTest, KeyRules) {
  using Field = std::string TKVConfigBinData::*;
  struct Row {
    std::string line;  // follows "KVSERVERURL=u" and the "before" line
    std::string before;
    Field field;
    std::string expected;
  };
  const Field url = &TKVConfigBinData::ServerURL;
  const Field ra = &TKVConfigBinData::RAURL;
  const Field port = &TKVConfigBinData::RegSMTPPort;
  const Field key1 = &TKVConfigBinData::RegPublicKey1;
  const Field key2 = &TKVConfigBinData::RegPublicKey2;
  const Row rows[] = {
      {"kvserverurl=x", "", url, "x"},
      {"KVSERVERURL =x", "", url, "u"},
      {" KVSERVERURL=x", "", url, "u"},
      {"KvServerUrl=x", "", url, "x"},
      {"RAURL=a=b", "", ra, "a=b"},
      {"RAURL=", "RAURL=old", ra, "old"},  // no entry
      {"RAURL= ", "RAURL=old", ra, ""},    // an entry with an empty value
      {"=RAURL", "RAURL=old", ra, "old"},
      {"RAURL", "RAURL=old", ra, "old"},
      {"RAURL=\t x \t", "", ra, "x"},
      {"REGEMAILTO=a@b", "", &TKVConfigBinData::RegEmailTo, "a@b"},
      {"REGSMTPSERVER=smtp", "", &TKVConfigBinData::RegSMTPServer, "smtp"},
      {"REGSMTPSSL=1", "", &TKVConfigBinData::RegSMTPSSL, "1"},
      {"UNKNOWN=1", "", ra, ""},
      {"REGSMTPPORT=0025", "", port, "25"},
      {"REGSMTPPORT=65535", "", port, "65535"},
      {"REGSMTPPORT=0", "", port, "0"},
      {"REGSMTPPORT=-0", "", port, "0"},
      {"REGSMTPPORT=+587", "", port, "587"},
      {"REGSMTPPORT=$19", "", port, "25"},
      {"REGSMTPPORT=x1F", "", port, "31"},
      {"REGSMTPPORT=0X1f", "", port, "31"},
      {"REGSMTPPORT=-$0", "", port, "0"},
      {"REGSMTPPORT=65536", "REGSMTPPORT=7", port, "7"},
      {"REGSMTPPORT=-1", "REGSMTPPORT=7", port, "7"},
      {"REGSMTPPORT=abc", "REGSMTPPORT=7", port, "7"},
      {"REGSMTPPORT=2 5", "REGSMTPPORT=7", port, "7"},
      {"REGSMTPPORT=25a", "REGSMTPPORT=7", port, "7"},
      {"REGSMTPPORT=0x", "REGSMTPPORT=7", port, "7"},
      {"REGSMTPPORT=$", "REGSMTPPORT=7", port, "7"},
      {"REGSMTPPORT=+", "REGSMTPPORT=7", port, "7"},
      {"REGSMTPPORT=1F", "REGSMTPPORT=7", port, "7"},
      {"REGSMTPPORT=99999999999999999999", "REGSMTPPORT=7", port, "7"},
      {"REGSMTPPORT=$10000", "REGSMTPPORT=7", port, "7"},
      {"REGPUBLICKEY=0A1B;03", "", key1, "0A1B"},
      {"REGPUBLICKEY=0A1B;03", "", key2, "03"},
      {"REGPUBLICKEY=ab;Cd", "", key2, "Cd"},
      {"REGPUBLICKEY=;03", "REGPUBLICKEY=1;2", key1, "1"},
      {"REGPUBLICKEY=0A1B;", "REGPUBLICKEY=1;2", key2, "2"},
      {"REGPUBLICKEY=0A;1B;03", "REGPUBLICKEY=1;2", key1, "1"},
      {"REGPUBLICKEY=0A 1B;03", "REGPUBLICKEY=1;2", key1, "1"},
      {"REGPUBLICKEY=0G;03", "REGPUBLICKEY=1;2", key1, "1"},
      {"REGPUBLICKEY=0A1B", "REGPUBLICKEY=1;2", key1, "1"},
  };
  for (const Row& row : rows) {
    const std::string text = kHeader + "\r\nKVSERVERURL=u\r\n" + row.before + "\r\n" + row.line;
    const test::ParseResult result = ParseWithDemoKey(text);
    EXPECT_EQ(result.data.*row.field, row.expected) << row.line;
  }
}

TEST(PackageParserTest, ScrambledValues) {
  using test::ScrambledValue;
  const std::string company = ScrambledValue("TXT*", "*XBVendors", "ACME s.r.o.");
  const std::string logo_bytes("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
  const std::string logo = ScrambledValue("PNG*", "*XBVendorsIcon", logo_bytes);
  std::string lower_crc = company;
  for (std::size_t i = lower_crc.size() - 8; i < lower_crc.size(); ++i)
    lower_crc[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower_crc[i])));
  std::string bad_crc = company;
  bad_crc.back() = bad_crc.back() == '0' ? '1' : '0';
  auto with_crc = [](std::string base64) { return base64 + CrcHexText(base64); };
  const std::string padded = test::EncodeBase64ForTest(ApplyMask("TXT*ACME", "*XBVendors"));
  ASSERT_EQ(padded.back(), '=');
  // Values split over "~" lines as the package tool writes them; a joined value is decoded in
  // its own buffer, which must not disturb the next value that is joined.
  auto split = [](const std::string& value) {
    std::string lines;
    for (std::size_t i = 0; i < value.size(); i += 76)
      lines += value.substr(i, 76) + (i + 76 < value.size() ? "~\r\n" : "");
    return lines;
  };
  std::string big_logo_bytes = "\x89PNG";
  for (int i = 0; i < 3000; ++i)
    big_logo_bytes += static_cast<char>(i * 7);
  const std::string big_logo = ScrambledValue("PNG*", "*XBVendorsIcon", big_logo_bytes);

  struct Row {
    std::string lines;
    std::string company, logo;
  };
  const Row rows[] = {
      {"COMPANYX=" + company, "ACME s.r.o.", ""},
      {"companyx=" + lower_crc, "ACME s.r.o.", ""},
      {"COMPANYX=" + bad_crc, "before", ""},
      {"COMPANYX=1234567", "before", ""},
      {"COMPANYX=00000000", "before", ""},  // CRC of nothing: no marker
      {"COMPANYX=" + with_crc(padded), "ACME", ""},
      {"COMPANYX=" + with_crc(padded + "A"), "before", ""},  // a character after "="
      {"COMPANYX=" + with_crc("*" + padded.substr(1)), "before", ""},
      {"COMPANYX=" + ScrambledValue("PNG*", "*XBVendors", "ACME"), "before", ""},
      {"COMPANYX=" + ScrambledValue("txt*", "*XBVendors", "ACME"), "before", ""},
      {"COMPANYX=" + ScrambledValue("TXT*", "*XBVendors", ""), "", ""},
      {"COMPANYLOGOX=" + logo, "before", logo_bytes},
      {"COMPANYLOGOX=" + logo.substr(0, 10) + "~\r\n" + logo.substr(10), "before", logo_bytes},
      {"COMPANYLOGOX=" + company, "before", ""},
      {"COMPANYLOGOX=" + split(big_logo), "before", big_logo_bytes},
      {"COMPANYLOGOX=" + split(big_logo) + "\r\nCOMPANYX=" + split(company), "ACME s.r.o.",
       big_logo_bytes},
      {"COMPANYX=" + split(ScrambledValue("PNG*", "*XBVendors", big_logo_bytes)), "before", ""},
      {"COMPANYLOGOX=" + split(with_crc(padded + "A")), "before", ""},
  };
  for (const Row& row : rows) {
    const std::string before = "COMPANYX=" + ScrambledValue("TXT*", "*XBVendors", "before");
    const test::ParseResult result =
        ParseWithDemoKey(kHeader + "\r\nKVSERVERURL=u\r\n" + before + "\r\n" + row.lines);
    EXPECT_EQ(result.data.Company, row.company) << row.lines;
    EXPECT_EQ(result.data.CompanyLogo, row.logo) << row.lines;
  }
}

TEST(PackageParserTest, ZeroByteEndsTheText) {
  const std::string text =
      kHeader + "\r\nKVSERVERURL=x\r\nRAURL=ab" + std::string(1, '\0') + "cd\r\nREGEMAILTO=m\r\n";
  const test::ParseResult result = ParseWithDemoKey(text);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.data.RAURL, "ab");
  EXPECT_EQ(result.data.RegEmailTo, "");
  EXPECT_EQ(result.data.RawText, text);
}

TEST(PackageParserTest, SignatureEntryEndsTheEntries) {
  struct Row {
    std::string lines;
    std::uint8_t state;
    bool ok;
    std::string raurl;
  };
  const Row rows[] = {
      {"KVSERVERURL=x\r\nSIGNATURE= \r\nRAURL=y", SignatureMissing, true, ""},
      {"SIGNATURE= \r\nKVSERVERURL=x", SignatureMissing, false, ""},
      {"KVSERVERURL=x\r\nSIGNATURE=\r\nRAURL=y", SignatureMissing, true, "y"},  // no entry
      {"KVSERVERURL=x\r\nSIGNATURE=abc\r\nRAURL=y", SignatureInvalid, true, ""},
      {"KVSERVERURL=x\r\nSIGNATURE=00000000\r\nRAURL=y", SignatureInvalid, true, ""},
      {"SIGNATURE=Zm9v" + CrcHexText("Zm9v") + "\r\nKVSERVERURL=x", SignatureInvalid, false, ""},
  };
  for (const Row& row : rows) {
    const test::ParseResult result = ParseWithDemoKey(kHeader + "\r\n" + row.lines);
    EXPECT_EQ(result.ok, row.ok) << row.lines;
    EXPECT_EQ(result.error, "") << row.lines;
    EXPECT_EQ(result.data.SignatureState, row.state) << row.lines;
    EXPECT_EQ(result.data.RAURL, row.raurl) << row.lines;
  }
}

}  // namespace
}  // namespace kv
