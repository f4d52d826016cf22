#include "ui/StaticTextColour.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kv {
namespace {

// A black contrast scheme: white text, yellow hot light.
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kYellow = 0x00FFFF;

TEST(StaticTextColour, HintIsBlueUnlessAContrastThemeIsOn) {
  struct Row {
    bool hint;
    bool high_contrast;
    std::uint32_t expected;
  };
  const Row rows[] = {
      {false, false, kWhite},
      {false, true, kWhite},    // a label never takes the hot-light colour
      {true, false, 0xFF0000},  // blue even where the scheme has another hot light
      {true, true, kYellow},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(StaticTextColour(row.hint, row.high_contrast, kWhite, kYellow), row.expected)
        << row.hint << row.high_contrast;
  }
}

}  // namespace
}  // namespace kv
