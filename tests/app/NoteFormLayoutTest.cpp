#include "app/NoteFormLayout.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

void ExpectRect(const ScreenRect& rect, int left, int top, int width, int height) {
  EXPECT_EQ(rect.Left, left);
  EXPECT_EQ(rect.Top, top);
  EXPECT_EQ(rect.Width(), width);
  EXPECT_EQ(rect.Height(), height);
}

TEST(NoteFormLayoutTest, ScalesWithPixelsPerInch) {
  const TNoteFormLayout designed = DesignedNoteFormLayout();
  const TNoteFormLayout same = ScaleNoteFormLayout(designed, 96);
  ExpectRect(same.Window, 187, 192, 762, 606);
  ExpectRect(same.Memo, 8, 8, 746, 590);
  EXPECT_EQ(same.FontHeight, 11);
  EXPECT_EQ(same.MemoFontHeight, 13);

  const TNoteFormLayout large = ScaleNoteFormLayout(designed, 144);
  ExpectRect(large.Window, 281, 288, 1143, 909);  // 280.5 and 1143 rounded half up
  ExpectRect(large.Memo, 12, 12, 1119, 885);
  EXPECT_EQ(large.FontHeight, 17);      // 16.5
  EXPECT_EQ(large.MemoFontHeight, 20);  // 19.5

  const TNoteFormLayout small = ScaleNoteFormLayout(designed, 72);
  EXPECT_EQ(small.Memo.Width(), 560);  // 559.5
  // A screen that reports nothing keeps the designed layout.
  EXPECT_EQ(ScaleNoteFormLayout(designed, 0).Window.Width(), 762);
}

TEST(NoteFormLayoutTest, MemoIsAnchoredToAllSides) {
  const TNoteFormLayout layout = DesignedNoteFormLayout();
  struct Row {
    int client_width, client_height;
    int memo_width, memo_height;
  };
  const Row rows[] = {
      {762, 606, 746, 590},   // as designed
      {1000, 700, 984, 684},  // grows with the window
      {400, 300, 384, 284},   // shrinks with it
      {10, 5, 0, 0},          // never negative
  };
  for (const Row& row : rows) {
    const ScreenRect memo = AnchoredMemoRect(layout, row.client_width, row.client_height);
    ExpectRect(memo, 8, 8, row.memo_width, row.memo_height);
  }
}

// The view of a setup file: the button stays in the bottom right corner, MemoNote fills the rest
// and keeps its distance of 8 pixels (scaled) above the button.
TEST(NoteFormLayoutTest, SetupViewKeepsItsButtonInTheCorner) {
  struct Row {
    int pixels_per_inch, client_width, client_height;
    int memo_width, memo_height, button_left, button_top, button_size;
  };
  const Row rows[] = {
      {96, 762, 606, 746, 557, 679, 573, 75},
      {96, 1000, 300, 984, 251, 917, 267, 75},
      {192, 1524, 1212, 1492, 1114, 1358, 1146, 150},
  };
  for (const Row& row : rows) {
    const TNoteFormLayout layout = ScaleNoteFormLayout(SetupViewLayout(), row.pixels_per_inch);
    const int margin = row.pixels_per_inch / 12;
    ExpectRect(AnchoredMemoRect(layout, row.client_width, row.client_height), margin, margin,
               row.memo_width, row.memo_height);
    const ScreenRect button = AnchoredButtonRect(layout, row.client_width, row.client_height);
    ExpectRect(button, row.button_left, row.button_top, row.button_size, row.button_size / 3);
    EXPECT_EQ(button.Top - margin, margin + row.memo_height);
  }
}

}  // namespace
}  // namespace kv
