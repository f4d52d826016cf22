// The layout of the note window TNoteForm as designed at 96 pixels per inch, its scaling to the
// screen's pixels per inch, and the anchoring of MemoNote to all four sides of the client area.
#pragma once

#include "app/PixelScaling.h"

namespace kv {

struct TNoteFormLayout {
  ScreenRect Window;       // position of the window and size of its client area
  ScreenRect Memo;         // MemoNote inside the client area
  int FontHeight = 0;      // character height of the window font
  int MemoFontHeight = 0;  // character height of the memo font
};

// The designed layout: window at 187, 192 with a client area of 762 x 606, MemoNote at 8, 8 of
// 746 x 590, fonts of 11 and 13 pixels character height.
TNoteFormLayout DesignedNoteFormLayout();

// The layout scaled from 96 to pixels_per_inch (values rounded to the nearest pixel).
TNoteFormLayout ScaleNoteFormLayout(const TNoteFormLayout& layout, int pixels_per_inch);

// MemoNote's rectangle for a client area of the given size: the distances to all four sides stay
// as in layout; the size never becomes negative.
ScreenRect AnchoredMemoRect(const TNoteFormLayout& layout, int client_width, int client_height);

}  // namespace kv
