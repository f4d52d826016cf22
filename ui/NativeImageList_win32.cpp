// The native image list of the common controls behind TNativeImageList. Pixel images cross the
// boundary as 32-bit top-down device-independent sections and monochrome masks.
#include <windows.h>

#include <commctrl.h>

#include <cstring>

#include "ui/GdiHandles_win32.h"
#include "ui/NativeImageList.h"
#include "ui/ZNTImageListRules.h"

namespace kv {

namespace {

COLORREF ToColorRef(TColor color) {
  if (color == kColorNone)
    return CLR_NONE;
  if (color == kColorDefault)
    return CLR_DEFAULT;
  if (color < 0)
    return ::GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color & 0xFFFFFF);
}

// A memory device context with one bitmap selected, released on every path.
class TMemoryCanvas {
 public:
  explicit TMemoryCanvas(HBITMAP bitmap)
      : dc_(::CreateCompatibleDC(nullptr)), selection_(dc_.get(), bitmap) {}
  HDC dc() const { return dc_.get(); }
  bool ok() const { return selection_.ok(); }

 private:
  TMemoryDC dc_;
  TSelection selection_;
};

// A 32-bit top-down section of width x height; bits receives its pixels.
HBITMAP CreateSection(int width, int height, void** bits) {
  const BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0},
                        {}};
  return ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

void FillRect(HDC dc, int width, int height, COLORREF color) {
  const TBrush brush(::CreateSolidBrush(color));
  const RECT rect{0, 0, width, height};
  ::FillRect(dc, &rect, brush.get());
}

// The bitmaps an image crosses the boundary in: its pixels as a section and its mask as a
// monochrome bitmap, made once for a list's size and reused for every image.
struct TImageBitmaps {
  TBitmap color;
  TBitmap mask;
  void* bits = nullptr;

  bool Make(int width, int height) {
    if (!color) {
      color.reset(CreateSection(width, height, &bits));
      mask.reset(::CreateBitmap(width, height, 1, 1, nullptr));
    }
    return color && mask && bits;
  }
  // The image's pixels and its mask; false when the image has another size than the bitmaps.
  bool Fill(const TPixelImage& image, int width, int height) {
    if (image.width != width || image.height != height || !Make(width, height))
      return false;
    ::GdiFlush();
    std::memcpy(bits, image.pixels.data(), image.pixels.size());
    const std::vector<std::uint8_t> rows = MaskBitmapRows(image);
    return ::SetBitmapBits(mask.get(), static_cast<DWORD>(rows.size()), rows.data()) != 0;
  }
};

class TWin32ImageList final : public TNativeImageList {
 public:
  bool Create(int width, int height, unsigned flags, int alloc_by) override {
    Release();
    list_.reset(::ImageList_Create(width, height, flags, 0, alloc_by));
    width_ = width;
    height_ = height;
    alpha_ = (flags & kListColor32) == kListColor32;
    return list_ != nullptr;
  }
  void Release() override {
    list_.reset();
    work_bitmap_.reset();
    image_ = {};
    extract_ = {};
  }
  bool HasHandle() const override { return list_ != nullptr; }
  int Count() const override { return list_ ? ::ImageList_GetImageCount(list_.get()) : 0; }
  void Clear() override {
    if (list_)
      ::ImageList_Remove(list_.get(), -1);
  }

  int AppendIcon(std::string_view icon_image, int width, int height) override {
    if (!list_)
      return -1;
    // The call reads the bytes only; it takes them through a non-const pointer.
    auto* bytes = reinterpret_cast<BYTE*>(const_cast<char*>(icon_image.data()));
    const TIcon icon(::CreateIconFromResourceEx(bytes, static_cast<DWORD>(icon_image.size()), TRUE,
                                                0x00030000, width, height, LR_DEFAULTCOLOR));
    return icon ? ::ImageList_ReplaceIcon(list_.get(), -1, icon.get()) : -1;
  }

  int AppendBitmap(std::string_view bitmap_file, TColor fill, TColor transparent) override {
    if (!list_)
      return -1;
    if (!work_bitmap_)
      work_bitmap_.reset(::CreateCompatibleBitmap(ScreenDC().get(), width_, height_));
    {
      TMemoryCanvas canvas(work_bitmap_.get());
      if (!canvas.ok())
        return -1;
      FillRect(canvas.dc(), width_, height_, ToColorRef(fill));
      StretchBitmapFile(canvas.dc(), bitmap_file);
    }
    return ::ImageList_AddMasked(list_.get(), work_bitmap_.get(), ToColorRef(transparent));
  }

  int Append(const TPixelImage& image) override {
    if (!list_ || !image_.Fill(image, width_, height_))
      return -1;
    return ::ImageList_Add(list_.get(), image_.color.get(), image_.mask.get());
  }

  bool Extract(int index, TPixelImage& image) override {
    if (!list_ || index < 0 || index >= Count() || image.width != width_ ||
        image.height != height_ || !extract_.Make(width_, height_)) {
      return false;
    }
    {
      TMemoryCanvas canvas(extract_.color.get());
      if (!canvas.ok())
        return false;
      FillRect(canvas.dc(), width_, height_, RGB(0, 0, 0));
      ::ImageList_Draw(list_.get(), index, canvas.dc(), 0, 0, ILD_NORMAL);
      ::GdiFlush();
      std::memcpy(image.pixels.data(), extract_.bits, image.pixels.size());
    }
    TMemoryCanvas canvas(extract_.mask.get());
    if (!canvas.ok())
      return false;
    FillRect(canvas.dc(), width_, height_, RGB(255, 255, 255));
    ::ImageList_Draw(list_.get(), index, canvas.dc(), 0, 0, ILD_MASK);
    ::GdiFlush();
    std::vector<std::uint8_t> rows = MaskBitmapRows(image);  // the size the bitmap's bits take
    ::GetBitmapBits(extract_.mask.get(), static_cast<LONG>(rows.size()), rows.data());
    ReadMaskBitmapRows(rows, image);
    if (alpha_)
      FillMissingAlpha(image);
    return true;
  }

  bool Replace(int index, const TPixelImage& image) override {
    return list_ && image_.Fill(image, width_, height_) &&
           ::ImageList_Replace(list_.get(), index, image_.color.get(), image_.mask.get());
  }

  void Draw(HDC__* dc, int index, int x, int y, unsigned style, TColor background,
            TColor foreground) override {
    if (list_) {
      ::ImageList_DrawEx(list_.get(), index, dc, x, y, 0, 0, ToColorRef(background),
                         ToColorRef(foreground), style);
    }
  }

  void DrawPixels(HDC__* dc, const TPixelImage& image, int x, int y) override {
    const TImageListHandle single(
        ::ImageList_Create(image.width, image.height, ILC_COLOR24 | ILC_MASK, 1, 1));
    TImageBitmaps bitmaps;
    if (single && bitmaps.Fill(image, image.width, image.height) &&
        ::ImageList_Add(single.get(), bitmaps.color.get(), bitmaps.mask.get()) == 0) {
      ::ImageList_Draw(single.get(), 0, dc, x, y, ILD_TRANSPARENT);
    }
  }

 private:
  void StretchBitmapFile(HDC dc, std::string_view file) const {
    TBitmapFileLayout layout;
    if (file.empty() || !ReadBitmapFile(file, layout))
      return;
    // The header and colour table, copied to aligned memory for the call.
    std::vector<std::uint32_t> info((layout.info_bytes + 3) / 4, 0);
    std::memcpy(info.data(), file.data() + layout.info_offset, layout.info_bytes);
    const int rows = layout.height < 0 ? -layout.height : layout.height;
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchDIBits(dc, 0, 0, width_, height_, 0, 0, layout.width, rows,
                    file.data() + layout.bits_offset, reinterpret_cast<BITMAPINFO*>(info.data()),
                    DIB_RGB_COLORS, SRCCOPY);
  }

  TImageListHandle list_;
  TBitmap work_bitmap_;    // of AppendBitmap
  TImageBitmaps image_;    // of Append and Replace
  TImageBitmaps extract_;  // of Extract
  int width_ = 0;
  int height_ = 0;
  bool alpha_ = false;
};

}  // namespace

TNativeImageListFactory PlatformImageListFactory() {
  return [] { return std::make_unique<TWin32ImageList>(); };
}

TButtonColors SystemButtonColors() {
  TButtonColors colors;
  colors.face = static_cast<TColor>(::GetSysColor(COLOR_BTNFACE));
  colors.highlight = static_cast<TColor>(::GetSysColor(COLOR_BTNHIGHLIGHT));
  colors.shadow = static_cast<TColor>(::GetSysColor(COLOR_BTNSHADOW));
  return colors;
}

}  // namespace kv
