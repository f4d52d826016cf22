// The image lists on the real native lists, filled from this program's own resources (the
// program's icon groups and the test group XRGB, whose 16 x 16 images at 4, 8 and 32 bits are
// solid red, green and blue). Run under Wine on virtual screens of 24 and of 16 bits; each test
// skips on the screens it does not concern.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "ui/ZNTImageList.h"
#include "ui/ZNTModuleIcon_win32.h"

namespace kv {
namespace {

constexpr COLORREF kBackground = RGB(0x12, 0x34, 0x56);

int ScreenBits() {
  const HDC screen = ::GetDC(nullptr);
  const int bits = ::GetDeviceCaps(screen, BITSPIXEL);
  ::ReleaseDC(nullptr, screen);
  return bits;
}

// A 16 x 16 32-bit canvas on the test background.
class Canvas {
 public:
  Canvas() : dc_(::CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 16;
    info.bmiHeader.biHeight = -16;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    bitmap_ = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    old_ = ::SelectObject(dc_, bitmap_);
    const HBRUSH brush = ::CreateSolidBrush(kBackground);
    const RECT all{0, 0, 16, 16};
    ::FillRect(dc_, &all, brush);
    ::DeleteObject(brush);
  }
  ~Canvas() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  COLORREF At(int x, int y) const {
    ::GdiFlush();
    const std::uint32_t pixel = static_cast<const std::uint32_t*>(bits_)[y * 16 + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
  }

 private:
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

COLORREF Drawn(TImageList& list, int index, int x, int y, bool enabled = true) {
  Canvas canvas;
  list.Draw(canvas.dc(), 0, 0, index, TDrawingStyle::kNormal, TImageType::kImage, enabled);
  return canvas.At(x, y);
}

std::vector<COLORREF> AllDrawn(TImageList& list, int index) {
  Canvas canvas;
  list.Draw(canvas.dc(), 0, 0, index);
  std::vector<COLORREF> pixels;
  for (int i = 0; i < 256; ++i)
    pixels.push_back(canvas.At(i % 16, i / 16));
  return pixels;
}

// The platform's probe, but with alpha-capable lists whatever the common controls say.
class ForcedAlphaProbe final : public TScreenProbe {
 public:
  int DeviceBitsPerPixel() override { return real_->DeviceBitsPerPixel(); }
  bool CommonControlsHaveAlpha() override { return true; }
  void* UserLibraryModule() override { return real_->UserLibraryModule(); }

 private:
  std::unique_ptr<TScreenProbe> real_ = PlatformScreenProbe();
};

class NativeImageListTest : public testing::Test {
 protected:
  void TearDown() override { ReplaceScreenProbe(nullptr); }
  // XOPEN, a name found nowhere, XSAVE, the hot and the disabled look, the test group.
  void Fill() {
    list_.SetName("ZNTImageListResource");
    list_.SetResourceList({"XOPEN", "NOWHERE", "XSAVE", "!XOPEN!", "^XSAVE^", "XRGB"});
    list_.Loaded();
    list_.CreateHotImages();
    list_.CreateDisabledImages();
    ASSERT_EQ(list_.Count(), 6);
  }

  TZNTComponent form_;
  TZNTImageListResource list_{&form_};
};

// Colours of the drawings: XOPEN's folder at (6, 5), XSAVE's label at (5, 2) and its blue at
// (2, 6); the top-left pixel is transparent in both.
constexpr COLORREF kFolder = RGB(255, 204, 51);
constexpr COLORREF kLabel = RGB(255, 255, 255);
constexpr COLORREF kDiskBlue = RGB(0, 64, 192);

TEST_F(NativeImageListTest, DeepScreenGreyAndDarkerCompanions) {
  if (ScreenBits() < 24)
    GTEST_SKIP() << "needs a screen of 24 bits or more";
  Fill();
  ASSERT_EQ(list_.ImagePixelFormat(), TColorDepth::k24Bit);
  TImageList& hot = *list_.HotImages();
  TImageList& disabled = *list_.DisabledImages();
  struct Row {
    int index, x, y;
    COLORREF normal, hot, disabled;
  };
  const Row rows[] = {
      {0, 6, 5, kFolder, RGB(240, 189, 36), RGB(189, 189, 189)},
      {0, 0, 0, kBackground, kBackground, kBackground},
      {1, 6, 5, kBackground, kBackground, kBackground},  // found nowhere: transparent
      {2, 5, 2, kLabel, RGB(240, 240, 240), RGB(215, 215, 215)},
      {2, 2, 6, kDiskBlue, RGB(0, 49, 177), RGB(117, 117, 117)},
      {3, 6, 5, RGB(240, 189, 36), RGB(225, 174, 21), RGB(181, 181, 181)},
      {4, 2, 6, RGB(117, 117, 117), RGB(102, 102, 102), RGB(146, 146, 146)},
      {5, 8, 8, RGB(0, 255, 0), RGB(0, 240, 0), RGB(163, 163, 163)},  // the 8-bit image
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.index << " at " << row.x << ", " << row.y);
    EXPECT_EQ(Drawn(list_, row.index, row.x, row.y), row.normal);
    EXPECT_EQ(Drawn(hot, row.index, row.x, row.y), row.hot);
    EXPECT_EQ(Drawn(disabled, row.index, row.x, row.y), row.disabled);
    // A disabled draw of the list shows its disabled companion.
    EXPECT_EQ(Drawn(list_, row.index, row.x, row.y, false), row.disabled);
  }
}

TEST_F(NativeImageListTest, ForcedAlphaListsTakeThe32BitImages) {
  if (ScreenBits() != 32)
    GTEST_SKIP() << "needs a 32-bit screen";
  ReplaceScreenProbe(std::make_unique<ForcedAlphaProbe>());
  Fill();
  ASSERT_EQ(list_.ImagePixelFormat(), TColorDepth::k32Bit);
  EXPECT_EQ(Drawn(list_, 5, 8, 8), RGB(0, 0, 255));
  EXPECT_EQ(Drawn(*list_.HotImages(), 2, 5, 2), RGB(240, 240, 240));
  EXPECT_EQ(Drawn(*list_.DisabledImages(), 2, 5, 2), RGB(215, 215, 215));
  // The soft shadow of XSAVE at (15, 2): 96 opaque; in the hot look 30 more transparent, and as
  // drawn no colour above its alpha.
  TPixelImage normal(16, 16), hot(16, 16);
  ASSERT_TRUE(list_.Native().Extract(2, normal));
  ASSERT_TRUE(list_.HotImages()->Native().Extract(2, hot));
  const std::size_t shadow = (2 * 16 + 15) * 4;
  EXPECT_NEAR(normal.pixels[shadow + 3], 96, 1);
  EXPECT_NEAR(hot.pixels[shadow + 3], 66, 1);
  for (int c = 0; c < 3; ++c)
    EXPECT_LE(hot.pixels[shadow + c], hot.pixels[shadow + 3]);
}

// The companions are made from copies of the images; on alpha lists their partly transparent
// pixels (XSAVE's soft shadow at (15, 2)) equal the list's own hot and disabled looks.
TEST_F(NativeImageListTest, CompanionsEqualTheListsOwnLooks) {
  if (ScreenBits() != 32)
    GTEST_SKIP() << "needs a 32-bit screen";
  ReplaceScreenProbe(std::make_unique<ForcedAlphaProbe>());
  list_.SetResourceList({"XSAVE", "!XSAVE!", "^XSAVE^"});
  list_.Loaded();
  list_.CreateHotImages();
  list_.CreateDisabledImages();
  ASSERT_EQ(list_.ImagePixelFormat(), TColorDepth::k32Bit);
  struct Row {
    TImageList* companion;
    int own_look;
  };
  const Row rows[] = {{list_.HotImages(), 1}, {list_.DisabledImages(), 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.own_look);
    for (const auto& [x, y] : {std::pair{15, 2}, {5, 2}, {2, 6}})
      EXPECT_EQ(Drawn(*row.companion, 0, x, y), Drawn(list_, row.own_look, x, y));
  }
}

TEST_F(NativeImageListTest, ShallowScreenEmbossedDisabledAndUnchangedHot) {
  if (ScreenBits() >= 24)
    GTEST_SKIP() << "needs a screen below 24 bits";
  Fill();
  EXPECT_EQ(Drawn(list_, 5, 8, 8), RGB(0, 255, 0));  // icon bits 24 on 16 bits: the 8-bit image
  const TButtonColors colors = SystemButtonColors();
  for (int index = 0; index < list_.Count(); ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(AllDrawn(*list_.HotImages(), index), AllDrawn(list_, index));
    int highlight = 0, shadow = 0;
    for (COLORREF pixel : AllDrawn(*list_.DisabledImages(), index)) {
      const auto color = static_cast<TColor>(pixel);
      EXPECT_TRUE(pixel == kBackground || color == colors.face || color == colors.highlight ||
                  color == colors.shadow);
      highlight += color == colors.highlight;
      shadow += color == colors.shadow;
    }
    // The solid XRGB image is all shadow; the placeholder is empty.
    EXPECT_EQ(highlight > 0, index != 1 && index != 5);
    EXPECT_EQ(shadow > 0, index != 1);
  }
}

// A bitmap of the list's size is copied pixel for pixel, a larger one stretched over the fill:
// red left, blue right, a magenta (transparent) top-left corner, drawn at 16 and at 32 pixels.
TEST(NativeBitmap, CopiedOrStretchedAndMasked) {
  for (int size : {16, 32}) {
    SCOPED_TRACE(size);
    std::string dib(40, '\0');
    const auto put = [&dib](std::size_t at, std::uint32_t value, int bytes) {
      for (int i = 0; i < bytes; ++i)
        dib[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    put(0, 40, 4), put(4, size, 4), put(8, size, 4), put(12, 1, 2), put(14, 24, 2);
    for (int y = size - 1; y >= 0; --y) {
      for (int x = 0; x < size; ++x) {
        const int dx = x * 16 / size, dy = y * 16 / size;
        const std::uint32_t rgb = dx == 0 && dy == 0 ? 0xFF00FF : dx < 8 ? 0xFF0000 : 0x0000FF;
        dib += {static_cast<char>(rgb & 0xFF), static_cast<char>(rgb >> 8 & 0xFF),
                static_cast<char>(rgb >> 16)};
      }
    }
    const std::unique_ptr<TNativeImageList> native = PlatformImageListFactory()();
    ASSERT_TRUE(native->Create(16, 16, kListColor24 | kListMask, 4));
    ASSERT_EQ(native->AppendBitmap(MakeBitmapFile(dib), kColorFuchsia, kColorFuchsia), 0);
    ASSERT_EQ(native->AppendBitmap("", kColorFuchsia, kColorFuchsia), 1);
    TPixelImage image(16, 16), placeholder(16, 16);
    ASSERT_TRUE(native->Extract(0, image));
    ASSERT_TRUE(native->Extract(1, placeholder));
    const auto pixel = [&image](int x, int y) {
      const std::size_t i = static_cast<std::size_t>(y * 16 + x);
      return std::vector<int>{image.pixels[i * 4 + 2], image.pixels[i * 4 + 1], image.pixels[i * 4],
                              image.mask[i]};
    };
    EXPECT_EQ(pixel(0, 0)[3], 1);
    EXPECT_EQ(pixel(1, 0), (std::vector<int>{255, 0, 0, 0}));
    EXPECT_EQ(pixel(7, 15), (std::vector<int>{255, 0, 0, 0}));
    EXPECT_EQ(pixel(8, 0), (std::vector<int>{0, 0, 255, 0}));
    EXPECT_EQ(std::count(placeholder.mask.begin(), placeholder.mask.end(), 1), 256);
  }
}

TEST(ModuleIcon, StockAndOwnIconsLoad) {
  const HICON error = LoadModuleIcon(nullptr, IDI_ERROR, 32, 32);
  EXPECT_NE(error, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(::GetIconInfo(error, &info));
  BITMAP mask{};
  ::GetObjectW(info.hbmMask, sizeof(mask), &mask);
  EXPECT_EQ(mask.bmWidth, 32);
  ::DeleteObject(info.hbmMask);
  ::DeleteObject(info.hbmColor);
  ::DestroyIcon(error);

  const HICON open = LoadModuleIcon(::GetModuleHandleW(nullptr), L"XOPEN", 16, 16);
  ASSERT_NE(open, nullptr);
  Canvas canvas;
  ::DrawIconEx(canvas.dc(), 0, 0, open, 16, 16, 0, nullptr, DI_NORMAL);
  // Icons are device bitmaps: on a 16-bit screen the colour is rounded to it.
  const COLORREF folder = canvas.At(6, 5);
  EXPECT_NEAR(GetRValue(folder), GetRValue(kFolder), 8);
  EXPECT_NEAR(GetGValue(folder), GetGValue(kFolder), 8);
  EXPECT_NEAR(GetBValue(folder), GetBValue(kFolder), 8);
  EXPECT_EQ(canvas.At(0, 0), kBackground);
  ::DestroyIcon(open);
  EXPECT_EQ(LoadModuleIcon(nullptr, L"NOWHERE", 16, 16), nullptr);
}

}  // namespace
}  // namespace kv
