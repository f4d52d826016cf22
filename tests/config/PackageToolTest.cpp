// The package writer of kvpackage, read back by the parser.
#include <gtest/gtest.h>

#include "config/PackageParser.h"
#include "config/PackageSignature.h"
#include "tests/config/PackageTestSupport.h"
#include "tests/support/TestFiles.h"
#include "tools/package/OpenSslKey.h"
#include "tools/package/PackageBuilder.h"

namespace kv::tool {
namespace {

const std::string kPng("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\0\x01", 20);

RsaPrivateKey DemoKey() {
  RsaPrivateKey key;
  std::string error;
  EXPECT_TRUE(key.Load(test::ReadFileBytes(test::SourceDir() + "/keys/demo-private.pem"), error))
      << error;
  return key;
}

SignFunction Signer(const RsaPrivateKey& key) {
  return [&key](std::string_view message, std::string& signature, std::string& error) {
    return key.SignSha512(message, signature, error);
  };
}

TEST(PackageToolTest, EntryListChecks) {
  struct Row {
    std::string text;
    std::string error;  // empty: accepted
    std::size_t count;
  };
  const Row rows[] = {
      {"KVSERVERURL=http://x/\r\n\r\n# comment\nRAURL=a=b\n", "", 2},
      {"RAURL=\n", "", 1},
      {"RAURL=a b", "", 1},
      {"RAURL\n", "line 1: no \"=\"", 0},
      {"\n=x\n", "line 2: the line starts with \"=\"", 0},
      {"RA URL=x", "line 1: the key contains a blank", 0},
      {"signature=x", "line 1: the key SIGNATURE is written by this tool", 0},
      {"CompanyX=x", "line 1: the key COMPANYX is written by this tool", 0},
      {"COMPANYLOGOX=x", "line 1: the key COMPANYLOGOX is written by this tool", 0},
      {"RAURL= x", "line 1: the value starts or ends with a blank", 0},
      {"RAURL=x\t", "line 1: the value starts or ends with a blank", 0},
      {"RAURL=x~", "line 1: the value ends with \"~\"", 0},
      {std::string("RAURL=a\0b", 9), "line 1: the value contains a zero byte", 0},
  };
  for (const Row& row : rows) {
    std::vector<PackageEntry> entries;
    std::string error;
    EXPECT_EQ(ReadEntryList(row.text, entries, error), row.error.empty()) << row.text;
    EXPECT_EQ(error.substr(0, row.error.size()), row.error) << row.text;
    EXPECT_EQ(entries.size(), row.error.empty() ? row.count : 0u) << row.text;
  }
}

TEST(PackageToolTest, LongValuesAreSplitWhereNoBlankIsLost) {
  struct Row {
    std::string value;
    std::size_t width;
    std::string text;
  };
  const Row rows[] = {
      {"abcdefgh", 0, "K=abcdefgh\n"},
      {"abcdefgh", 8, "K=abcdefgh\n"},
      {"abcdefgh", 3, "K=abc~\ndef~\ngh\n"},
      {"ab cdefgh", 3, "K=a~\nb c~\ndef~\ngh\n"},  // never cut beside the blank
      {"a~b", 1, "K=a~\n~~\nb\n"},
      {"", 3, "K= \n"},
  };
  for (const Row& row : rows) {
    const std::string entry = FormatEntry("K", row.value, "\n", row.width);
    EXPECT_EQ(entry, row.text) << row.value;
    PackageCursor cursor(entry);
    PackageEntryView read;
    ASSERT_TRUE(ReadPackageEntry(cursor, read));
    EXPECT_EQ(read.value, row.value);
  }
}

TEST(PackageToolTest, PackagesReadBackSigned) {
  const RsaPrivateKey key = DemoKey();
  std::string public_key, error;
  ASSERT_TRUE(key.PublicKeyPem(public_key, error)) << error;
  EXPECT_EQ(public_key, test::DemoPublicKey());

  struct Row {
    std::string line_end;
    std::size_t width;
    std::string logo;
  };
  const Row rows[] = {{"\r\n", 76, kPng}, {"\n", 76, ""}, {"\r\n", 0, kPng}, {"\n", 1, kPng}};
  for (const Row& row : rows) {
    PackageContent content;
    content.entries = {{"KVSERVERURL", "http://kv.example/"}, {"regsmtpport", "0025"}};
    content.company = "Firma \xE8 s.r.o.";
    content.logo = row.logo;
    content.line_end = row.line_end;
    content.piece_width = row.width;
    std::string package;
    ASSERT_TRUE(BuildPackage(content, Signer(key), package, error)) << error;
    const test::ParseResult result = test::ParseWithDemoKey(package);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.data.SignatureState, SignatureValid) << row.width;
    EXPECT_EQ(result.data.ServerURL, "http://kv.example/");
    EXPECT_EQ(result.data.RegSMTPPort, "25");
    EXPECT_EQ(result.data.Company, content.company);
    EXPECT_EQ(result.data.CompanyLogo, row.logo);
    EXPECT_EQ(package.find(row.line_end == "\n" ? "\r" : "\n\n"), std::string::npos);
  }
}

TEST(PackageToolTest, RefusesWhatCannotBeAPackage) {
  const RsaPrivateKey key = DemoKey();
  PackageContent content;
  content.entries = {{"KVSERVERURL", "http://kv.example/"}};
  std::string package, error;
  content.logo = "GIF89a";
  EXPECT_FALSE(BuildPackage(content, Signer(key), package, error));
  EXPECT_EQ(error, "the logo is not a PNG file");
  content.logo = kPng + std::string(800000, 'x');  // base64 makes it larger than 1 MiB
  EXPECT_FALSE(BuildPackage(content, Signer(key), package, error));
  EXPECT_EQ(error.substr(0, 20), "the package would be");
  EXPECT_TRUE(package.empty());

  RsaPrivateKey no_key;
  EXPECT_FALSE(no_key.Load(test::DemoPublicKey(), error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace kv::tool
