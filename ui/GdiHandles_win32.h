// Owned handles of the window code: each type frees its handle (deletes the object, releases
// the device context, restores the saved state or the selection, closes the theme, destroys the
// icon) when it goes out of scope, so no call site frees one by hand. Windows only.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <uxtheme.h>

#include <memory>
#include <type_traits>

namespace kv {

// Frees a handle with the function Free.
template <auto Free>
struct TFree {
  template <typename Handle>
  void operator()(Handle handle) const {
    Free(handle);
  }
};
template <typename Handle, auto Free>
using TOwned = std::unique_ptr<std::remove_pointer_t<Handle>, TFree<Free>>;

using TFont = TOwned<HFONT, &::DeleteObject>;
using TPen = TOwned<HPEN, &::DeleteObject>;
using TBrush = TOwned<HBRUSH, &::DeleteObject>;
using TBitmap = TOwned<HBITMAP, &::DeleteObject>;
using TIcon = TOwned<HICON, &::DestroyIcon>;
using TTheme = TOwned<HTHEME, &::CloseThemeData>;
using TMemoryDC = TOwned<HDC, &::DeleteDC>;
using TImageListHandle = TOwned<HIMAGELIST, &::ImageList_Destroy>;

struct TScreenRelease {
  void operator()(HDC dc) const { ::ReleaseDC(nullptr, dc); }
};
using TScreenDC = std::unique_ptr<HDC__, TScreenRelease>;
// The screen's device context.
inline TScreenDC ScreenDC() {
  return TScreenDC(::GetDC(nullptr));
}

// An object selected into a device context; the former one is selected back at the end.
class TSelection {
 public:
  TSelection(HDC dc, HGDIOBJ object)
      : dc_(dc), old_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
  ~TSelection() {
    if (old_)
      ::SelectObject(dc_, old_);
  }
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

// A regular font of the given face and character height in pixels.
inline TFont MakeFont(const wchar_t* name, int character_height) {
  return TFont(::CreateFontW(-character_height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, name));
}

}  // namespace kv
