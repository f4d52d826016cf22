// A rectangle on the screen, in pixels, by its edges as the system keeps them: Right and Bottom
// lie just outside it. The windows and the buttons measure and place with it; Win32 code turns
// it into a RECT only at the call (ToRect and FromRect in ui/Window_win32.h).
#pragma once

namespace kv {

// The resolution every layout of the program is designed at.
inline constexpr int kDesignPixelsPerInch = 96;

struct ScreenRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  // The rectangle with its top-left corner at (left, top) and the given size.
  static constexpr ScreenRect OfSize(int left, int top, int width, int height) {
    return {left, top, left + width, top + height};
  }
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  ScreenRect Moved(int dx, int dy) const { return {Left + dx, Top + dy, Right + dx, Bottom + dy}; }
  ScreenRect Shrunk(int by) const { return {Left + by, Top + by, Right - by, Bottom - by}; }
  bool operator==(const ScreenRect&) const = default;
};

}  // namespace kv
