// The inspection of real signed fixtures: configuring keeps the Authenticode digest matching, a
// changed byte of signed content breaks it, and the record shows what was stored.
#include <gtest/gtest.h>

#include "contents/SetupContents.h"
#include "contents/SetupContentsText.h"
#include "setupfile/PeHeaders.h"
#include "setupfile/SetupWriter.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

const std::string kPackage =
    "Quillabrenthorst Configuration ver #2.00\r\nKVSERVERURL=http://kv.example/x\r\n"
    "COMPANYX=c2VjcmV0\r\nREGSMTPPORT=0x19\r\n";
const std::string kAnswer = std::string("[Setup]\r\nPath=C:\\KV\x01\n", 21);

std::string Fixture(const std::string& name) {
  return test::BinaryDir() + "/fixtures/" + name;
}

enum class Change { kNone, kConfigure, kConfigureAndFlip };

// Flips one byte of what the signature covers: the first byte of an executable's first section
// (its code), or of a directory name in a package's string table stream.
void FlipSignedByte(const std::string& path, bool executable) {
  std::string bytes = test::ReadFileBytes(path);
  std::size_t at = bytes.find("INSTALLDIR");
  if (executable) {
    auto file = Files().Open(path, OpenMode::kRead);
    TPeHeaders headers;
    ASSERT_EQ(ReadPeHeaders(*file, headers), PeHeaderStatus::kFound);
    constexpr std::size_t kPointerToRawData = 20;
    const std::size_t field =
        static_cast<std::size_t>(headers.SectionTableOffset) + kPointerToRawData;
    at = 0;
    for (int i = 3; i >= 0; --i)
      at = at << 8 | static_cast<unsigned char>(bytes[field + i]);
  }
  ASSERT_LT(at, bytes.size());
  bytes[at] ^= 0x01;
  test::WriteFileBytes(path, bytes);
}

TEST(SetupInspectionTest, DigestStateOfSignedAndChangedFiles) {
  struct Row {
    const char* fixture;
    Change change;
    bool present;
    const char* algorithm;
    DigestState digest;
    const char* time_stamp;
    AuthenticodeVerdict verdict;
  };
  const Row rows[] = {
      {"setup.exe", Change::kConfigure, true, "SHA-256", DigestState::kMatches, "",
       AuthenticodeVerdict::kValid},
      {"setup.msi", Change::kConfigure, true, "SHA-256", DigestState::kMatches, "",
       AuthenticodeVerdict::kValid},
      {"setup.exe", Change::kConfigureAndFlip, true, "SHA-256", DigestState::kDoesNotMatch, "",
       AuthenticodeVerdict::kInvalid},
      {"setup.msi", Change::kConfigureAndFlip, true, "SHA-256", DigestState::kDoesNotMatch, "",
       AuthenticodeVerdict::kInvalid},
      {"setup-broken.exe", Change::kNone, true, "SHA-256", DigestState::kDoesNotMatch, "",
       AuthenticodeVerdict::kInvalid},
      {"legacy.exe", Change::kNone, false, "", DigestState::kNotChecked, "",
       AuthenticodeVerdict::kAbsent},
      {"setup-sha1.exe", Change::kNone, true, "SHA-1", DigestState::kMatches, "",
       AuthenticodeVerdict::kValid},
      {"setup-sha512.msi", Change::kNone, true, "SHA-512", DigestState::kMatches, "",
       AuthenticodeVerdict::kValid},
      {"setup-dse.msi", Change::kNone, true, "SHA-256", DigestState::kMatches, "",
       AuthenticodeVerdict::kValid},
      {"setup-timestamped.exe", Change::kNone, true, "SHA-256", DigestState::kMatches,
       "2020-06-01 00:00:00 UTC", AuthenticodeVerdict::kValid},
  };
  // The fixtures' root named, so the chain is checked alike everywhere (Windows would otherwise
  // judge it by the machine's store, which does not hold it).
  InspectOptions options;
  options.TrustedRootsPem.push_back(test::ReadFileBytes(Fixture("ca.pem")));
  test::TempDir temp;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.fixture) + " change " + std::to_string(int(row.change)));
    std::string path = Fixture(row.fixture);
    const bool executable = std::string(row.fixture).ends_with(".exe");
    if (row.change != Change::kNone) {
      path = temp.Path(std::string("configured-") + row.fixture);
      std::string error;
      ASSERT_TRUE(StoreConfigToSetup(Fixture(row.fixture), path, kPackage, kAnswer, error))
          << error;
      if (row.change == Change::kConfigureAndFlip)
        FlipSignedByte(path, executable);
    }
    const SetupInspection record = InspectSetupFile(path, options);
    EXPECT_EQ(record.Kind, executable ? SetupFileKind::kPe : SetupFileKind::kMsi);
    EXPECT_EQ(record.Size, static_cast<std::int64_t>(test::ReadFileBytes(path).size()));
    EXPECT_EQ(record.ReadError, "");
    const SignatureFindings& signature = record.Signature;
    EXPECT_EQ(signature.Present, row.present);
    EXPECT_EQ(signature.DigestAlgorithm, row.algorithm);
    EXPECT_EQ(signature.Digest, row.digest) << signature.NotCheckedReason;
    EXPECT_EQ(signature.TimeStamp, row.time_stamp);
    EXPECT_EQ(signature.Verdict, row.verdict) << signature.VerdictReason;
    EXPECT_EQ(signature.SignerIssuer, row.present ? "CN=KV Test Fixture ca" : "");
    EXPECT_EQ(signature.SignerSubject.starts_with("CN=KV Test Fixture "), row.present);
    EXPECT_EQ(record.Package.Store != PackageStore::kNone,
              row.change != Change::kNone || row.fixture == std::string("legacy.exe"));
  }
}

TEST(SetupInspectionTest, RecordOfAConfiguredFile) {
  test::TempDir temp;
  const std::string path = temp.Path("configured.exe");
  std::string error;
  ASSERT_TRUE(StoreConfigToSetup(Fixture("setup.exe"), path, kPackage, kAnswer, error)) << error;
  const SetupInspection record = InspectSetupFile(path);
  ASSERT_TRUE(record.Area.Found);
  EXPECT_EQ(record.Area.Size, 65536u);
  // Mask entry, package and answer (each with 8 bytes of lengths and 8 of CRC text), end entry.
  EXPECT_GT(record.Area.Used, kPackage.size() + kAnswer.size() + 3 * 16);
  EXPECT_LT(record.Area.Used, kPackage.size() + kAnswer.size() + 3 * 16 + 4 + 117 + 8 + 1);
  EXPECT_EQ(record.Package.Store, PackageStore::kDataArea);
  EXPECT_EQ(record.Package.Text, kPackage);
  EXPECT_EQ(record.Answer.Text, kAnswer);

  const std::string text = InspectionText(record);
  for (const char* line : {"  kind           PE\n", "  digest state   matches the content\n",
                           "KVConfig: 112 bytes, signature missing\n",
                           "  KVSERVERURL    http://kv.example/x\n", "  REGSMTPPORT    25\n",
                           "    KVSERVERURL = http://kv.example/x\n"
                           "    COMPANYX = (8 characters)\n    REGSMTPPORT = 0x19\n",
                           "AutoInstall: 21 bytes\n  [Setup]\\r\\n\n  Path=C:\\\\KV\\x01\\n\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
  }
  EXPECT_EQ(text.find("c2VjcmV0"), std::string::npos) << "a scrambled value is shown";
  const std::string json = InspectionJson(record);
  EXPECT_NE(json.find(R"("text": "[Setup]\r\nPath=C:\\KV\u0001\n")"), std::string::npos) << json;

  const SetupInspection missing = InspectSetupFile(temp.Path("missing.exe"));
  EXPECT_EQ(missing.Kind, SetupFileKind::kUnreadable);
  EXPECT_NE(missing.ReadError, "");
}

}  // namespace
}  // namespace kv
