#include "ui/ZNTImageListRules.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace kv {
namespace {

// An icon image: a bitmap-information header whose bits-per-pixel field says bits.
std::string IconImage(int bits, std::size_t size = kBitmapInfoHeaderBytes + 8) {
  std::string image(size, '\0');
  image[0] = 40;
  image[14] = static_cast<char>(bits);
  return image;
}

void PutU16(std::string& out, int value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

struct GroupEntry {
  int width;
  int bits;
  std::uint16_t id;
  std::uint32_t bytes;
};

std::string IconGroup(const std::vector<GroupEntry>& entries, int count_override = -1) {
  std::string group;
  PutU16(group, 0);
  PutU16(group, 1);
  PutU16(group, count_override >= 0 ? count_override : static_cast<int>(entries.size()));
  for (const GroupEntry& e : entries) {
    group.push_back(static_cast<char>(e.width));
    group.push_back(static_cast<char>(e.width));
    group.append(2, '\0');
    PutU16(group, 1);
    PutU16(group, e.bits);
    for (int i = 0; i < 4; ++i)
      group.push_back(static_cast<char>((e.bytes >> (8 * i)) & 0xFF));
    PutU16(group, e.id);
  }
  return group;
}

TEST(ImageListFormats, ScreenClassesDecideListIconAndMessageBoxDepths) {
  struct Row {
    int screen_bits;
    bool alpha;
    TColorDepth image;
    unsigned flags;
    int icon_bits;
    int message_icon_bits;
  };
  const Row rows[] = {
      {32, true, TColorDepth::k32Bit, 0x21, 32, 32},
      {32, false, TColorDepth::k24Bit, 0x19, 24, 24},
      {24, true, TColorDepth::k24Bit, 0x19, 24, 24},
      {16, false, TColorDepth::k24Bit, 0x19, 24, 16},
      {15, false, TColorDepth::k24Bit, 0x19, 15, 15},
      {8, false, TColorDepth::k24Bit, 0x19, 4, 8},
      {4, false, TColorDepth::k24Bit, 0x19, 4, 4},
      {1, false, TColorDepth::k24Bit, 0x19, 4, 4},
      {2, false, TColorDepth::k24Bit, 0x19, 24, 4},  // unknown depth: class "other", 24 bits
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.screen_bits);
    const TImageFormats formats = DecideImageFormats(ColorDepthOfBits(row.screen_bits), row.alpha);
    EXPECT_EQ(formats.image, row.image);
    EXPECT_EQ(ImageListCreateFlags(formats.image, true), row.flags);
    EXPECT_EQ(IconBitsFor(formats.icon), row.icon_bits);
    EXPECT_EQ(ScreenIconBits(row.screen_bits, row.alpha), row.message_icon_bits);
  }
  EXPECT_EQ(ImageListCreateFlags(TColorDepth::k32Bit, false), 0x20u);
}

TEST(ImageListIcons, ChoiceFollowsSizeAndDepthWithFallback) {
  // Like the program's groups: 16 x 16 at 4, 8 and 32 bits, then 32 x 32 and 48 x 48.
  const std::vector<GroupEntry> program = {{16, 4, 1, 49}, {16, 8, 2, 49},  {16, 32, 3, 49},
                                           {32, 8, 4, 49}, {32, 32, 5, 49}, {48, 32, 6, 49}};
  const std::vector<GroupEntry> deep_only = {{32, 32, 7, 49}, {32, 8, 8, 49}, {16, 24, 9, 49}};
  struct Row {
    const std::vector<GroupEntry>* group;
    int size;
    int bits;
    int expected_id;  // 0: none
  };
  const Row rows[] = {
      {&program, 16, 32, 3},    // 32-bit screen, alpha lists: the 32-bit image at once
      {&program, 16, 24, 2},    // 32-bit screen without alpha lists, 16-bit screen: 8-bit
      {&program, 16, 15, 2},    // 15-bit screen
      {&program, 16, 4, 1},     // 8 bits or fewer
      {&program, 20, 24, 2},    // no 20 x 20: the nearest width (16) is scaled
      {&program, 40, 32, 5},    // 32 and 48 are equally near: the first deepest of both
      {&program, 48, 8, 6},     // nothing within 8 bits at 48: the fewest bits
      {&deep_only, 16, 4, 9},   // only a 24-bit image of the size: taken as fallback
      {&deep_only, 32, 4, 8},   // fallback is the first entry of the fewest bits
      {&deep_only, 20, 24, 9},  // nearest width 16
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.size << " at " << row.bits);
    std::map<std::uint16_t, std::string> images;
    for (const GroupEntry& e : *row.group)
      images[e.id] = IconImage(e.bits) + static_cast<char>(e.id);
    const auto lookup = [&images](std::uint16_t id) -> std::optional<std::string_view> {
      auto found = images.find(id);
      if (found == images.end())
        return std::nullopt;
      return std::string_view(found->second);
    };
    const auto chosen = ChooseIconImage(ParseIconGroup(IconGroup(*row.group)), lookup, row.size,
                                        row.size, row.bits);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(static_cast<int>(chosen->back()), row.expected_id);
  }
}

TEST(ImageListIcons, MalformedGroupsAreReadWithinTheirBytes) {
  // The count claims four entries but the data holds two and a half.
  std::string group = IconGroup({{16, 8, 1, 1000}, {16, 4, 2, 20}, {16, 32, 3, 48}}, 4);
  group.resize(group.size() - 7);
  const std::vector<TIconDirEntry> entries = ParseIconGroup(group);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(ParseIconGroup(std::string(5, '\0')).empty());

  const std::string full = IconImage(8);
  const std::string short_image = IconImage(4, kBitmapInfoHeaderBytes - 1);
  const auto lookup = [&](std::uint16_t id) -> std::optional<std::string_view> {
    if (id == 1)
      return std::string_view(full);
    if (id == 2)
      return std::string_view(short_image);
    return std::nullopt;
  };
  // Entry 2 is too short for a header and is skipped; entry 1 claims 1000 bytes but the platform
  // gets only the bytes the resource holds.
  const auto chosen = ChooseIconImage(entries, lookup, 16, 16, 4);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->size(), full.size());
  EXPECT_EQ(chosen->data(), full.data());
  EXPECT_FALSE(IconImageBits(short_image).has_value());
  // A directory size below the image's is believed.
  const auto trimmed = ChooseIconImage({{16, 16, 0, 1, 8, 41, 1}}, lookup, 16, 16, 8);
  ASSERT_TRUE(trimmed.has_value());
  EXPECT_EQ(trimmed->size(), 41u);
  EXPECT_FALSE(ChooseIconImage({}, lookup, 16, 16, 8).has_value());
}

TEST(ImageListNames, MarkersAndCompanionNames) {
  struct Row {
    const char* line;
    const char* name;
    TResourceLook look;
  };
  const Row rows[] = {
      {"!XOPEN!", "XOPEN", TResourceLook::kHot}, {"^XOPEN^", "XOPEN", TResourceLook::kDisabled},
      {"!!", "!!", TResourceLook::kNormal},      {"XAX", "XAX", TResourceLook::kNormal},
      {"!X!", "X", TResourceLook::kHot},         {"!XOPEN^", "!XOPEN^", TResourceLook::kNormal},
      {"", "", TResourceLook::kNormal},          {"^^^", "^", TResourceLook::kDisabled},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const TResourceLine parsed = ParseResourceLine(row.line);
    EXPECT_EQ(parsed.name, row.name);
    EXPECT_EQ(parsed.look, row.look);
  }
  EXPECT_EQ(DisabledCompanionName("Images"), "ImagesDis");
  EXPECT_EQ(HotCompanionName("Images"), "ImagesHot");
}

TEST(ImageListIcons, MessageIconSizeFollowsPixelsPerInch) {
  EXPECT_FALSE(SystemIconGroup(32511).has_value());
  EXPECT_FALSE(SystemIconGroup(32518).has_value());
  const std::pair<int, int> sizes[] = {{96, 32}, {120, 40}, {144, 48}, {100, 33}, {105, 35}};
  for (const auto& [dpi, size] : sizes)
    EXPECT_EQ(ScaledIconSize(dpi), size) << dpi;
}

TEST(ImageListLooks, GrayAndDarkenPixels) {
  std::set<int> grays;
  for (int value = 0; value < 256; value += 5) {
    for (std::uint8_t alpha : {std::uint8_t{0}, std::uint8_t{77}, std::uint8_t{255}}) {
      std::uint8_t r = static_cast<std::uint8_t>(value), g = static_cast<std::uint8_t>(255 - value),
                   b = static_cast<std::uint8_t>(value / 2), a = alpha;
      GrayPixel(r, g, b, a);
      EXPECT_TRUE(r == g && g == b && r >= 88 && r <= 215);
      EXPECT_EQ(a, alpha);
      grays.insert(r);
    }
  }
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
  GrayPixel(r, g, b, a);
  EXPECT_EQ(r, 88);
  r = g = b = 255;
  GrayPixel(r, g, b, a);
  EXPECT_EQ(r, 215);

  struct Row {
    std::uint8_t in[4];
    std::uint8_t out[4];
  };
  const Row rows[] = {{{100, 50, 10, 255}, {85, 35, 0, 255}},
                      {{100, 50, 10, 200}, {100, 50, 10, 170}},
                      {{100, 50, 10, 20}, {100, 50, 10, 0}}};
  for (const Row& row : rows) {
    std::uint8_t p[4] = {row.in[0], row.in[1], row.in[2], row.in[3]};
    DarkenPixel(p[0], p[1], p[2], p[3]);
    EXPECT_EQ(std::vector<int>(p, p + 4), std::vector<int>(row.out, row.out + 4));
  }
}

TEST(ImageListLooks, AlphaPixelsAreTransformedAsStraightValues) {
  // Pixels as drawn by the list: premultiplied. Opaque ones get the exact numbers.
  TPixelImage image(3, 1);
  const std::uint8_t premultiplied[] = {200, 100, 50, 255, 60, 60, 60, 120, 9, 9, 9, 0};
  std::copy(std::begin(premultiplied), std::end(premultiplied), image.pixels.begin());
  TransformPixels(image, true, DarkenPixel);
  EXPECT_EQ(std::vector<int>(image.pixels.begin(), image.pixels.end()),
            (std::vector<int>{185, 85, 35, 255, 128, 128, 128, 90, 0, 0, 0, 0}));
  // Without alpha the transform sees opaque pixels and the fourth byte is left alone.
  TPixelImage plain(1, 1);
  plain.pixels = {200, 100, 50, 7};
  TransformPixels(plain, false, DarkenPixel);
  EXPECT_EQ(std::vector<int>(plain.pixels.begin(), plain.pixels.end()),
            (std::vector<int>{185, 85, 35, 7}));
}

TEST(ImageListLooks, EmbossDrawsShapeInHighlightAndShadowOnFace) {
  // 4 x 4: an opaque red pixel at (1, 1), an opaque white one at (2, 2), the rest transparent.
  TPixelImage image(4, 4);
  const auto set = [&image](int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    const std::size_t i = static_cast<std::size_t>(y * 4 + x);
    image.pixels[i * 4] = b;
    image.pixels[i * 4 + 1] = g;
    image.pixels[i * 4 + 2] = r;
    image.mask[i] = 0;
  };
  set(1, 1, 0, 0, 255);
  set(2, 2, 255, 255, 255);
  const TButtonColors colors{0x00C0C0C0, 0x00FFFFFF, 0x00808080};
  EmbossImage(image, colors);
  std::string drawn;
  for (int i = 0; i < 16; ++i) {
    const std::uint8_t blue = image.pixels[static_cast<std::size_t>(i) * 4];
    drawn += blue == 0xC0 ? 'f' : blue == 0xFF ? 'h' : blue == 0x80 ? 's' : '?';
    drawn += image.mask[static_cast<std::size_t>(i)] ? '.' : 'o';
  }
  // Shadow on the red pixel, highlight one down and right (over the white one), face elsewhere;
  // the opaque area now includes the highlight.
  EXPECT_EQ(drawn,
            "f.f.f.f."
            "f.sof.f."
            "f.f.hof."
            "f.f.f.fo");
}

TEST(ImageListBitmaps, MaskRowsArePaddedToSixteenBits) {
  TPixelImage image(17, 2);  // transparent but for (0, 0) and (16, 1)
  image.mask[0] = 0;
  image.mask[17 + 16] = 0;
  const std::vector<std::uint8_t> rows = MaskBitmapRows(image);
  EXPECT_EQ(rows, (std::vector<std::uint8_t>{0x7F, 0xFF, 0x80, 0, 0xFF, 0xFF, 0, 0}));
  TPixelImage read(17, 2);
  ReadMaskBitmapRows(rows, read);
  EXPECT_EQ(read.mask, image.mask);
}

TEST(ImageListBitmaps, BitmapFileFramingAndLayout) {
  // A 3 x 2 bitmap at 8 bits with a two-colour table.
  std::string dib(40, '\0');
  dib[0] = 40;
  dib[4] = 3;
  dib[8] = 2;
  dib[12] = 1;
  dib[14] = 8;
  dib[32] = 2;
  dib.append(8, '\x11');  // colour table
  dib.append(8, '\x22');  // two rows of 4 bytes
  const std::string file = MakeBitmapFile(dib);
  EXPECT_EQ(file.substr(0, 14), std::string("BM") + std::string(12, '\0'));
  TBitmapFileLayout layout;
  ASSERT_TRUE(ReadBitmapFile(file, layout));
  EXPECT_EQ(layout.info_bytes, 48u);
  EXPECT_EQ(layout.bits_offset, 62u);
  EXPECT_EQ(layout.bits_bytes, 8u);
  EXPECT_EQ(layout.width, 3);
  EXPECT_FALSE(ReadBitmapFile(file.substr(0, file.size() - 1), layout));
  EXPECT_FALSE(ReadBitmapFile(MakeBitmapFile(dib.substr(0, 30)), layout));
  std::string huge = dib;
  huge[4] = '\x7F';
  huge[7] = '\x7F';  // an enormous width must not wrap the size arithmetic
  EXPECT_FALSE(ReadBitmapFile(MakeBitmapFile(huge), layout));

  // 3 x 2 at 32 bits with colour masks: two rows of 12 bytes after the masks, whatever the
  // header's image size says.
  struct Row {
    char compression;
    std::size_t mask_bytes;
    std::size_t pixel_bytes;
    bool read;
  };
  const Row rows[] = {{3, 12, 24, true},
                      {3, 12, 23, false},
                      {6, 16, 24, true},
                      {6, 16, 23, false},
                      {6, 12, 24, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << int{row.compression} << " " << row.pixel_bytes);
    std::string masked(40, '\0');
    masked[0] = 40, masked[4] = 3, masked[8] = 2, masked[12] = 1, masked[14] = 32;
    masked[16] = row.compression;
    masked[20] = 4;  // a short image size is not believed
    masked += std::string(row.mask_bytes, '\xFF') + std::string(row.pixel_bytes, '\x33');
    ASSERT_EQ(ReadBitmapFile(MakeBitmapFile(masked), layout), row.read);
    if (row.read) {
      EXPECT_EQ(layout.bits_offset, 14 + 40 + row.mask_bytes);
      EXPECT_EQ(layout.bits_bytes, 24u);
    }
  }
}

}  // namespace
}  // namespace kv
