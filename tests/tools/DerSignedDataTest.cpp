#include <gtest/gtest.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "setupfile/AuthenticodeSignature.h"
#include "setupfile/DerSignedData.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/ZNTUtils.h"
#include "tests/support/SetupImages.h"
#include "tests/support/TestFiles.h"
#include "tools/reservearea/AreaCertificate.h"
#include "tools/reservearea/ReserveArea.h"

namespace kv {
namespace {

const std::string kSignedDataOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";
const std::string kDataOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01";

// The certificates of a parsed PKCS#7 SignedData, as DER; empty when it does not parse.
std::vector<std::string> CertificatesOf(const std::string& der) {
  const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.data());
  PKCS7* p7 = d2i_PKCS7(nullptr, &cursor, static_cast<long>(der.size()));
  std::vector<std::string> result;
  if (p7 == nullptr)
    return result;
  if (PKCS7_type_is_signed(p7) && p7->d.sign->cert != nullptr) {
    for (int i = 0; i < sk_X509_num(p7->d.sign->cert); ++i) {
      unsigned char* out = nullptr;
      const int length = i2d_X509(sk_X509_value(p7->d.sign->cert, i), &out);
      result.emplace_back(reinterpret_cast<char*>(out), static_cast<std::size_t>(length));
      OPENSSL_free(out);
    }
  }
  PKCS7_free(p7);
  return result;
}

// A SignedData with no certificate set and no signers, built by hand.
std::string BareSignedData() {
  std::string fields = EncodeDerElement(0x02, "\x01");
  fields += EncodeDerElement(0x31, "");
  fields += EncodeDerElement(0x30, EncodeDerElement(0x06, kDataOid));
  fields += EncodeDerElement(0x31, "");
  std::string content = EncodeDerElement(0x06, kSignedDataOid);
  content += EncodeDerElement(0xA0, EncodeDerElement(0x30, fields));
  return EncodeDerElement(0x30, content);
}

// The signature of the signed fixture executable, as osslsigncode takes it out.
std::string FixtureSignature(const test::TempDir& dir) {
  const std::string out = dir.Path("signature.der");
  const std::string command = "osslsigncode extract-signature -in '" + test::BinaryDir() +
                              "/fixtures/setup-noarea.exe' -out '" + out + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0)
    return "";
  return test::ReadFileBytes(out);
}

TEST(EncodeDerLengthTest, ShortAndLongForms) {
  const std::pair<std::uint64_t, std::string> rows[] = {
      {0, std::string(1, '\0')},
      {127, "\x7F"},
      {128, "\x81\x80"},
      {255, "\x81\xFF"},
      {256, std::string("\x82\x01\x00", 3)},
      {65535, "\x82\xFF\xFF"},
      {65536, std::string("\x83\x01\x00\x00", 4)},
      {1000000, "\x83\x0F\x42\x40"},
  };
  for (const auto& [length, bytes] : rows) {
    EXPECT_EQ(EncodeDerLength(length), bytes) << length;
    std::uint32_t decoded = 0;
    int header = 0;
    ASSERT_TRUE(DecodeDerLength(bytes, decoded, header)) << length;
    EXPECT_EQ(decoded, length);
    EXPECT_EQ(static_cast<std::size_t>(header), bytes.size());
  }
}

TEST(ReadDerElementTest, RejectsWhatItCannotFrame) {
  const std::pair<std::string, std::string> rows[] = {
      {"\x30", "truncated"},
      {"\x30\x80\x00\x00", "indefinite length"},
      {"\x30\x85\x00\x00\x00\x00\x01", "more than 4 bytes"},
      {"\x3F\x01\x00", "multi-byte tag"},
      {"\x30\x82\x01", "truncated"},
      {"\x30\x03\x02\x01", "truncated"},
  };
  for (const auto& [der, reason] : rows) {
    DerElement element;
    std::string error;
    EXPECT_FALSE(ReadDerElement(der, 0, element, error)) << testing::PrintToString(der);
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }
  DerElement element;
  std::string error;
  ASSERT_TRUE(
      ReadDerElement(std::string("\x04\x81\x80", 3) + std::string(128, 'x'), 0, element, error));
  EXPECT_EQ(element.header_size, 3u);
  EXPECT_EQ(element.content_size, 128u);
}

TEST(DerTextTest, ObjectIdentifiersAndTimes) {
  struct OidRow {
    std::string content;
    std::string text;
  };
  const OidRow oids[] = {
      {"\x2A\x86\x48\x86\xF7\x0D", "1.2.840.113549"},
      {"\x55\x04\x03", "2.5.4.3"},
      {"\x2A\x86\x48\x86", ""},                              // the last arc is cut off
      {"\x2A\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", ""},  // an arc past 64 bits
  };
  for (const OidRow& row : oids)
    EXPECT_EQ(DerOidText(row.content), row.text) << row.text;

  constexpr std::int64_t kJune2020 = 1590969600;  // 2020-06-01 00:00:00 UTC
  struct TimeRow {
    std::uint8_t tag;
    std::string value;
    std::string text;
    std::int64_t seconds;
  };
  const TimeRow times[] = {
      {kTagUtcTime, "200601000000Z", "2020-06-01 00:00:00 UTC", kJune2020},
      {kTagUtcTime, "2006010000Z", "2020-06-01 00:00 UTC", kJune2020},
      {kTagUtcTime, "2006010200+0200", "2020-06-01 02:00 +0200", kJune2020},
      {kTagUtcTime, "200531220000-0200", "2020-05-31 22:00:00 -0200", kJune2020},
      {kTagUtcTime, "991231235959Z", "1999-12-31 23:59:59 UTC", 946684799},
      {kTagGeneralizedTime, "20200601000000.25Z", "2020-06-01 00:00:00 UTC", kJune2020},
      {kTagGeneralizedTime, "20200601000000", "", 0},  // no zone
      {kTagUtcTime, "201301000000Z", "", 0},           // month 13
      {kTagUtcTime, "2006010Z", "", 0},
      {kTagOctetString, "200601000000Z", "", 0},
  };
  for (const TimeRow& row : times) {
    std::int64_t seconds = 0;
    EXPECT_EQ(DerTimeText(row.tag, row.value, &seconds), row.text) << row.value;
    EXPECT_EQ(seconds, row.seconds) << row.value;
  }
}

// A signature of 63 MiB made of two-byte elements is refused, in one pass and without a list of
// all its elements: the peak memory of a process reading it grows by far less than 16 MiB.
TEST(ReadDerChildrenTest, TinyElementsAreCappedAndCheap) {
  std::vector<DerElement> children;
  std::string error;
  for (const std::size_t count : {kMaxDerChildren, kMaxDerChildren + 1}) {
    const std::string der = EncodeDerElement(kTagSequence, std::string(2 * count, '\0'));
    DerElement top;
    ASSERT_TRUE(ReadDerElement(der, 0, top, error));
    children.clear();
    EXPECT_EQ(ReadDerChildren(der, top, children, error), count == kMaxDerChildren);
  }
  EXPECT_NE(error.find("members"), std::string::npos) << error;

  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string signature = test::TinyElementSignedData(63 * 1024 * 1024 / 2);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    AuthenticodeSignature read;
    std::string reason;
    const bool accepted = ReadAuthenticodeSignature(signature, read, reason);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const long growth_kib = accepted ? -1 : after.ru_maxrss - before.ru_maxrss;
    _exit(write(pipe_ends[1], &growth_kib, sizeof growth_kib) == sizeof growth_kib ? 0 : 1);
  }
  close(pipe_ends[1]);
  long growth_kib = -2;
  ASSERT_EQ(read(pipe_ends[0], &growth_kib, sizeof growth_kib),
            static_cast<ssize_t>(sizeof growth_kib));
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_GE(growth_kib, 0) << "the tiny-element signature was accepted";
  EXPECT_LT(growth_kib, 16 * 1024);
}

TEST(AddCertificateTest, AppendsToTheSetOfARealSignatureAndDropsPadding) {
  test::TempDir dir;
  const std::string signature = FixtureSignature(dir);
  ASSERT_FALSE(signature.empty());
  const std::vector<std::string> before = CertificatesOf(signature);
  ASSERT_FALSE(before.empty());

  // A certificate large enough to need longer length fields in every enclosing structure.
  std::string certificate;
  std::string error;
  ASSERT_TRUE(MakeAreaCertificate(70000, certificate, error)) << error;
  std::string result;
  ASSERT_TRUE(
      AddCertificateToSignedData(signature + std::string(5, '\0'), certificate, result, error))
      << error;

  DerElement outer;
  ASSERT_TRUE(ReadDerElement(result, 0, outer, error)) << error;
  EXPECT_EQ(outer.End(), result.size());
  std::vector<std::string> after = CertificatesOf(result);
  ASSERT_EQ(after.size(), before.size() + 1);
  EXPECT_EQ(after.back(), certificate);
  after.pop_back();
  EXPECT_EQ(after, before);

  // Taken apart, the two differ only by the added certificate, and the other fields are the
  // input's bytes (the signer info with its signed attributes among them).
  SignedDataParts input;
  SignedDataParts output;
  ASSERT_TRUE(SplitSignedData(signature, input, error)) << error;
  ASSERT_TRUE(SplitSignedData(result, output, error)) << error;
  EXPECT_EQ(input.certificates, before);
  ASSERT_EQ(input.other_fields.size(), 4u);
  EXPECT_NE(signature.find(input.other_fields.back()), std::string::npos);
  input.certificates.push_back(certificate);
  EXPECT_EQ(input, output);
}

TEST(AddCertificateTest, CreatesTheSetWhenThereIsNone) {
  std::string certificate;
  std::string error;
  ASSERT_TRUE(MakeAreaCertificate(16, certificate, error)) << error;
  std::string result;
  ASSERT_TRUE(AddCertificateToSignedData(BareSignedData(), certificate, result, error)) << error;
  EXPECT_EQ(CertificatesOf(result), std::vector<std::string>{certificate});
}

TEST(AddCertificateTest, RejectsOtherStructures) {
  std::string wrong_type = BareSignedData();
  wrong_type.replace(wrong_type.find(kSignedDataOid), kDataOid.size(), kDataOid);
  const std::string rows[] = {
      "",
      "not der at all",
      wrong_type,
      EncodeDerElement(0x30, EncodeDerElement(0x06, kSignedDataOid)),
      BareSignedData().substr(0, 20),
  };
  for (const std::string& der : rows) {
    std::string result;
    std::string error;
    EXPECT_FALSE(AddCertificateToSignedData(der, "\x30\x00", result, error))
        << testing::PrintToString(der);
    EXPECT_FALSE(error.empty());
  }
}

TEST(AreaCertificateTest, HoldsTheMarkerLengthAndZerosInARow) {
  const std::string marker = HexToBytes(kConfigAreaMarkerHex);
  for (const std::uint32_t size : {1u, 127u, 128u, 65536u, 1000000u}) {
    std::string certificate;
    std::string error;
    ASSERT_TRUE(MakeAreaCertificate(size, certificate, error)) << error;
    const std::string area = marker + EncodeDerLength(size) + std::string(size, '\0');
    EXPECT_NE(certificate.find(area), std::string::npos) << size;
  }
}

TEST(ParseAreaSizeTest, AcceptsOnlyWholeSizesInRange) {
  const std::pair<std::string, std::uint32_t> good[] = {
      {"1", 1}, {"65536", 65536}, {"1048576", 1048576}, {"007", 7}};
  for (const auto& [text, size] : good) {
    std::uint32_t parsed = 0;
    std::string error;
    EXPECT_TRUE(ParseAreaSize(text, parsed, error)) << text;
    EXPECT_EQ(parsed, size);
  }
  for (const std::string text :
       {"", "0", "-5", "1048577", "99999999999999999999999", "12k", " 12", "0x10"}) {
    std::uint32_t parsed = 0;
    std::string error;
    EXPECT_FALSE(ParseAreaSize(text, parsed, error)) << text;
    EXPECT_NE(error.find("from 1 to 1048576"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace kv
