// The native image list of the common controls behind TNativeImageList. Pixel images cross the
// boundary as 32-bit top-down device-independent sections and monochrome masks.
#include <windows.h>

#include <commctrl.h>

#include <cstring>

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
  explicit TMemoryCanvas(HBITMAP bitmap) : dc_(::CreateCompatibleDC(nullptr)) {
    if (dc_ && bitmap)
      old_ = ::SelectObject(dc_, bitmap);
  }
  ~TMemoryCanvas() {
    if (dc_) {
      if (old_)
        ::SelectObject(dc_, old_);
      ::DeleteDC(dc_);
    }
  }
  TMemoryCanvas(const TMemoryCanvas&) = delete;
  TMemoryCanvas& operator=(const TMemoryCanvas&) = delete;
  HDC dc() const { return dc_; }
  bool ok() const { return dc_ && old_; }

 private:
  HDC dc_;
  HGDIOBJ old_ = nullptr;
};

class TGdiObject {
 public:
  explicit TGdiObject(HGDIOBJ object = nullptr) : object_(object) {}
  ~TGdiObject() {
    if (object_)
      ::DeleteObject(object_);
  }
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  HBITMAP bitmap() const { return static_cast<HBITMAP>(object_); }
  void Reset(HGDIOBJ object) {
    if (object_)
      ::DeleteObject(object_);
    object_ = object;
  }

 private:
  HGDIOBJ object_;
};

// A 32-bit top-down section of width x height; bits receives its pixels.
HBITMAP CreateSection(int width, int height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

void FillRect(HDC dc, int width, int height, COLORREF color) {
  const HBRUSH brush = ::CreateSolidBrush(color);
  const RECT rect{0, 0, width, height};
  ::FillRect(dc, &rect, brush);
  ::DeleteObject(brush);
}

// The image's pixels as a section and its mask as a monochrome bitmap.
bool MakeBitmaps(const TPixelImage& image, TGdiObject& color, TGdiObject& mask) {
  void* bits = nullptr;
  color.Reset(CreateSection(image.width, image.height, &bits));
  if (!color.bitmap() || !bits)
    return false;
  std::memcpy(bits, image.pixels.data(), image.pixels.size());
  // Monochrome rows are padded to 16 bits; a set bit is transparent (white).
  const std::size_t stride = (static_cast<std::size_t>(image.width) + 15) / 16 * 2;
  std::vector<std::uint8_t> rows(stride * static_cast<std::size_t>(image.height), 0);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (image.mask[static_cast<std::size_t>(y) * image.width + x])
        rows[y * stride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
  }
  mask.Reset(::CreateBitmap(image.width, image.height, 1, 1, rows.data()));
  return mask.bitmap() != nullptr;
}

class TWin32ImageList final : public TNativeImageList {
 public:
  ~TWin32ImageList() override { Release(); }

  bool Create(int width, int height, unsigned flags, int alloc_by) override {
    Release();
    list_ = ::ImageList_Create(width, height, flags, 0, alloc_by);
    width_ = width;
    height_ = height;
    alpha_ = (flags & kListColor32) == kListColor32;
    return list_ != nullptr;
  }
  void Release() override {
    if (list_)
      ::ImageList_Destroy(list_);
    list_ = nullptr;
    if (work_bitmap_)
      ::DeleteObject(work_bitmap_);
    work_bitmap_ = nullptr;
  }
  bool HasHandle() const override { return list_ != nullptr; }
  int Count() const override { return list_ ? ::ImageList_GetImageCount(list_) : 0; }
  void Clear() override {
    if (list_)
      ::ImageList_Remove(list_, -1);
  }

  int AppendIcon(std::string_view icon_image, int width, int height) override {
    if (!list_)
      return -1;
    // The call reads the bytes only; it takes them through a non-const pointer.
    auto* bytes = reinterpret_cast<BYTE*>(const_cast<char*>(icon_image.data()));
    const HICON icon = ::CreateIconFromResourceEx(bytes, static_cast<DWORD>(icon_image.size()),
                                                  TRUE, 0x00030000, width, height, LR_DEFAULTCOLOR);
    if (!icon)
      return -1;
    const int index = ::ImageList_ReplaceIcon(list_, -1, icon);
    ::DestroyIcon(icon);
    return index;
  }

  int AppendBitmap(std::string_view bitmap_file, TColor fill, TColor transparent) override {
    if (!list_)
      return -1;
    if (!work_bitmap_) {
      const HDC screen = ::GetDC(nullptr);
      work_bitmap_ = ::CreateCompatibleBitmap(screen, width_, height_);
      ::ReleaseDC(nullptr, screen);
    }
    if (!work_bitmap_)
      return -1;
    {
      TMemoryCanvas canvas(work_bitmap_);
      if (!canvas.ok())
        return -1;
      FillRect(canvas.dc(), width_, height_, ToColorRef(fill));
      StretchBitmapFile(canvas.dc(), bitmap_file);
    }
    return ::ImageList_AddMasked(list_, work_bitmap_, ToColorRef(transparent));
  }

  int Append(const TPixelImage& image) override {
    TGdiObject color, mask;
    if (!list_ || !MakeBitmaps(image, color, mask))
      return -1;
    return ::ImageList_Add(list_, color.bitmap(), mask.bitmap());
  }

  bool Extract(int index, TPixelImage& image) override {
    if (!list_ || index < 0 || index >= Count())
      return false;
    void* bits = nullptr;
    TGdiObject color(CreateSection(image.width, image.height, &bits));
    TGdiObject mask(CreateSection(image.width, image.height, nullptr));
    if (!color.bitmap() || !mask.bitmap())
      return false;
    {
      TMemoryCanvas canvas(color.bitmap());
      if (!canvas.ok())
        return false;
      FillRect(canvas.dc(), image.width, image.height, RGB(0, 0, 0));
      ::ImageList_Draw(list_, index, canvas.dc(), 0, 0, ILD_NORMAL);
      ::GdiFlush();
      std::memcpy(image.pixels.data(), bits, image.pixels.size());
    }
    TMemoryCanvas canvas(mask.bitmap());
    if (!canvas.ok())
      return false;
    FillRect(canvas.dc(), image.width, image.height, RGB(255, 255, 255));
    ::ImageList_Draw(list_, index, canvas.dc(), 0, 0, ILD_MASK);
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * image.width + x;
        image.mask[i] = ::GetPixel(canvas.dc(), x, y) == RGB(255, 255, 255) ? 1 : 0;
      }
    }
    if (alpha_)
      FillMissingAlpha(image);
    return true;
  }

  bool Replace(int index, const TPixelImage& image) override {
    TGdiObject color, mask;
    if (!list_ || !MakeBitmaps(image, color, mask))
      return false;
    return ::ImageList_Replace(list_, index, color.bitmap(), mask.bitmap()) != FALSE;
  }

  void Draw(HDC__* dc, int index, int x, int y, unsigned style, TColor background,
            TColor foreground) override {
    if (list_) {
      ::ImageList_DrawEx(list_, index, dc, x, y, 0, 0, ToColorRef(background),
                         ToColorRef(foreground), style);
    }
  }

  void DrawPixels(HDC__* dc, const TPixelImage& image, int x, int y) override {
    const HIMAGELIST single =
        ::ImageList_Create(image.width, image.height, ILC_COLOR24 | ILC_MASK, 1, 1);
    if (!single)
      return;
    TGdiObject color, mask;
    if (MakeBitmaps(image, color, mask) &&
        ::ImageList_Add(single, color.bitmap(), mask.bitmap()) == 0) {
      ::ImageList_Draw(single, 0, dc, x, y, ILD_TRANSPARENT);
    }
    ::ImageList_Destroy(single);
  }

 private:
  // Images without an alpha channel of their own (icons of 24 bits or fewer) are drawn without
  // alpha: their opaque pixels count as fully opaque.
  static void FillMissingAlpha(TPixelImage& image) {
    for (std::size_t i = 0; i < image.mask.size(); ++i) {
      if (image.pixels[i * 4 + 3] != 0)
        return;
    }
    for (std::size_t i = 0; i < image.mask.size(); ++i)
      image.pixels[i * 4 + 3] = image.mask[i] ? 0 : 255;
  }

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

  HIMAGELIST list_ = nullptr;
  HBITMAP work_bitmap_ = nullptr;
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
