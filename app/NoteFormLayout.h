// The layouts of the read-only text windows as designed at 96 pixels per inch (the note window
// TNoteForm, and the view of a setup file with its Copy button), their scaling to a pixels per
// inch, MemoNote anchored to all four sides of the client area and the button to its bottom right.
#pragma once

#include "app/PixelScaling.h"

namespace kv {

struct TNoteFormLayout {
  ScreenRect Window;       // position of the window and size of its client area
  ScreenRect Memo;         // MemoNote inside the client area
  ScreenRect Button;       // the Copy button of a setup file's view; empty in the note window
  int FontHeight = 0;      // character height of the window font
  int MemoFontHeight = 0;  // character height of the memo font
};

// The designed layout: window at 187, 192 with a client area of 762 x 606, MemoNote at 8, 8 of
// 746 x 590, fonts of 11 and 13 pixels character height.
TNoteFormLayout DesignedNoteFormLayout();

// The view of a setup file: the note window's, with MemoNote shortened for a 75 x 25 button in
// the bottom right corner of the client area, 8 pixels from its edges and from MemoNote.
TNoteFormLayout SetupViewLayout();

// The layout scaled from 96 to pixels_per_inch (values rounded to the nearest pixel).
TNoteFormLayout ScaleNoteFormLayout(const TNoteFormLayout& layout, int pixels_per_inch);

// MemoNote's rectangle for a client area of the given size: the distances to all four sides stay
// as in layout; the size never becomes negative.
ScreenRect AnchoredMemoRect(const TNoteFormLayout& layout, int client_width, int client_height);

// The button's rectangle for a client area of the given size: its distances to the right and
// bottom sides stay as in layout.
ScreenRect AnchoredButtonRect(const TNoteFormLayout& layout, int client_width, int client_height);

// A window of width x height at (left, top) of the work area (relative to its corner): moved, and
// cut when larger, so that it lies inside the work area.
ScreenRect PlaceInWorkArea(const ScreenRect& work_area, int left, int top, int width, int height);

}  // namespace kv
