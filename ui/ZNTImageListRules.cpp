#include "ui/ZNTImageListRules.h"

#include <algorithm>
#include <cstdlib>

#include "base/ByteReader.h"
#include "ui/ScreenRect.h"

namespace kv {

namespace {

constexpr int kMinScreenIconBits = 4;
constexpr std::size_t kBitsPerPixelOffset = 14;
constexpr std::uint32_t kStockIdApplication = 32512;
constexpr std::uint32_t kStockIdLast = 32517;
constexpr std::uint16_t kSystemIconGroups[] = {100, 103, 102, 101, 104, 105};

// Bitmap-information header fields (little-endian).
constexpr std::uint32_t kCompressionRgb = 0;
constexpr std::uint32_t kCompressionBitFields = 3;
constexpr std::uint32_t kCompressionAlphaBitFields = 6;
// The colour masks after a 40-byte header: red, green and blue; with alpha, four.
constexpr std::size_t kBitFieldsMaskBytes = 12;
constexpr std::size_t kAlphaBitFieldsMaskBytes = 16;

std::uint8_t ClampedSubtract(std::uint8_t value, int step) {
  return static_cast<std::uint8_t>(std::max(0, value - step));
}

std::size_t PixelCount(const TPixelImage& image) {
  return static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Height);
}

}  // namespace

int ColorDepthBits(TColorDepth depth) {
  switch (depth) {
    case TColorDepth::k1Bit:
      return 1;
    case TColorDepth::k4Bit:
      return 4;
    case TColorDepth::k8Bit:
      return 8;
    case TColorDepth::k15Bit:
      return 15;
    case TColorDepth::k16Bit:
      return 16;
    case TColorDepth::k32Bit:
      return 32;
    case TColorDepth::kDevice:
    case TColorDepth::k24Bit:
    case TColorDepth::kOther:
      break;
  }
  return 24;
}

TColorDepth ColorDepthOfBits(int bits_per_pixel) {
  switch (bits_per_pixel) {
    case 1:
      return TColorDepth::k1Bit;
    case 4:
      return TColorDepth::k4Bit;
    case 8:
      return TColorDepth::k8Bit;
    case 15:
      return TColorDepth::k15Bit;
    case 16:
      return TColorDepth::k16Bit;
    case 24:
      return TColorDepth::k24Bit;
    case 32:
      return TColorDepth::k32Bit;
    default:
      return TColorDepth::kOther;
  }
}

int ScreenIconBits(int device_bits_per_pixel, bool alpha_image_lists) {
  const int bits = std::max(device_bits_per_pixel, kMinScreenIconBits);
  return bits == 32 && !alpha_image_lists ? 24 : bits;
}

TImageFormats DecideImageFormats(TColorDepth screen, bool alpha_image_lists) {
  TImageFormats formats;
  formats.Screen = screen;
  formats.Image = screen == TColorDepth::k32Bit && alpha_image_lists ? TColorDepth::k32Bit
                                                                     : TColorDepth::k24Bit;
  formats.Icon = screen == TColorDepth::k32Bit && formats.Image == TColorDepth::k24Bit
                     ? TColorDepth::k24Bit
                     : screen;
  return formats;
}

unsigned ImageListCreateFlags(TColorDepth image_format, bool masked) {
  const unsigned color = image_format == TColorDepth::k32Bit ? kListColor32 : kListColor24;
  return masked ? color | kListMask : color;
}

int IconBitsFor(TColorDepth icon_format) {
  const int bits = ColorDepthBits(icon_format);
  if (bits == 16)
    return 24;
  return bits <= 8 ? 4 : bits;
}

TResourceLine ParseResourceLine(std::string_view line) {
  TResourceLine result{std::string(line), TResourceLook::kNormal};
  if (line.size() <= 2 || line.front() != line.back())
    return result;
  if (line.front() == '!')
    result.Look = TResourceLook::kHot;
  else if (line.front() == '^')
    result.Look = TResourceLook::kDisabled;
  else
    return result;
  result.Name = std::string(line.substr(1, line.size() - 2));
  return result;
}

std::string DisabledCompanionName(std::string_view list_name) {
  return std::string(list_name) + "Dis";
}

std::string HotCompanionName(std::string_view list_name) {
  return std::string(list_name) + "Hot";
}

std::vector<TIconDirEntry> ParseIconGroup(std::string_view data) {
  std::vector<TIconDirEntry> entries;
  ByteReader reader(data);
  std::uint16_t reserved = 0;
  std::uint16_t type = 0;
  std::uint16_t count = 0;
  if (!reader.ReadU16LE(reserved) || !reader.ReadU16LE(type) || !reader.ReadU16LE(count))
    return entries;
  for (std::uint16_t i = 0; i < count && reader.Remaining() >= kIconDirEntryBytes; ++i) {
    std::uint8_t width = 0, height = 0, colors = 0, unused = 0;
    std::uint16_t planes = 0, bits = 0, id = 0;
    std::uint32_t bytes = 0;
    reader.ReadU8(width);
    reader.ReadU8(height);
    reader.ReadU8(colors);
    reader.ReadU8(unused);
    reader.ReadU16LE(planes);
    reader.ReadU16LE(bits);
    reader.ReadU32LE(bytes);
    reader.ReadU16LE(id);
    entries.push_back({width, height, colors, planes, bits, bytes, id});
  }
  return entries;
}

std::optional<int> IconImageBits(std::string_view icon_image) {
  ByteReader reader(icon_image);
  std::uint16_t bits = 0;
  if (icon_image.size() < kBitmapInfoHeaderBytes || !reader.Seek(kBitsPerPixelOffset) ||
      !reader.ReadU16LE(bits)) {
    return std::nullopt;
  }
  return bits;
}

std::optional<std::string_view> ChooseIconImage(const std::vector<TIconDirEntry>& entries,
                                                const TIconImageLookup& lookup, int width,
                                                int height, int bits) {
  struct Candidate {
    std::string_view Image;
    int Bits;
  };
  int best_distance = -1;
  for (int pass = 0; pass < 2; ++pass) {
    std::optional<Candidate> best;
    std::optional<Candidate> fallback;
    for (const TIconDirEntry& entry : entries) {
      const int distance = std::abs(entry.Width - width);
      if (pass == 0) {
        if (best_distance < 0 || distance < best_distance)
          best_distance = distance;
        if (entry.Width != width || entry.Height != height)
          continue;
      } else if (distance > best_distance) {
        continue;
      }
      const std::optional<std::string_view> found = lookup(entry.IconId);
      const std::optional<int> image_bits = found ? IconImageBits(*found) : std::nullopt;
      if (!image_bits)
        continue;
      // The directory's size of the image, but never more than the resource holds.
      const std::string_view image =
          found->substr(0, std::min<std::size_t>(found->size(), entry.BytesInResource));
      if (*image_bits <= bits && *image_bits > (best ? best->Bits : 0)) {
        best = Candidate{image, *image_bits};
        if (distance == 0 && *image_bits == bits)
          break;
      }
      if (!fallback || *image_bits < fallback->Bits)
        fallback = Candidate{image, *image_bits};
    }
    if (best)
      return best->Image;
    if (fallback)
      return fallback->Image;
  }
  return std::nullopt;
}

std::optional<std::uint16_t> SystemIconGroup(std::uint32_t stock_id) {
  if (stock_id < kStockIdApplication || stock_id > kStockIdLast)
    return std::nullopt;
  return kSystemIconGroups[stock_id - kStockIdApplication];
}

int ScaledIconSize(int pixels_per_inch) {
  constexpr int kDesignIconSize = 32;
  return (kDesignIconSize * pixels_per_inch + kDesignPixelsPerInch / 2) / kDesignPixelsPerInch;
}

std::string MakeBitmapFile(std::string_view bitmap_resource) {
  std::string file("BM");
  file.append(kBitmapFileHeaderBytes - 2, '\0');
  file.append(bitmap_resource);
  return file;
}

bool ReadBitmapFile(std::string_view file, TBitmapFileLayout& layout) {
  ByteReader reader(file);
  std::string_view magic;
  if (!reader.ReadBytes(2, magic) || magic != "BM" || !reader.Seek(kBitmapFileHeaderBytes))
    return false;
  std::uint32_t header_bytes = 0;
  std::int32_t width = 0, height = 0;
  std::uint16_t planes = 0, bits = 0;
  std::uint32_t compression = 0, image_bytes = 0, colors_used = 0;
  if (!reader.ReadU32LE(header_bytes) || header_bytes < kBitmapInfoHeaderBytes ||
      header_bytes > reader.Size() || !reader.ReadI32LE(width) || !reader.ReadI32LE(height) ||
      !reader.ReadU16LE(planes) || !reader.ReadU16LE(bits) || !reader.ReadU32LE(compression) ||
      !reader.ReadU32LE(image_bytes) || !reader.Skip(8) || !reader.ReadU32LE(colors_used)) {
    return false;
  }
  if (width <= 0 || height == 0 || height == INT32_MIN || planes != 1 || bits == 0 || bits > 32)
    return false;
  std::uint64_t colors = colors_used;
  if (colors == 0 && bits <= 8)
    colors = std::uint64_t{1} << bits;
  std::uint64_t info = std::uint64_t{header_bytes} + colors * 4;
  if (header_bytes == kBitmapInfoHeaderBytes && compression == kCompressionBitFields)
    info += kBitFieldsMaskBytes;
  if (header_bytes == kBitmapInfoHeaderBytes && compression == kCompressionAlphaBitFields)
    info += kAlphaBitFieldsMaskBytes;
  const std::uint64_t rows = static_cast<std::uint64_t>(std::abs(std::int64_t{height}));
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
  // Uncompressed rows, plain or with colour masks, are read as stride x rows bytes whatever the
  // header says; only run-length data has its size from the header.
  const bool uncompressed = compression == kCompressionRgb ||
                            compression == kCompressionBitFields ||
                            compression == kCompressionAlphaBitFields;
  const std::uint64_t bits_bytes = uncompressed ? stride * rows : image_bytes;
  const std::uint64_t available = file.size() - kBitmapFileHeaderBytes;
  if (info > available || bits_bytes == 0 || bits_bytes > available - info)
    return false;
  layout.InfoOffset = kBitmapFileHeaderBytes;
  layout.InfoBytes = static_cast<std::size_t>(info);
  layout.BitsOffset = kBitmapFileHeaderBytes + static_cast<std::size_t>(info);
  layout.BitsBytes = static_cast<std::size_t>(bits_bytes);
  layout.Width = width;
  layout.Height = height;
  return true;
}

void GrayPixel(std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue, std::uint8_t&) {
  const int luminance = (77 * red + 151 * green + 28 * blue) >> 8;
  const auto gray = static_cast<std::uint8_t>((luminance + 176) >> 1);
  red = green = blue = gray;
}

void DarkenPixel(std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue, std::uint8_t& alpha) {
  if (alpha == 255) {
    red = ClampedSubtract(red, kHotDarkenStep);
    green = ClampedSubtract(green, kHotDarkenStep);
    blue = ClampedSubtract(blue, kHotDarkenStep);
  } else {
    alpha = ClampedSubtract(alpha, kHotFadeStep);
  }
}

std::vector<std::uint8_t> MaskBitmapRows(const TPixelImage& image) {
  const std::size_t stride = (static_cast<std::size_t>(image.Width) + 15) / 16 * 2;
  std::vector<std::uint8_t> rows(stride * static_cast<std::size_t>(image.Height), 0);
  for (int y = 0; y < image.Height; ++y) {
    for (int x = 0; x < image.Width; ++x) {
      if (image.Mask[static_cast<std::size_t>(y) * image.Width + x])
        rows[y * stride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
  }
  return rows;
}

void ReadMaskBitmapRows(const std::vector<std::uint8_t>& rows, TPixelImage& image) {
  const std::size_t stride = (static_cast<std::size_t>(image.Width) + 15) / 16 * 2;
  for (int y = 0; y < image.Height; ++y) {
    for (int x = 0; x < image.Width; ++x) {
      const std::size_t at = y * stride + x / 8;
      image.Mask[static_cast<std::size_t>(y) * image.Width + x] =
          at < rows.size() && (rows[at] & (0x80 >> (x % 8))) ? 1 : 0;
    }
  }
}

void FillMissingAlpha(TPixelImage& image) {
  for (std::size_t i = 0; i < PixelCount(image); ++i) {
    if (image.Pixels[i * 4 + 3] != 0)
      return;
  }
  for (std::size_t i = 0; i < PixelCount(image); ++i)
    image.Pixels[i * 4 + 3] = image.Mask[i] ? 0 : 255;
}

void StraightenPixels(TPixelImage& image) {
  for (std::size_t i = 0; i < PixelCount(image); ++i) {
    std::uint8_t* pixel = &image.Pixels[i * 4];
    const int alpha = pixel[3];
    for (int c = 0; c < 3; ++c) {
      const int straight = alpha == 0 ? 0 : (pixel[c] * 255 + alpha / 2) / alpha;
      pixel[c] = static_cast<std::uint8_t>(std::min(straight, 255));
    }
  }
}

void TransformPixels(TPixelImage& image, bool with_alpha, const TPixelTransform& transform) {
  std::uint8_t opaque = 255;
  if (with_alpha)
    StraightenPixels(image);
  for (std::size_t i = 0; i < PixelCount(image); ++i) {
    std::uint8_t* pixel = &image.Pixels[i * 4];
    transform(pixel[2], pixel[1], pixel[0], with_alpha ? pixel[3] : opaque);
  }
}

void EmbossImage(TPixelImage& image, const TButtonColors& colors) {
  const int w = image.Width;
  const int h = image.Height;
  // The shape: pixels that are opaque and not white.
  std::vector<bool> shape(PixelCount(image));
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const std::uint8_t* pixel = &image.Pixels[i * 4];
    const bool white = pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255;
    shape[i] = image.Mask[i] == 0 && !white;
  }
  const auto paint = [&](std::size_t i, TColor color) {
    image.Pixels[i * 4 + 0] = static_cast<std::uint8_t>((color >> 16) & 0xFF);
    image.Pixels[i * 4 + 1] = static_cast<std::uint8_t>((color >> 8) & 0xFF);
    image.Pixels[i * 4 + 2] = static_cast<std::uint8_t>(color & 0xFF);
    image.Pixels[i * 4 + 3] = 255;
  };
  const auto at = [w](int x, int y) {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
  };
  for (std::size_t i = 0; i < shape.size(); ++i)
    paint(i, colors.Face);
  for (int y = 1; y < h; ++y) {
    for (int x = 1; x < w; ++x) {
      if (shape[at(x - 1, y - 1)])
        paint(at(x, y), colors.Highlight);
    }
  }
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i])
      paint(i, colors.Shadow);
  }
  // The opaque area grows by the highlight's offset: bottom-right rows first, so every pixel
  // still reads its neighbour's former value.
  for (int y = h - 1; y >= 1; --y) {
    for (int x = w - 1; x >= 1; --x)
      image.Mask[at(x, y)] &= image.Mask[at(x - 1, y - 1)];
  }
}

unsigned DrawStyleFlags(TDrawingStyle style, TImageType type) {
  unsigned flags = kDrawNormal;
  switch (style) {
    case TDrawingStyle::kFocus:
      flags = kDrawFocus;
      break;
    case TDrawingStyle::kSelected:
      flags = kDrawSelected;
      break;
    case TDrawingStyle::kNormal:
      break;
    case TDrawingStyle::kTransparent:
      flags = kDrawTransparent;
      break;
  }
  return type == TImageType::kMask ? flags | kDrawMask : flags;
}

TDrawChoice ChooseDraw(bool has_handle, bool enabled, int count, int disabled_count) {
  if (!has_handle)
    return TDrawChoice::kNothing;
  return !enabled && disabled_count == count ? TDrawChoice::kDisabledCompanion : TDrawChoice::kBase;
}

}  // namespace kv
