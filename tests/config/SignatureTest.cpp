#include "config/PackageSignature.h"

#include <gtest/gtest.h>

#include "tests/config/PackageTestSupport.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

std::string Vector(const std::string& name) {
  return test::ReadFileBytes(test::BinaryDir() + "/tests/crypto/vectors/" + name);
}

TEST(SignatureTest, Base64SignatureText) {
  const std::string message = Vector("message.bin");
  const std::string sig = test::EncodeBase64ForTest(Vector("sha512.sig"));
  const std::string key = test::DemoPublicKey();
  ASSERT_EQ(sig.size(), 684u);
  ASSERT_EQ(sig.back(), '=');
  const std::string blank_inside = sig.substr(0, 100) + " " + sig.substr(100);
  std::string foreign = sig;  // "@" is no base64 letter
  foreign[100] = '@';
  struct Row {
    const char* what;
    std::string signature, key;
    bool valid;
  };
  const Row rows[] = {
      {"valid", sig, key, true},
      {"one extra character", sig + "A", key, true},
      {"two extra characters", sig + "AB", key, true},
      {"three extra characters", sig + "A=C", key, true},
      {"four extra characters", sig + "ABCD", key, false},
      {"blank inside", blank_inside, key, false},
      {"character outside the alphabet", foreign, key, false},
      {"without padding", sig.substr(0, 683), key, false},
      {"empty", "", key, false},
      {"1 character", "A", key, false},
      {"3 characters", "AAA", key, false},
      {"SHA-256", test::EncodeBase64ForTest(Vector("sha256.sig")), key, false},
      {"SHA-1", test::EncodeBase64ForTest(Vector("sha1.sig")), key, false},
      {"PSS", test::EncodeBase64ForTest(Vector("pss.sig")), key, false},
      {"empty key", sig, "", false},
      {"key that does not load", sig, "-----BEGIN RSA PUBLIC KEY-----\nAAAA\n", false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(VerifyPackageSignature(message, row.signature, row.key), row.valid) << row.what;
}

TEST(SignatureTest, BuiltInKeyHasThePemForm) {
  const std::string& key = BuiltInPublicKey();
  ASSERT_GT(key.size(), 60u);
  EXPECT_EQ(key.substr(0, 31), "-----BEGIN RSA PUBLIC KEY-----\n");
  EXPECT_EQ(key.substr(key.size() - 29), "-----END RSA PUBLIC KEY-----\n");
  EXPECT_EQ(key.find('\r'), std::string::npos);
  if (KV_DEMO_KEY_BUILT_IN) {
    // The demo key is a 4096-bit key: 775 characters in 13 lines.
    EXPECT_EQ(key, test::DemoPublicKey());
    EXPECT_EQ(key.size(), 775u);
    EXPECT_EQ(std::count(key.begin(), key.end(), '\n'), 13);
    EXPECT_TRUE(VerifyPackageSignature(Vector("message.bin"),
                                       test::EncodeBase64ForTest(Vector("sha512.sig")), key));
  }
}

}  // namespace
}  // namespace kv
