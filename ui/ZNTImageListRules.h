// The decisions of the resource image lists that are arithmetic, parsing or sequence rather than
// drawing: colour-depth classes and the screen rules, the resource-name markers, the icon-group
// directory and the choice of one of its images, the bitmap-file framing, the pixel transforms
// of the disabled and hot looks, and the draw decision. Plain C++, the same on every platform.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/NativeImageList.h"

namespace kv {

enum class TColorDepth { kDevice, k1Bit, k4Bit, k8Bit, k15Bit, k16Bit, k24Bit, k32Bit, kOther };

// Bits of a class: the device-dependent class and "other" count as 24.
int ColorDepthBits(TColorDepth depth);
// The class of a screen's bits per pixel: 1, 4, 8, 15, 16, 24, 32 by name, else kOther.
TColorDepth ColorDepthOfBits(int bits_per_pixel);

// The screen depth used to pick message-box icons: at least 4; 32 counts as 24 without
// alpha-capable image lists.
int ScreenIconBits(int device_bits_per_pixel, bool alpha_image_lists);

// Flags of the native list creation call.
inline constexpr unsigned kListMask = 0x1;      // ILC_MASK
inline constexpr unsigned kListColor24 = 0x18;  // ILC_COLOR24
inline constexpr unsigned kListColor32 = 0x20;  // ILC_COLOR32

struct TImageFormats {
  TColorDepth screen = TColorDepth::kDevice;
  TColorDepth image = TColorDepth::k24Bit;  // working format of the list: 24- or 32-bit
  TColorDepth icon = TColorDepth::kDevice;  // class used to pick icon images
};

// The pixel formats a list takes on a screen of the given class.
TImageFormats DecideImageFormats(TColorDepth screen, bool alpha_image_lists);
unsigned ImageListCreateFlags(TColorDepth image_format, bool masked);

// The bits an icon image may have at most for a list whose icon class is icon_format: 16
// becomes 24 and anything up to 8 becomes 4.
int IconBitsFor(TColorDepth icon_format);

enum class TResourceLook { kNormal, kHot, kDisabled };
struct TResourceLine {
  std::string name;
  TResourceLook look = TResourceLook::kNormal;
};
// A line of ResourceList: "!NAME!" asks for the hot look, "^NAME^" for the disabled look; any
// other line (also "!!" and "XAX") is a name as it stands.
TResourceLine ParseResourceLine(std::string_view line);

// The names of the companion lists: the list's name followed by "Dis" or "Hot".
std::string DisabledCompanionName(std::string_view list_name);
std::string HotCompanionName(std::string_view list_name);

// Resource types of the platform.
inline constexpr std::uint16_t kResourceBitmap = 2;
inline constexpr std::uint16_t kResourceIcon = 3;
inline constexpr std::uint16_t kResourceGroupIcon = 14;

// One 14-byte entry of an icon-group directory.
struct TIconDirEntry {
  int width = 0;  // the byte as stored
  int height = 0;
  int color_count = 0;
  int planes = 0;
  int bit_count = 0;
  std::uint32_t bytes_in_resource = 0;
  std::uint16_t icon_id = 0;
};
inline constexpr std::size_t kIconDirHeaderBytes = 6;
inline constexpr std::size_t kIconDirEntryBytes = 14;
// The entries of an icon-group directory that lie wholly inside data; the count of the header
// is believed only as far as the data reaches. Empty for data shorter than the header.
std::vector<TIconDirEntry> ParseIconGroup(std::string_view data);

// An icon image begins with a bitmap-information header; shorter data is no image.
inline constexpr std::size_t kBitmapInfoHeaderBytes = 40;
std::optional<int> IconImageBits(std::string_view icon_image);

// Finds the bytes of the icon image resource with the given identifier (none when missing).
using TIconImageLookup = std::function<std::optional<std::string_view>(std::uint16_t icon_id)>;
// The image of a group chosen for a list of width x height that shows at most bits per pixel:
// pass 0 looks at the entries of exactly that size, pass 1 at those of the nearest width; in a
// pass the best is the deepest image within bits (an exact match of size and depth ends the
// pass), else the first of the fewest bits. The bytes handed back never exceed the resource.
std::optional<std::string_view> ChooseIconImage(const std::vector<TIconDirEntry>& entries,
                                                const TIconImageLookup& lookup, int width,
                                                int height, int bits);

// The icon group of the system's user library that stands for a stock icon identifier
// (application, error, question, warning, information, system logo), or none.
std::optional<std::uint16_t> SystemIconGroup(std::uint32_t stock_id);

// Message-box icons: 32 pixels scaled from 96 to the screen's pixels per inch, rounded.
int ScaledIconSize(int pixels_per_inch);

// A bitmap resource framed as a bitmap file: "BM" and twelve zero bytes before its bytes.
inline constexpr std::size_t kBitmapFileHeaderBytes = 14;
std::string MakeBitmapFile(std::string_view bitmap_resource);
// Where the parts of a bitmap file lie; the pixel offset is computed from the header because the
// framing above leaves it zero.
struct TBitmapFileLayout {
  std::size_t info_offset = 0;  // the bitmap-information header and colour table
  std::size_t info_bytes = 0;
  std::size_t bits_offset = 0;
  std::size_t bits_bytes = 0;
  int width = 0;
  int height = 0;  // as stored: negative for top-down bitmaps
};
bool ReadBitmapFile(std::string_view file, TBitmapFileLayout& layout);

// Pixel transforms: red, green, blue and transparency (alpha), changed in place.
using TPixelTransform = std::function<void(std::uint8_t& red, std::uint8_t& green,
                                           std::uint8_t& blue, std::uint8_t& alpha)>;
using TImageTransform = std::function<void(TPixelImage& image)>;

inline constexpr int kHotDarkenStep = 15;
inline constexpr int kHotFadeStep = 30;
// Luminance mapped to the grey range 88 to 215; alpha is kept.
void GrayPixel(std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue, std::uint8_t& alpha);
// Opaque pixels 15 darker per channel; partly transparent ones 30 more transparent.
void DarkenPixel(std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue, std::uint8_t& alpha);

// The image's mask as the rows of a monochrome bitmap, top row first: each row padded to 16
// bits, a set bit transparent (white).
std::vector<std::uint8_t> MaskBitmapRows(const TPixelImage& image);
// The image's mask from such rows.
void ReadMaskBitmapRows(const std::vector<std::uint8_t>& rows, TPixelImage& image);

// Images without an alpha channel of their own (icons of 24 bits or fewer, drawn on an alpha list)
// get one: their opaque pixels count as fully opaque.
void FillMissingAlpha(TPixelImage& image);

// Pixels as the native list draws them on black (premultiplied by their alpha) made straight
// again, as the list takes them.
void StraightenPixels(TPixelImage& image);

// Calls transform on every pixel, top row first. With alpha the pixels are read as
// premultiplied (as the native list draws them), transformed as straight values and left
// straight, so that opaque pixels get the transform's exact numbers; without alpha the
// transform sees an opaque alpha and the alpha bytes are left alone.
void TransformPixels(TPixelImage& image, bool with_alpha, const TPixelTransform& transform);

// The embossed look of screens below 24 bits: the shape (the opaque, not white pixels) in the
// highlight colour one pixel down and right, over it the shape in the shadow colour, the rest in
// the face colour; the mask grows by the one-pixel offset.
void EmbossImage(TPixelImage& image, const TButtonColors& colors);

// Draw flags of the native draw call.
inline constexpr unsigned kDrawNormal = 0x0;
inline constexpr unsigned kDrawTransparent = 0x1;
inline constexpr unsigned kDrawFocus = 0x2;
inline constexpr unsigned kDrawSelected = 0x4;
inline constexpr unsigned kDrawMask = 0x10;

enum class TDrawingStyle { kFocus, kSelected, kNormal, kTransparent };
enum class TImageType { kImage, kMask };
unsigned DrawStyleFlags(TDrawingStyle style, TImageType type);

enum class TDrawChoice { kNothing, kDisabledCompanion, kBase };
// A disabled image comes from the disabled companion when there is one with as many images
// (disabled_count -1: none).
TDrawChoice ChooseDraw(bool has_handle, bool enabled, int count, int disabled_count);

}  // namespace kv
