// What the program's top-level forms share: their window class (the arrow cursor and the colour
// of button faces; registering a class that exists already fails harmlessly), the screen's pixels
// per inch and the fonts they are drawn in.
#pragma once

#include <windows.h>

namespace kv {

inline constexpr wchar_t kFormFontName[] = L"MS Sans Serif";

void RegisterFormClass(HINSTANCE instance, WNDPROC procedure, const wchar_t* class_name);

// The screen's pixels per inch; the design's 96 where the system does not tell.
int ScreenPixelsPerInch();

// A regular font of the given face and character height in pixels; the caller deletes it.
HFONT MakeFont(const wchar_t* name, int character_height);

}  // namespace kv
