#include "ui/ButtonLayout.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

constexpr int kCharWidth = 8;
constexpr int kLineHeight = 13;

// Every byte is kCharWidth wide, one line high; records the calls.
struct FakeMeasure {
  int calls = 0;
  ScreenRect last_bounds;
  unsigned last_flags = 0;
  TMeasureButtonText Callback() {
    return [this](const std::string& caption, const ScreenRect& bounds, unsigned flags) {
      ++calls;
      last_bounds = bounds;
      last_flags = flags;
      return ScreenRect{bounds.Left, bounds.Top,
                        bounds.Left + kCharWidth * static_cast<int>(caption.size()),
                        bounds.Top + kLineHeight};
    };
  }
};

TEST(ButtonLayoutTest, PlacesGlyphAndCaption) {
  const std::optional<TGlyphSize> glyph16 = TGlyphSize{16, 16};
  struct Row {
    const char* what;
    ScreenRect client;
    TButtonPoint offset;
    unsigned flags;
    int spacing, margin;
    TButtonLayout layout;
    const char* caption;  // five characters: 40 x 13
    std::optional<TGlyphSize> glyph;
    TButtonPoint glyph_pos;
    ScreenRect text;
  };
  using L = TButtonLayout;
  const Row rows[] = {
      {"left",
       {0, 0, 100, 30},
       {},
       0,
       4,
       -1,
       L::blGlyphLeft,
       "abcde",
       glyph16,
       {20, 7},
       {40, 9, 80, 22}},
      {"right",
       {0, 0, 100, 30},
       {},
       0,
       4,
       -1,
       L::blGlyphRight,
       "abcde",
       glyph16,
       {64, 7},
       {20, 9, 60, 22}},
      {"right-to-left swaps left",
       {0, 0, 100, 30},
       {},
       kTextRight | kTextRtlReading,
       4,
       -1,
       L::blGlyphLeft,
       "abcde",
       glyph16,
       {64, 7},
       {20, 9, 60, 22}},
      {"right-to-left swaps right",
       {0, 0, 100, 30},
       {},
       kTextRight,
       4,
       -1,
       L::blGlyphRight,
       "abcde",
       glyph16,
       {20, 7},
       {40, 9, 80, 22}},
      {"top",
       {0, 0, 60, 60},
       {},
       0,
       4,
       -1,
       L::blGlyphTop,
       "abcde",
       glyph16,
       {22, 14},
       {10, 34, 50, 47}},
      {"bottom",
       {0, 0, 60, 60},
       {},
       0,
       4,
       -1,
       L::blGlyphBottom,
       "abcde",
       glyph16,
       {22, 30},
       {10, 13, 50, 26}},
      {"both computed",
       {0, 0, 100, 30},
       {},
       0,
       -1,
       -1,
       L::blGlyphLeft,
       "abcde",
       glyph16,
       {14, 7},
       {44, 9, 84, 22}},
      {"spacing computed",
       {0, 0, 100, 30},
       {},
       0,
       -1,
       5,
       L::blGlyphLeft,
       "abcde",
       glyph16,
       {5, 7},
       {40, 9, 80, 22}},
      {"negative spacing is used",
       {0, 0, 100, 30},
       {},
       0,
       -7,
       -1,
       L::blGlyphLeft,
       "abcde",
       glyph16,
       {26, 7},
       {35, 9, 75, 22}},
      // Divisions truncate toward zero: -46 / 3 = -15 and -49 / 2 = -24, not -16 and -25.
      {"too narrow, computed",
       {0, 0, 10, 30},
       {},
       0,
       -1,
       -1,
       L::blGlyphLeft,
       "abcde",
       glyph16,
       {-15, 7},
       {-14, 9, 26, 22}},
      {"too narrow, given",
       {0, 0, 10, 30},
       {},
       0,
       4,
       -1,
       L::blGlyphLeft,
       "abcde",
       glyph16,
       {-24, 7},
       {-4, 9, 36, 22}},
      {"no list: no glyph space, no spacing",
       {0, 0, 100, 30},
       {},
       0,
       4,
       -1,
       L::blGlyphLeft,
       "abcde",
       std::nullopt,
       {30, 15},
       {30, 9, 70, 22}},
      {"no caption: no spacing",
       {0, 0, 23, 22},
       {},
       0,
       4,
       -1,
       L::blGlyphLeft,
       "",
       glyph16,
       {4, 3},
       {20, 11, 20, 11}},
      {"moved by client corner and offset",
       {2, 2, 21, 20},
       {1, 1},
       0,
       4,
       -1,
       L::blGlyphLeft,
       "",
       glyph16,
       {5, 4},
       {21, 12, 21, 12}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakeMeasure measure;
    ScreenRect text{99, 99, 99, 99};
    TButtonPoint glyph_pos;
    LayoutGlyphAndText(row.client, row.offset, false, row.flags, text, glyph_pos, row.spacing,
                       row.margin, row.layout, row.caption, row.glyph, measure.Callback());
    EXPECT_EQ(glyph_pos, row.glyph_pos);
    EXPECT_EQ(text, row.text);
    if (*row.caption != '\0') {
      EXPECT_EQ(measure.calls, 1);
      EXPECT_EQ(measure.last_bounds, (ScreenRect{0, 0, row.client.Width(), 0}));
      EXPECT_EQ(measure.last_flags, kTextCalcRect | row.flags);
    } else {
      EXPECT_EQ(measure.calls, 0);
    }
  }
}

TEST(ButtonLayoutTest, GivenTextSizeIsNotMeasured) {
  FakeMeasure measure;
  ScreenRect text{0, 0, 50, 13};
  TButtonPoint glyph_pos;
  LayoutGlyphAndText({4, 4, 164, 21}, {}, true, 0, text, glyph_pos, 4, -1,
                     TButtonLayout::blGlyphLeft, "ignored", TGlyphSize{16, 16}, measure.Callback());
  EXPECT_EQ(measure.calls, 0);
  // margin (160 - 70 + 1) / 2 = 45
  EXPECT_EQ(glyph_pos, (TButtonPoint{49, 5}));
  EXPECT_EQ(text, (ScreenRect{69, 6, 119, 19}));
}

TEST(ButtonLayoutTest, PropertySetters) {
  TButtonGlyphProperties properties;
  EXPECT_EQ(properties.ImageIndex(), -1);
  EXPECT_EQ(properties.Layout(), TButtonLayout::blGlyphLeft);
  EXPECT_EQ(properties.Spacing(), 4);
  EXPECT_EQ(properties.Margin(), -1);

  EXPECT_FALSE(properties.SetMargin(-2));  // below -1: ignored
  EXPECT_EQ(properties.Margin(), -1);
  EXPECT_TRUE(properties.SetMargin(0));
  EXPECT_FALSE(properties.SetMargin(0));  // unchanged: no repaint
  EXPECT_TRUE(properties.SetMargin(-1));
  EXPECT_TRUE(properties.SetSpacing(-30));  // any value
  EXPECT_EQ(properties.Spacing(), -30);
  EXPECT_TRUE(properties.SetImageIndex(2));
  EXPECT_TRUE(properties.SetLayout(TButtonLayout::blGlyphTop));
  EXPECT_FALSE(properties.SetLayout(TButtonLayout::blGlyphTop));
}

TEST(ButtonLayoutTest, CaptionDraws) {
  using C = TCaptionColour;
  const ScreenRect bounds{10, 5, 50, 18};
  const unsigned rtl = ReadingOrderTextFlags(true);
  EXPECT_EQ(rtl, kTextRight | kTextRtlReading);
  EXPECT_EQ(ReadingOrderTextFlags(false), 0u);
  const unsigned centred = rtl | kTextCenter | kTextVCenter;
  struct Row {
    bool empty;
    TButtonState state;
    bool themed;
    std::vector<TCaptionDraw> draws;
  };
  const Row rows[] = {
      {true, TButtonState::bsDisabled, false, {}},
      {false, TButtonState::bsUp, false, {{bounds, C::kFont, centred}}},
      {false, TButtonState::bsExclusive, false, {{bounds, C::kFont, centred}}},
      // Embossed: the highlight one pixel right and below, then the shadow over it.
      {false,
       TButtonState::bsDisabled,
       false,
       {{{11, 6, 51, 19}, C::kButtonHighlight, centred}, {bounds, C::kButtonShadow, centred}}},
      {false, TButtonState::bsDisabled, true, {{bounds, C::kGrayText, centred}}},
      {false, TButtonState::bsDown, true, {{bounds, C::kFont, centred}}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(PlanButtonCaption(row.empty, bounds, row.state, rtl, row.themed), row.draws);
}

TEST(ButtonLayoutTest, GlyphSourceAndStyle) {
  using S = TButtonState;
  const TImageListFacts list{3, 16, 16};
  struct Row {
    const char* what;
    std::optional<TImageListFacts> images, hot_images;
    int index;
    S state;
    bool hot, transparent;
    TGlyphDraw draw;
  };
  const TGlyphDraw none{};
  const Row rows[] = {
      {"no list", std::nullopt, list, 0, S::bsUp, false, true, none},
      {"index -1", list, list, -1, S::bsUp, false, true, none},
      {"index = count", list, list, 3, S::bsUp, false, true, none},
      {"zero width", TImageListFacts{3, 0, 16}, std::nullopt, 0, S::bsUp, false, true, none},
      {"zero height", TImageListFacts{3, 16, 0}, std::nullopt, 0, S::bsUp, false, true, none},
      {"plain", list, list, 2, S::bsUp, false, false, {TGlyphList::kImages, false, true}},
      {"hot", list, list, 2, S::bsUp, true, true, {TGlyphList::kHotImages, true, true}},
      {"hot, no companion",
       list,
       std::nullopt,
       0,
       S::bsUp,
       true,
       true,
       {TGlyphList::kImages, true, true}},
      {"hot companion short",
       list,
       TImageListFacts{2, 16, 16},
       0,
       S::bsUp,
       true,
       true,
       {TGlyphList::kImages, true, true}},
      {"hot companion wider",
       list,
       TImageListFacts{3, 24, 16},
       0,
       S::bsUp,
       true,
       true,
       {TGlyphList::kImages, true, true}},
      {"hot companion taller",
       list,
       TImageListFacts{3, 16, 24},
       0,
       S::bsUp,
       true,
       true,
       {TGlyphList::kImages, true, true}},
      {"hot but disabled",
       list,
       list,
       0,
       S::bsDisabled,
       true,
       true,
       {TGlyphList::kImages, true, false}},
      {"exclusive is transparent",
       list,
       list,
       0,
       S::bsExclusive,
       false,
       false,
       {TGlyphList::kImages, true, true}},
      {"down is not", list, list, 0, S::bsDown, false, false, {TGlyphList::kImages, false, true}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(
        PlanButtonImage(row.images, row.hot_images, row.index, row.state, row.hot, row.transparent),
        row.draw);
  }
}

TEST(ButtonLayoutTest, Accelerators) {
  struct Row {
    const char* caption;
    const char* typed;
    bool accelerator;
  };
  const Row rows[] = {
      {"&Store", "s", true},
      {"&Store", "S", true},
      {"St&ore", "o", true},
      {"St&ore", "s", false},
      {"Store", "s", false},
      {"A && B", "B", false},
      {"A && &B", "b", true},
      {"Trailing&", "g", false},
      {"&\xc3\xa9t\xc3\xa9", "\xc3\xa9", true},
      {"&\xc3\xa9t\xc3\xa9", "\xc3", false},
      {"&x", "", false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(IsCaptionAccelerator(row.caption, row.typed), row.accelerator) << row.caption;
}

}  // namespace
}  // namespace kv
