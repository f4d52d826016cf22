// Signed packages: bodies signed by the openssl command line at build time, completed here with
// their "SIGNATURE" entry and changed in ways that must or must not keep the signature valid.
#include <gtest/gtest.h>

#include "config/ConfigPackage.h"
#include "setupfile/ZNTUtils.h"
#include "tests/config/PackageTestSupport.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

std::string Fixture(const std::string& name) {
  return test::ReadFileBytes(test::BinaryDir() + "/tests/config/signed/" + name);
}
std::string Body(const std::string& name) {
  return Fixture(name + ".body");
}
std::string Signature(const std::string& name) {
  return Fixture(name + ".sig");
}
std::string SignatureLine(const std::string& base64, const std::string& end = "\r\n") {
  return "SIGNATURE=" + base64 + CrcHexText(base64) + end;
}
std::string Signed(const std::string& name) {
  return Body(name) + SignatureLine(Signature(name));
}
std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return text.replace(at, from.size(), to);
}

TEST(PackageSignatureTest, SignedRange) {
  const std::string body = Body("crlf");
  const std::string sig = Signature("crlf");
  ASSERT_EQ(sig.size(), 684u);
  std::string lower_crc = SignatureLine(sig);
  for (std::size_t i = lower_crc.size() - 10; i < lower_crc.size() - 2; ++i)
    lower_crc[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower_crc[i])));
  const std::string split = "SIGNATURE=" + sig.substr(0, 300) + "~\r\n   " + sig.substr(300) +
                            "~\r\n" + CrcHexText(sig) + "\r\n";
  const std::string blank_inside = sig.substr(0, 342) + " " + sig.substr(342);

  struct Row {
    const char* what;
    std::string text;
    std::uint8_t state;
  };
  const Row rows[] = {
      {"as signed", body + SignatureLine(sig), SignatureValid},
      {"LF ends", Signed("lf"), SignatureValid},
      {"CR and LF CR ends", Signed("mixed"), SignatureValid},
      {"blank line before SIGNATURE", body + "\r\n" + SignatureLine(sig), SignatureValid},
      {"comment lines before SIGNATURE", body + "# x\r\nA=\r\n" + SignatureLine(sig),
       SignatureValid},
      {"value split over lines", body + split, SignatureValid},
      {"lower-case CRC digits", body + lower_crc, SignatureValid},
      {"lower-case key", body + "signature=" + SignatureLine(sig).substr(10), SignatureValid},
      {"LF after the signature", body + SignatureLine(sig, "\n"), SignatureValid},
      {"1 extra character", body + SignatureLine(sig + "Q"), SignatureValid},
      {"3 extra characters", body + SignatureLine(sig + "QQQ"), SignatureValid},
      {"changed byte in a comment", Replace(body, "# comment", "# Comment") + SignatureLine(sig),
       SignatureInvalid},
      {"changed header case", Replace(body, "Configuration", "configuration") + SignatureLine(sig),
       SignatureInvalid},
      {"changed value", Replace(body, "a=b", "a=c") + SignatureLine(sig), SignatureInvalid},
      {"CR LF turned into LF", Replace(body, "base\r\n", "base\n") + SignatureLine(sig),
       SignatureInvalid},
      {"continuation blank removed", Replace(body, "  example", " example") + SignatureLine(sig),
       SignatureInvalid},
      {"line added before the last entry",
       Replace(body, "REGEMAILTO", "\r\nREGEMAILTO") + SignatureLine(sig), SignatureInvalid},
      {"4 extra characters", body + SignatureLine(sig + "QQQQ"), SignatureInvalid},
      {"blank inside", body + SignatureLine(blank_inside), SignatureInvalid},
      {"wrong CRC", body + "SIGNATURE=" + sig + "00000000\r\n", SignatureInvalid},
      {"other body's signature", body + SignatureLine(Signature("lf")), SignatureInvalid},
      {"zero byte before SIGNATURE", body + std::string(1, '\0') + SignatureLine(sig),
       SignatureMissing},
  };
  for (const Row& row : rows) {
    const test::ParseResult result = test::ParseWithDemoKey(row.text);
    EXPECT_TRUE(result.ok) << row.what;
    EXPECT_EQ(result.data.SignatureState, row.state) << row.what;
    EXPECT_EQ(result.data.ServerURL, "http://kv.example/base") << row.what;
  }
  const test::ParseResult crlf = test::ParseWithDemoKey(Signed("crlf"));
  EXPECT_EQ(crlf.data.RAURL, "http://ra.example/?a=b");
  EXPECT_EQ(crlf.data.RegEmailTo, "admin@example.com");
}

TEST(PackageSignatureTest, WhatFollowsTheSignatureIsNotRead) {
  const test::ParseResult after = test::ParseWithDemoKey(
      Signed("crlf") + "RAURL=changed\r\nKVSERVERURL=http://evil.example/\r\n" +
      std::string(1, '\0') + "tail");
  EXPECT_TRUE(after.ok);
  EXPECT_EQ(after.data.SignatureState, SignatureValid);
  EXPECT_EQ(after.data.RAURL, "http://ra.example/?a=b");
  EXPECT_EQ(after.data.ServerURL, "http://kv.example/base");

  // SIGNATURE first: only the header line is signed, and the server URL after it is never read.
  const test::ParseResult first =
      test::ParseWithDemoKey(Signed("header") + "KVSERVERURL=http://kv.example/\r\n");
  EXPECT_FALSE(first.ok);
  EXPECT_EQ(first.error, "");
  EXPECT_EQ(first.data.SignatureState, SignatureValid);
  EXPECT_EQ(first.data.ServerURL, "");

  const test::ParseResult no_url = test::ParseWithDemoKey(Signed("nourl"));
  EXPECT_FALSE(no_url.ok);
  EXPECT_EQ(no_url.error, "");
  EXPECT_EQ(no_url.data.SignatureState, SignatureValid);
}

TEST(PackageSignatureTest, BuiltInKeyDecidesThroughParseConfigPackage) {
  TKVConfigBinData data;
  std::string error;
  EXPECT_TRUE(ParseConfigPackage(Signed("crlf"), data, error));
  const std::uint8_t expected = KV_DEMO_KEY_BUILT_IN ? SignatureValid : SignatureInvalid;
  EXPECT_EQ(data.SignatureState, expected);
}

}  // namespace
}  // namespace kv
