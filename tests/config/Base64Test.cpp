#include <gtest/gtest.h>

#include "config/Base64.h"
#include "tests/config/PackageTestSupport.h"

namespace kv {
namespace {

TEST(Base64Test, DecodesWholeGroupsOnly) {
  struct Row {
    std::string text, bytes;
  };
  const Row rows[] = {
      {"", ""},
      {"Zm9", ""},  // fewer than four characters
      {"Zg==", "f"},
      {"Zm8=", "fo"},
      {"Zm9v", "foo"},
      {"Zm9vYmFy", "foobar"},
      {"Zm9vYg", "foo"},  // partial last group ignored
      {"Zm9vYmFyY", "foobar"},
      {"Zg==Zm9v", "ffoo"},  // a padded group in the middle shortens only itself
      {"Zg=AZm9v", "ffoo"},  // third character "=": one byte
      {"AAAA", std::string(3, '\0')},
      {"////", "\xFF\xFF\xFF"},
      {"+/+/", "\xFB\xFF\xBF"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(DecodeBase64(row.text), row.bytes) << row.text;
}

TEST(Base64Test, RoundTripOfEveryByteValue) {
  std::string bytes;
  for (int i = 0; i < 256; ++i)
    bytes += static_cast<char>(i);
  for (std::size_t length : {0u, 1u, 2u, 3u, 255u, 256u}) {
    const std::string part = bytes.substr(0, length);
    EXPECT_EQ(DecodeBase64(test::EncodeBase64ForTest(part)), part) << length;
  }
}

TEST(Base64Test, ValueCheckRejectsForeignCharacters) {
  struct Row {
    std::string text, bytes;
  };
  const Row rows[] = {
      {"Zm9vYmFy", "foobar"},
      {"Zm8=", "fo"},
      {"Zg==", "f"},
      {"Zg==Zm9v", ""},   // a character other than "=" after the first "="
      {"Zm9v YmFy", ""},  // blank
      {"Zm9v*mFy", ""},   // outside the alphabet
      {"Zm9v-_", ""},     // URL-safe alphabet is not accepted
      {"Zm9vY", "foo"},   // accepted, partial group ignored
      {"====", std::string(1, '\0')},
      {"", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DecodeBase64Value(row.text), row.bytes) << row.text;
    std::string in_place = row.text;
    DecodeBase64ValueInPlace(in_place);
    EXPECT_EQ(in_place, row.bytes) << row.text;
  }
}

TEST(Base64Test, EncoderMatchesAnIndependentOneAndDecodesBack) {
  std::string bytes;
  for (int i = 0; i < 300; ++i)
    bytes += static_cast<char>(i * 7 + 3);
  for (std::size_t length = 0; length <= bytes.size(); ++length) {
    const std::string part = bytes.substr(0, length);
    const std::string text = EncodeBase64(part);
    ASSERT_EQ(text, test::EncodeBase64ForTest(part)) << length;
    ASSERT_TRUE(IsBase64Text(text, Base64Check::kPaddingLast)) << length;
    ASSERT_EQ(DecodeBase64(text), part) << length;
  }
}

TEST(Base64Test, CharacterChecks) {
  struct Row {
    std::string text;
    bool whole_groups, padding_last;
  };
  const Row rows[] = {
      {"", true, true},
      {"Zm9vYmFy", true, true},
      {"Zm8=", true, true},
      {"====", true, true},
      {"Zg==Zm9v", true, false},  // "=" inside: the signature check lets the decoder judge it
      {"Zm9vY*", true, false},    // a foreign character in the ignored partial group
      {"Zm9v=*", true, false},
      {"Zm9v YmFy", false, false},
      {"Zm9v\nYmF", false, false},
      {"Zm9v-_==", false, false},  // URL-safe alphabet
      {std::string("Zm9\0", 4), false, false},
      {"Zm9\xC1", false, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IsBase64Text(row.text, Base64Check::kWholeGroups), row.whole_groups) << row.text;
    EXPECT_EQ(IsBase64Text(row.text, Base64Check::kPaddingLast), row.padding_last) << row.text;
  }
}

}  // namespace
}  // namespace kv
