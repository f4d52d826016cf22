// Image lists whose images come from the program's own resources by name, at the list's size and
// at the colour depth that suits the screen, with derived disabled and hot companion lists.
// Operations that add, replace or transform images throw TImageListError with the list's fixed
// texts; callers on a window procedure catch it there. Drawing never throws.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/FailureMessages.h"
#include "ui/NativeImageList.h"
#include "ui/ZNTComponents.h"
#include "ui/ZNTImageListRules.h"

namespace kv {

class TImageListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kInvalidImageListText =
    FailurePattern(FailureMessage::kInvalidImageList);
inline constexpr const char* kReplaceImageFailedText =
    FailurePattern(FailureMessage::kReplaceImageFailed);
inline constexpr char kNotInitializedText[] = ": TZNTImageList has not been Initialized.";
inline constexpr char kPixelFormatText[] =
    ":TZNTImageList Pixel Format must be at least 24bit to support render operations.";

// A resource name: a text, or a numeric identifier when Id is not 0.
struct TResourceId {
  std::string Name;
  std::uint16_t Id = 0;

  static TResourceId Named(std::string_view text) { return {std::string(text), 0}; }
  static TResourceId Numbered(std::uint16_t number) { return {std::string(), number}; }
};

// Access to the named resources of the program's own module.
class TZNTResourcesReader {
 public:
  virtual ~TZNTResourcesReader() = default;
  // Called at every fetch of the shared reader; does nothing here.
  virtual void Prepare() {}
  virtual bool HasResource(std::uint16_t type, const TResourceId& name);
  // The resource's bytes, which belong to the module; none when it is missing.
  virtual std::optional<std::string_view> GetResourceData(std::uint16_t type,
                                                          const TResourceId& name);
};

// The shared reader: created on first use, prepared at every fetch, kept until the program ends.
TZNTResourcesReader& ResourcesReader();
// Puts another reader in place of the shared one (tests); returns the former one.
std::unique_ptr<TZNTResourcesReader> ReplaceResourcesReader(
    std::unique_ptr<TZNTResourcesReader> reader);

// What the platform tells: the screen's bits per pixel (read anew at every call), whether the
// loaded common controls draw 32-bit alpha image lists (major version above 5), and the module
// of the system's user library.
class TScreenProbe {
 public:
  virtual ~TScreenProbe() = default;
  virtual int DeviceBitsPerPixel() = 0;
  virtual bool CommonControlsHaveAlpha() = 0;
  virtual void* UserLibraryModule() = 0;
};
// The three process-wide probes, each filled once under one lock.
bool HasAlphaImageLists();
int ScreenBitsPerPixel();  // ScreenIconBits of the screen at the first call
void* UserLibraryModule();
// The class of the screen's bits per pixel now.
TColorDepth CurrentScreenColorDepth();
// Puts another probe in place (tests; an empty pointer restores the platform's) and forgets
// the values filled so far; returns the former probe.
std::unique_ptr<TScreenProbe> ReplaceScreenProbe(std::unique_ptr<TScreenProbe> probe);
std::unique_ptr<TScreenProbe> PlatformScreenProbe();

// The first stored of bitmap (2), icon group (14) and icon (3) under name.
enum class TResourceKind { kNone, kBitmap, kIcon };
TResourceKind FindResourceKind(TZNTResourcesReader& reader, const TResourceId& name);

// The image bytes of group name chosen for width x height at bits (see ChooseIconImage).
std::optional<std::string_view> LoadGroupIconImage(TZNTResourcesReader& reader,
                                                   const TResourceId& name, int width, int height,
                                                   int bits);
// Bitmap resource name framed as a bitmap file, or empty when there is none.
std::string LoadBitmapResource(TZNTResourcesReader& reader, const TResourceId& name);

// An image list of the platform: image size (default 16 x 16), masks, growth step, draw colours,
// the native list and the change notification of its clients.
class TImageList : public TZNTComponent, public TChangeNotifier {
 public:
  explicit TImageList(TZNTComponent* owner,
                      TNativeImageListFactory factory = PlatformImageListFactory());
  ~TImageList() override;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // A new size empties the list.
  void SetWidth(int width);
  void SetHeight(int height);
  bool Masked() const { return masked_; }
  void SetMasked(bool masked) { masked_ = masked; }
  int AllocBy() const { return alloc_by_; }
  void SetAllocBy(int alloc_by) { alloc_by_ = alloc_by; }
  TColor BkColor() const { return bk_color_; }
  void SetBkColor(TColor color) { bk_color_ = color; }
  TColor BlendColor() const { return blend_color_; }
  void SetBlendColor(TColor color) { blend_color_ = color; }

  bool HandleAllocated() const;
  int Count() const;
  void Clear();
  // Tells the clients that the images changed.
  void Change() { NotifyClients(); }

  // Draws image index at (x, y); a disabled image of a list with a disabled companion comes
  // from the companion.
  void Draw(HDC__* dc, int x, int y, int index, TDrawingStyle style = TDrawingStyle::kNormal,
            TImageType type = TImageType::kImage, bool enabled = true);

  TNativeImageList& Native() { return *native_; }
  const TNativeImageListFactory& Factory() const { return factory_; }

 protected:
  virtual void DoDraw(int index, HDC__* dc, int x, int y, unsigned style, bool enabled);
  // The base drawing: the native draw, or the embossed look for a disabled image.
  void DrawBase(int index, HDC__* dc, int x, int y, unsigned style, bool enabled);

 private:
  void Resize();

  TNativeImageListFactory factory_;
  std::unique_ptr<TNativeImageList> native_;
  int width_ = 16;
  int height_ = 16;
  bool masked_ = true;
  int alloc_by_ = 4;
  TColor bk_color_ = kColorNone;
  TColor blend_color_ = kColorNone;
};

class TZNTImageList : public TImageList {
 public:
  explicit TZNTImageList(TZNTComponent* owner,
                         TNativeImageListFactory factory = PlatformImageListFactory());
  ~TZNTImageList() override;

  // Empties the list and makes a new native list in the format that suits the screen.
  void InitializeImages();
  bool Initialized() const { return initialized_; }
  TColorDepth ScreenPixelFormat() const { return formats_.Screen; }
  TColorDepth ImagePixelFormat() const { return formats_.Image; }
  TColorDepth IconPixelFormat() const { return formats_.Icon; }

  // Companions, named after this list ("Dis", "Hot"): created only when there is none yet, and
  // kept by this list's owner (by the list itself when it has no owner).
  void CreateDisabledImages();
  void CreateHotImages();
  // Refill an existing companion from this list's images and give them the look.
  void UpdateDisabledImages();
  void UpdateHotImages();

  TImageList* DisabledImages() const { return disabled_images_; }
  void SetDisabledImages(TImageList* list);
  TImageList* HotImages() const { return hot_images_; }
  void SetHotImages(TImageList* list);

  // Appends every image of source.
  void CopyImagesFrom(TImageList& source);
  // Change image index in place.
  void RenderPixels(int index, const TPixelTransform& transform);
  void RenderImage(int index, const TImageTransform& transform);
  void RenderDisabled(int index);
  void RenderHot(int index);

 protected:
  void Notification(TZNTComponent* component, TOperation operation) override;
  void DoDraw(int index, HDC__* dc, int x, int y, unsigned style, bool enabled) override;
  void RequireInitialized() const;

 private:
  TImageList* CreateCompanion(std::string name);
  void UpdateCompanion(TImageList* companion, bool disabled);
  void Extract(int index, TPixelImage& image);
  void ReplaceImage(int index, const TPixelImage& image);

  TImageList* disabled_images_ = nullptr;
  TChangeLink disabled_link_;
  TImageList* hot_images_ = nullptr;
  TChangeLink hot_link_;
  TImageFormats formats_;
  bool initialized_ = false;
};

// A TZNTImageList that fills itself from ResourceList: one image per line, in line order.
// There are no form descriptions: the owner sets ResourceList and then calls Loaded.
class TZNTImageListResource : public TZNTImageList {
 public:
  explicit TZNTImageListResource(TZNTComponent* owner,
                                 TNativeImageListFactory factory = PlatformImageListFactory());

  // Rebuilds the images from ResourceList and refreshes the existing companions (disabled
  // first); an entry that fails adds the placeholder, so later indexes keep their places.
  void ReloadImages();
  // Appends the image of icon group name chosen for this list; the index, or -1.
  int AddIconResource(TZNTResourcesReader& reader, const TResourceId& name,
                      TColorDepth icon_format);

  const std::vector<std::string>& ResourceList() const { return resource_list_; }
  // Takes the lines when they differ from the current ones; does not reload.
  void SetResourceList(std::vector<std::string> lines);
  bool LoadFromResourcesOnCreate() const { return load_on_create_; }
  void SetLoadFromResourcesOnCreate(bool value) { load_on_create_ = value; }
  TColor ResourceTransparentColor() const { return transparent_color_; }
  void SetResourceTransparentColor(TColor color) { transparent_color_ = color; }
  TColor ResourceFillColor() const { return fill_color_; }
  void SetResourceFillColor(TColor color) { fill_color_ = color; }
  // Always false; writing true reloads.
  bool ReloadFromResource() const { return false; }
  void SetReloadFromResource(bool value);

  // The owner has finished setting the properties: loads once when LoadFromResourcesOnCreate
  // (throws TImageListError when no native list can be made).
  void Loaded();

 private:
  bool loaded_once_ = false;
  bool load_on_create_ = true;
  std::vector<std::string> resource_list_;
  TColor transparent_color_ = kColorFuchsia;
  TColor fill_color_ = kColorFuchsia;
};

}  // namespace kv
