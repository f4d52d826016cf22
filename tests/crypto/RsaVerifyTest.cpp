#include "crypto/RsaVerify.h"

#include <gtest/gtest.h>

#include "tests/support/TestFiles.h"

namespace kv {
namespace {

std::string Vector(const std::string& name) {
  return test::ReadFileBytes(test::BinaryDir() + "/tests/crypto/vectors/" + name);
}
std::string DemoPublicKey() {
  return test::ReadFileBytes(test::SourceDir() + "/keys/demo-public.pem");
}

TEST(RsaVerifyTest, SignaturesMadeByOpenssl) {
  const std::string message = Vector("message.bin");
  const std::string demo_key = DemoPublicKey();
  ASSERT_EQ(demo_key.size(), 775u);
  struct Row {
    const char* signature;
    std::string key;
    bool valid;
  };
  const Row rows[] = {
      {"sha512.sig", demo_key, true},
      {"raw-good.sig", demo_key, true},     // hand-made encoding, proves the raw path
      {"sha256.sig", demo_key, false},      // other digest
      {"sha1.sig", demo_key, false},        // other digest
      {"pss.sig", demo_key, false},         // other padding
      {"raw-bt02.sig", demo_key, false},    // block type 2 instead of 1
      {"raw-nonull.sig", demo_key, false},  // DigestInfo without NULL parameters
      {"modulus.bin", demo_key, false},     // representative equal to the modulus
      {"other.sig", demo_key, false},       // other key pair
      {"other.sig", Vector("other-public.pem"), true},
      {"sha512.sig", Vector("other-public.pem"), false},
      {"sha512.sig", Vector("spki-public.pem"), false},  // not an "RSA PUBLIC KEY" block
  };
  for (const Row& row : rows) {
    const std::string name = row.signature;
    const std::string signature = Vector(name);
    EXPECT_EQ(VerifyRsaSha512Pkcs1(message, signature, row.key), row.valid)
        << name << " with " << row.key.substr(0, 30);
  }
}

TEST(RsaVerifyTest, ChangedMessageOrSignatureFails) {
  const std::string message = Vector("message.bin");
  const std::string signature = Vector("sha512.sig");
  const std::string key = DemoPublicKey();
  ASSERT_TRUE(VerifyRsaSha512Pkcs1(message, signature, key));

  std::string changed_message = message;
  changed_message[message.size() / 2] ^= 1;
  std::string crlf_to_lf = message;
  crlf_to_lf.erase(crlf_to_lf.find("\r\n"), 1);
  std::string flipped = signature;
  flipped[100] ^= 0x40;
  const struct {
    const char* what;
    std::string message, signature;
  } rows[] = {
      {"changed byte", changed_message, signature},
      {"CR LF turned into LF", crlf_to_lf, signature},
      {"message without its last byte", message.substr(0, message.size() - 1), signature},
      {"flipped signature bit", message, flipped},
      {"empty signature", message, ""},
      {"truncated signature", message, signature.substr(0, signature.size() - 1)},
      {"signature with a leading zero byte", message, std::string(1, '\0') + signature},
      {"signature with an extra byte", message, signature + "A"},
      {"representative above the modulus", message, std::string(512, '\xFF')},
      {"representative zero", message, std::string(512, '\0')},
  };
  for (const auto& row : rows)
    EXPECT_FALSE(VerifyRsaSha512Pkcs1(row.message, row.signature, key)) << row.what;
}

TEST(RsaVerifyTest, KeysThatDoNotLoadGiveFalse) {
  const std::string message = Vector("message.bin");
  const std::string signature = Vector("sha512.sig");
  const std::string key = DemoPublicKey();
  std::string corrupt_base64 = key;
  corrupt_base64[key.find('\n') + 10] = '*';
  std::string crlf_key;
  for (char c : key) {
    if (c == '\n')
      crlf_key += '\r';
    crlf_key += c;
  }
  const struct {
    const char* what;
    std::string key;
    bool valid;
  } rows[] = {
      {"CR LF line ends", crlf_key, true},
      {"empty", "", false},
      {"garbage", "not a key", false},
      {"first half", key.substr(0, key.size() / 2), false},
      {"without end line", key.substr(0, key.find("-----END")), false},
      {"bad base64", corrupt_base64, false},
      {"private key", test::ReadFileBytes(test::SourceDir() + "/keys/demo-private.pem"), false},
      {"zero bytes", std::string(775, '\0'), false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(VerifyRsaSha512Pkcs1(message, signature, row.key), row.valid) << row.what;
}

}  // namespace
}  // namespace kv
