// TZNTImageList and TZNTImageListResource over an in-memory native list, a scripted screen and
// a resource table: the reload sequence, the companions, the error texts and every teardown
// order of the non-owning links (run under AddressSanitizer in the asan build).
#include "ui/ZNTImageList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace kv {
namespace {

struct FakeScreen {
  int bits = 32;
  bool alpha = false;
  bool fail_create = false;
};
FakeScreen screen;

class FakeProbe final : public TScreenProbe {
 public:
  int DeviceBitsPerPixel() override { return screen.bits; }
  bool CommonControlsHaveAlpha() override { return screen.alpha; }
  void* UserLibraryModule() override { return nullptr; }
};

// Icons come out as solid images whose grey value is the last byte of the chosen image, with a
// transparent top-left pixel; bitmaps as solid images of the value 7.
class FakeNativeList final : public TNativeImageList {
 public:
  explicit FakeNativeList(std::vector<std::string>* log) : log_(log) {}
  bool Create(int width, int height, unsigned flags, int) override {
    images.clear();
    flags_ = flags;
    width_ = width;
    height_ = height;
    handle_ = !screen.fail_create;
    return handle_;
  }
  void Release() override { handle_ = false; }
  bool HasHandle() const override { return handle_; }
  int Count() const override { return static_cast<int>(images.size()); }
  void Clear() override { images.clear(); }
  int AppendIcon(std::string_view image, int width, int height) override {
    if (image.find("FAIL") != std::string_view::npos)
      return -1;
    return Push(Solid(width, height, static_cast<std::uint8_t>(image.back()), 0));
  }
  int AppendBitmap(std::string_view file, TColor fill, TColor transparent) override {
    if (!file.empty())
      return Push(Solid(width_, height_, 7, 0));
    TPixelImage image = Solid(width_, height_, 0, 0);
    for (std::size_t i = 0; i < image.mask.size(); ++i) {
      image.pixels[i * 4] = static_cast<std::uint8_t>(fill >> 16);
      image.pixels[i * 4 + 1] = static_cast<std::uint8_t>(fill >> 8);
      image.pixels[i * 4 + 2] = static_cast<std::uint8_t>(fill);
      image.mask[i] = fill == transparent ? 1 : 0;
    }
    return Push(image);
  }
  int Append(const TPixelImage& image) override { return Push(image); }
  bool Extract(int index, TPixelImage& image) override {
    if (index < 0 || index >= Count())
      return false;
    image = images[static_cast<std::size_t>(index)];
    return true;
  }
  bool Replace(int index, const TPixelImage& image) override {
    if (index < 0 || index >= Count())
      return false;
    images[static_cast<std::size_t>(index)] = image;
    return true;
  }
  void Draw(HDC__*, int index, int, int, unsigned, TColor, TColor) override {
    log_->push_back("draw " + std::to_string(flags_) + " " + std::to_string(index));
  }
  void DrawPixels(HDC__*, const TPixelImage&, int, int) override { log_->push_back("pixels"); }

  std::vector<TPixelImage> images;

 private:
  static TPixelImage Solid(int width, int height, std::uint8_t value, int transparent_pixel) {
    TPixelImage image(width, height);
    for (std::size_t i = 0; i < image.mask.size(); ++i) {
      image.pixels[i * 4] = image.pixels[i * 4 + 1] = image.pixels[i * 4 + 2] = value;
      image.pixels[i * 4 + 3] = 255;
      image.mask[i] = i == static_cast<std::size_t>(transparent_pixel) ? 1 : 0;
    }
    return image;
  }
  int Push(const TPixelImage& image) {
    if (!handle_)
      return -1;
    images.push_back(image);
    return Count() - 1;
  }

  std::vector<std::string>* log_;
  unsigned flags_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool handle_ = false;
};

std::string IconImage(int bits, std::uint8_t tag) {
  std::string image(kBitmapInfoHeaderBytes, '\0');
  image[0] = 40;
  image[14] = static_cast<char>(bits);
  return image + static_cast<char>(tag);
}

// XOPEN: 16 x 16 at 4, 8, 32 bits with values 40, 80, 120; XSAVE the same plus one; FAILS an
// image the list refuses; BROKEN a directory without entries; BMP a bitmap.
class FakeReader final : public TZNTResourcesReader {
 public:
  FakeReader() {
    AddGroup("XOPEN", 1, 40);
    AddGroup("XSAVE", 11, 41);
    AddGroup("FAILS", 21, 60);
    AddGroup("DUAL", 31, 50);  // also a bitmap, which goes first
    for (const char* id : {"#21", "#22", "#23"})
      data_[{kResourceIcon, id}].replace(20, 4, "FAIL");
    data_[{kResourceGroupIcon, "BROKEN"}] = std::string("\0\0\1\0\5\0", 6);
    std::string dib(40, '\0');
    dib[0] = 40, dib[4] = 1, dib[8] = 1, dib[12] = 1, dib[14] = 32;
    data_[{kResourceBitmap, "BMP"}] = dib + std::string(4, '\x07');
    data_[{kResourceBitmap, "DUAL"}] = data_[{kResourceBitmap, "BMP"}];
  }
  bool HasResource(std::uint16_t type, const TResourceId& name) override {
    return data_.count({type, Key(name)}) != 0;
  }
  std::optional<std::string_view> GetResourceData(std::uint16_t type,
                                                  const TResourceId& name) override {
    const auto found = data_.find({type, Key(name)});
    if (found == data_.end())
      return std::nullopt;
    return std::string_view(found->second);
  }

 private:
  static std::string IdKey(std::uint16_t id) {
    std::string key(1, '#');
    key += std::to_string(id);
    return key;
  }
  static std::string Key(const TResourceId& name) { return name.id ? IdKey(name.id) : name.name; }
  void AddGroup(const std::string& name, std::uint16_t first_id, std::uint8_t first_tag) {
    std::string group("\0\0\1\0\3\0", 6);
    const int bits[] = {4, 8, 32};
    for (int i = 0; i < 3; ++i) {
      const auto id = static_cast<std::uint16_t>(first_id + i);
      const std::string image = IconImage(bits[i], static_cast<std::uint8_t>(first_tag + 40 * i));
      data_[{kResourceIcon, IdKey(id)}] = image;
      const char entry[14] = {16,
                              16,
                              0,
                              0,
                              1,
                              0,
                              static_cast<char>(bits[i]),
                              0,
                              static_cast<char>(image.size()),
                              0,
                              0,
                              0,
                              static_cast<char>(id),
                              0};
      group.append(entry, 14);
    }
    data_[{kResourceGroupIcon, name}] = group;
  }

  std::map<std::pair<std::uint16_t, std::string>, std::string> data_;
};

class ImageListTest : public testing::Test {
 protected:
  void SetUp() override {
    screen = FakeScreen{};
    former_probe_ = ReplaceScreenProbe(std::make_unique<FakeProbe>());
    former_reader_ = ReplaceResourcesReader(std::make_unique<FakeReader>());
  }
  void TearDown() override {
    ReplaceScreenProbe(std::move(former_probe_));
    ReplaceResourcesReader(std::move(former_reader_));
  }
  TNativeImageListFactory Factory() {
    return [this] { return std::make_unique<FakeNativeList>(&log_); };
  }
  static FakeNativeList& Fake(TImageList& list) {
    return static_cast<FakeNativeList&>(list.Native());
  }
  // Blue, green, red and alpha of pixel 5 and whether it is transparent.
  static std::vector<int> Pixel(TImageList& list, int index) {
    const TPixelImage& image = Fake(list).images.at(static_cast<std::size_t>(index));
    return {image.pixels[20], image.pixels[21], image.pixels[22], image.pixels[23], image.mask[5]};
  }
  // Pixel 5 in the system's button-shadow colour, opaque.
  static std::vector<int> Shadow() {
    const TColor shadow = SystemButtonColors().shadow;
    return {(shadow >> 16) & 0xFF, (shadow >> 8) & 0xFF, shadow & 0xFF, 255, 0};
  }
  void Fill(TZNTImageListResource& list) {
    list.SetName("Images");
    list.SetResourceList({"XOPEN", "MISSING", "!XOPEN!", "^XSAVE^", "FAILS", "BMP", "BROKEN"});
    list.Loaded();
  }

  std::vector<std::string> log_;
  std::unique_ptr<TScreenProbe> former_probe_;
  std::unique_ptr<TZNTResourcesReader> former_reader_;
};

TEST_F(ImageListTest, ReloadGivesEveryLineOneImageInTheScreensLook) {
  struct Row {
    int bits;
    bool alpha;
    unsigned flags;
    int open;   // value of the XOPEN image chosen
    bool deep;  // 24 bits or more: grey and darker looks, else emboss and no hot look
  };
  const Row rows[] = {{32, true, 0x21, 120, true},  {32, false, 0x19, 80, true},
                      {24, false, 0x19, 80, true},  {16, false, 0x19, 80, false},
                      {15, false, 0x19, 80, false}, {8, false, 0x19, 40, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bits);
    screen.bits = row.bits;
    screen.alpha = row.alpha;
    ReplaceScreenProbe(std::make_unique<FakeProbe>());
    TZNTComponent form;
    TZNTImageListResource list(&form, Factory());
    Fill(list);
    ASSERT_EQ(list.Count(), 7);
    const int open = row.open;
    const int hot = row.deep ? open - 15 : open;
    EXPECT_EQ(Pixel(list, 0), (std::vector<int>{open, open, open, 255, 0}));
    EXPECT_EQ(Pixel(list, 1), (std::vector<int>{255, 0, 255, 255, 1}));  // placeholder
    EXPECT_EQ(Pixel(list, 2), (std::vector<int>{hot, hot, hot, 255, 0}));
    EXPECT_EQ(Pixel(list, 4)[4], 1);  // the refused icon: placeholder, later ones keep places
    EXPECT_EQ(Pixel(list, 5), (std::vector<int>{7, 7, 7, 255, 0}));
    EXPECT_EQ(Pixel(list, 6)[4], 1);
    const std::vector<int> disabled = Pixel(list, 3);
    if (row.deep) {
      EXPECT_TRUE(disabled[0] == disabled[1] && disabled[1] == disabled[2]);
      EXPECT_TRUE(disabled[0] >= 88 && disabled[0] <= 215);
    } else {
      EXPECT_EQ(disabled, Shadow());
    }

    list.CreateHotImages();
    list.CreateDisabledImages();
    auto* hot_list = dynamic_cast<TZNTImageList*>(list.HotImages());
    auto* disabled_list = dynamic_cast<TZNTImageList*>(list.DisabledImages());
    ASSERT_TRUE(hot_list && disabled_list);
    EXPECT_EQ(hot_list->Name(), "ImagesHot");
    EXPECT_EQ(disabled_list->Name(), "ImagesDis");
    EXPECT_EQ(hot_list->Owner(), &form);
    EXPECT_EQ(hot_list->Count(), 7);
    EXPECT_EQ(Pixel(*hot_list, 0), (std::vector<int>{hot, hot, hot, 255, 0}));
    EXPECT_EQ(Pixel(*hot_list, 1)[4], 1);
    const std::vector<int> gray = Pixel(*disabled_list, 0);
    if (row.deep)
      EXPECT_TRUE(gray[0] == gray[2] && gray[0] >= 88 && gray[0] <= 215 && gray[4] == 0);
    else
      EXPECT_EQ(gray, Shadow());
  }
}

TEST_F(ImageListTest, ReloadRefreshesCompanionsButAnEmptyListLeavesThemAlone) {
  TZNTComponent form;
  TZNTImageListResource list(&form, Factory());
  Fill(list);
  list.CreateHotImages();
  list.CreateDisabledImages();
  list.CreateHotImages();  // exists already: nothing happens
  TImageList* hot = list.HotImages();
  int changes = 0;
  TChangeLink client;
  client.OnChange = [&changes] { ++changes; };
  list.RegisterChanges(client);

  std::string order;  // changes of the companions during the reload
  TChangeLink disabled_client, hot_client;
  disabled_client.OnChange = [&order] { order += 'D'; };
  hot_client.OnChange = [&order] { order += 'H'; };
  list.DisabledImages()->RegisterChanges(disabled_client);
  hot->RegisterChanges(hot_client);

  list.SetResourceList({"XSAVE", "DUAL"});
  list.ReloadImages();
  EXPECT_EQ(Pixel(list, 1)[0], 7);
  // The disabled companion is refreshed first, then the hot one.
  EXPECT_TRUE(order.find('D') == 0 && order.find('H') != std::string::npos &&
              std::is_sorted(order.begin(), order.end()))
      << order;
  EXPECT_EQ(list.HotImages(), hot);
  EXPECT_EQ(hot->Count(), 2);
  EXPECT_EQ(Pixel(*hot, 0)[0], 81 - 15);
  EXPECT_EQ(list.DisabledImages()->Count(), 2);
  EXPECT_GT(changes, 0);

  changes = 0;
  hot->Change();  // a companion's change reaches the list's clients
  EXPECT_EQ(changes, 1);

  list.SetResourceList({});
  list.SetReloadFromResource(true);
  EXPECT_FALSE(list.ReloadFromResource());
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(hot->Count(), 2);
  EXPECT_EQ(list.DisabledImages()->Count(), 2);
  list.Loaded();  // loads only once
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(ImageListTest, DisabledDrawUsesTheCompanionElseTheEmbossedLook) {
  TZNTComponent form;
  TZNTImageListResource list(&form, Factory());
  Fill(list);
  list.Draw(nullptr, 0, 0, 2, TDrawingStyle::kTransparent, TImageType::kImage, false);
  list.CreateDisabledImages();
  list.Draw(nullptr, 0, 0, 2, TDrawingStyle::kTransparent, TImageType::kImage, false);
  list.Draw(nullptr, 0, 0, 3);
  // A companion that holds another number of images than the list is not drawn from.
  Fake(list).images.push_back(Fake(list).images.front());
  list.Draw(nullptr, 0, 0, 2, TDrawingStyle::kTransparent, TImageType::kImage, false);
  EXPECT_EQ(log_, (std::vector<std::string>{"pixels", "draw 25 2", "draw 25 3", "pixels"}));
  TZNTImageList empty(&form, Factory());
  empty.Draw(nullptr, 0, 0, 0);  // no native list: nothing drawn
  EXPECT_EQ(log_.size(), 4u);
}

TEST_F(ImageListTest, FailuresRaiseTheFixedTexts) {
  TZNTImageList list(nullptr, Factory());
  list.SetName("Images");
  const auto message = [](const std::function<void()>& action) {
    try {
      action();
    } catch (const TImageListError& error) {
      return std::string(error.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { list.RenderHot(0); }), "Images: TZNTImageList has not been Initialized.");
  list.InitializeImages();
  EXPECT_EQ(message([&] { list.RenderDisabled(0); }), "Unable to Replace Image");
  screen.fail_create = true;
  EXPECT_EQ(message([&] { list.InitializeImages(); }), "Invalid ImageList");
  EXPECT_FALSE(list.Initialized());
  TZNTImageListResource unplatformed(nullptr, TNativeImageListFactory());
  EXPECT_EQ(message([&] { unplatformed.ReloadImages(); }), "Invalid ImageList");
}

TEST_F(ImageListTest, LinksNeverDangleWhicheverSideGoesFirst) {
  for (int order = 0; order < 5; ++order) {
    SCOPED_TRACE(order);
    auto form = std::make_unique<TZNTComponent>();
    // Without an owner the list keeps its companions itself.
    auto list =
        std::make_unique<TZNTImageListResource>(order == 4 ? nullptr : form.get(), Factory());
    Fill(*list);
    list->CreateHotImages();
    list->CreateDisabledImages();
    auto client = std::make_unique<TChangeLink>();
    list->RegisterChanges(*client);
    auto shared = std::make_unique<TZNTImageList>(nullptr, Factory());
    switch (order) {
      case 0:  // the form (and with it the companions) first
        form.reset();
        EXPECT_EQ(list->HotImages(), nullptr);
        EXPECT_EQ(list->DisabledImages(), nullptr);
        list->Change();
        break;
      case 1:  // the list first; its client and the form after it
        list.reset();
        EXPECT_EQ(client->Sender(), nullptr);
        break;
      case 2:  // one list serving as both companions goes away
        list->SetHotImages(shared.get());
        list->SetDisabledImages(shared.get());
        shared.reset();
        EXPECT_EQ(list->HotImages(), nullptr);
        EXPECT_EQ(list->DisabledImages(), nullptr);
        break;
      case 3:  // the client first, then a companion replaced by hand
        client.reset();
        list->SetHotImages(shared.get());
        list->Change();
        break;
      case 4:  // the list with the companions it keeps, its client after it
        EXPECT_EQ(list->HotImages()->Owner(), nullptr);
        list.reset();
        break;
    }
    client.reset();
    list.reset();
    shared.reset();
    form.reset();
  }
}

}  // namespace
}  // namespace kv
