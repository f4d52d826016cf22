// The thin adapter between the image-list components and the platform's native image list: one
// object per component, holding at most one native list. The components keep every decision;
// the adapter only creates, appends, extracts, replaces and draws. Pixel images travel as
// TPixelImage so that the pixel transforms stay plain C++.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

struct HDC__;  // the platform's device context; only its pointer is passed through

namespace kv {

// A colour as the components store it: 0x00BBGGRR, or one of the two special values.
using TColor = std::int32_t;
inline constexpr TColor kColorNone = 0x1FFFFFFF;
inline constexpr TColor kColorDefault = 0x20000000;
inline constexpr TColor kColorFuchsia = 0xFF00FF;

// One image and its mask, top row first. Pixels holds 4 bytes per pixel in the order blue,
// green, red, alpha; Mask holds one byte per pixel, 1 where the image is transparent (white in
// the platform's mask bitmap) and 0 where it is opaque.
struct TPixelImage {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Pixels;
  std::vector<std::uint8_t> Mask;

  TPixelImage() = default;
  TPixelImage(int w, int h)
      : Width(w),
        Height(h),
        Pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4, 0),
        Mask(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 1) {}
};

// The system colours of button faces, highlights and shadows, as 0x00BBGGRR.
struct TButtonColors {
  TColor Face = 0xC0C0C0;
  TColor Highlight = 0xFFFFFF;
  TColor Shadow = 0x808080;
};

class TNativeImageList {
 public:
  virtual ~TNativeImageList() = default;

  // Replaces any former list by a new empty one; false leaves no list.
  virtual bool Create(int width, int height, unsigned flags, int alloc_by) = 0;
  virtual void Release() = 0;
  virtual bool HasHandle() const = 0;
  virtual int Count() const = 0;
  virtual void Clear() = 0;

  // Creates an icon of width x height from the bytes of one icon image resource and appends
  // it; the index, or -1.
  virtual int AppendIcon(std::string_view icon_image, int width, int height) = 0;
  // Fills a work bitmap of the list's size with fill, stretches the bitmap file (none when
  // empty or undecodable) over it and appends it with transparent as mask colour; the index,
  // or -1.
  virtual int AppendBitmap(std::string_view bitmap_file, TColor fill, TColor transparent) = 0;
  virtual int Append(const TPixelImage& image) = 0;
  // The image drawn on black and its mask, at the list's size.
  virtual bool Extract(int index, TPixelImage& image) = 0;
  virtual bool Replace(int index, const TPixelImage& image) = 0;

  // The extended draw call at natural size; style holds the draw flags (kDraw*).
  virtual void Draw(HDC__* dc, int index, int x, int y, unsigned style, TColor background,
                    TColor foreground) = 0;
  // Draws a pixel image where its mask is opaque.
  virtual void DrawPixels(HDC__* dc, const TPixelImage& image, int x, int y) = 0;
};

using TNativeImageListFactory = std::function<std::unique_ptr<TNativeImageList>()>;

// The platform's native lists; on a platform without them the factory is empty.
TNativeImageListFactory PlatformImageListFactory();

// The system's button colours (the classic ones where the platform has none).
TButtonColors SystemButtonColors();

}  // namespace kv
