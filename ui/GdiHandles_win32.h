// Owned handles of the window code: each type frees its handle (deletes the object, releases
// the device context, restores the saved state or the selection, closes the theme, destroys the
// icon) when it goes out of scope, so no call site frees one by hand. Windows only.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <uxtheme.h>

#include <memory>

#include "base/Owned.h"

namespace kv {

using TFont = OwnedPtr<HFONT__, &::DeleteObject>;
using TPen = OwnedPtr<HPEN__, &::DeleteObject>;
using TBrush = OwnedPtr<HBRUSH__, &::DeleteObject>;
using TBitmap = OwnedPtr<HBITMAP__, &::DeleteObject>;
using TIcon = OwnedPtr<HICON__, &::DestroyIcon>;
using TTheme = OwnedPtr<void, &::CloseThemeData>;
using TMemoryDC = OwnedPtr<HDC__, &::DeleteDC>;
using TImageListHandle = OwnedPtr<_IMAGELIST, &::ImageList_Destroy>;

inline void ReleaseScreenDC(HDC dc) {
  ::ReleaseDC(nullptr, dc);
}
using TScreenDC = OwnedPtr<HDC__, &ReleaseScreenDC>;
// The screen's device context.
inline TScreenDC ScreenDC() {
  return TScreenDC(::GetDC(nullptr));
}

// An object selected into a device context; the former one is selected back at the end.
class TSelection {
 public:
  TSelection(HDC dc, HGDIOBJ object)
      : dc_(dc), old_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
  ~TSelection() { ::SelectObject(dc_, old_); }  // with none selected nothing happens
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;
  bool ok() const { return old_ != nullptr; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// The state of a device context (selections, colours, modes), restored at the end.
class TSavedDC {
 public:
  explicit TSavedDC(HDC dc) : dc_(dc), saved_(::SaveDC(dc)) {}
  ~TSavedDC() { ::RestoreDC(dc_, saved_); }  // fails harmlessly when nothing was saved
  TSavedDC(const TSavedDC&) = delete;
  TSavedDC& operator=(const TSavedDC&) = delete;

 private:
  HDC dc_;
  int saved_;
};

// A regular font of the given face and character height in pixels; pitch_and_family guides the
// choice of a font when the face is not installed.
inline TFont MakeFont(const wchar_t* name, int character_height,
                      BYTE pitch_and_family = DEFAULT_PITCH | FF_DONTCARE) {
  return TFont(::CreateFontW(-character_height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, pitch_and_family, name));
}

}  // namespace kv
