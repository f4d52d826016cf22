#include "tools/reservearea/SignatureDigests.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

// Excerpts of osslsigncode verify reports: an executable (with its PE checksum, which is no
// digest of the signature), an MSI with and without its MsiDigitalSignatureEx stream, and two
// nested signatures.
constexpr char kExecutable[] =
    "Current PE checksum   : 000064FD\n"
    "Calculated PE checksum: 00006554\n"
    "Message digest algorithm  : SHA256\n"
    "Current message digest    : FD7C27F4E219 \n"
    "Calculated message digest : fd7c27f4e219 \n"
    "\tMessage digest: 719F781AE946 \n";
constexpr char kExecutableChanged[] =
    "Current message digest    : FD7C27F4E219 \n"
    "Calculated message digest : 0E64C5D10C90     MISMATCH!!!\n";
constexpr char kMsiWithStream[] =
    "Current MsiDigitalSignatureEx    : AF2241854DE5 \r\n"
    "Calculated MsiDigitalSignatureEx : AF2241854DE5 \r\n"
    "Current DigitalSignature         : E543C999E1BE \r\n"
    "Calculated DigitalSignature      : E543C999E1BE \r\n"
    "Calculated message digest        : 6D7D1939005C \r\n";
constexpr char kMsiStreamDropped[] =
    "Warning: MsiDigitalSignatureEx stream doesn't exist\n"
    "Current DigitalSignature         : E543C999E1BE \n"
    "Calculated DigitalSignature      : 0E64C5D10C90     MISMATCH!!!\n"
    "Calculated message digest        : 6D7D1939005C \n";
constexpr char kNested[] =
    "Signature Index: 0  (Primary Signature)\n"
    "Current message digest    : AAAA \n"
    "Calculated message digest : AAAA \n"
    "Signature Index: 1\n"
    "Current message digest    : BBBB \n"
    "Calculated message digest : CCCC     MISMATCH!!!\n";

TEST(SignatureDigestsTest, PairsAndVerdicts) {
  struct Row {
    const char* report;
    std::vector<std::string> names;
    bool match;
    std::string mismatch;
  };
  const Row rows[] = {
      {kExecutable, {"message digest"}, true, ""},
      {kExecutableChanged, {"message digest"}, false, "message digest"},
      {kMsiWithStream, {"MsiDigitalSignatureEx", "DigitalSignature"}, true, ""},
      {kMsiStreamDropped, {"DigitalSignature"}, false, "DigitalSignature"},
      {kNested, {"message digest", "message digest"}, false, "message digest"},
      {"Current message digest : AAAA\n", {"message digest"}, false, "message digest"},
      {"No signature found\nFailed\n", {}, false, "no digest reported"},
      {"Current message digest : not hex\nCalculated message digest : not hex\n",
       {},
       false,
       "no digest reported"},
  };
  for (const Row& row : rows) {
    const std::vector<DigestPair> pairs = ReadDigestPairs(row.report);
    std::vector<std::string> names;
    for (const DigestPair& pair : pairs)
      names.push_back(pair.name);
    EXPECT_EQ(names, row.names) << row.report;
    std::string mismatch;
    EXPECT_EQ(DigestsMatch(pairs, mismatch), row.match) << row.report;
    EXPECT_EQ(mismatch, row.mismatch) << row.report;
  }
}

}  // namespace
}  // namespace kv
