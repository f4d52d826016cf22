#include "ui/ZNTImageList.h"

#include <mutex>
#include <utility>

#include "base/Failure.h"

namespace kv {

namespace {

// Stands in where the platform has no native lists: nothing can be created or drawn.
class TNoNativeImageList final : public TNativeImageList {
 public:
  bool Create(int, int, unsigned, int) override { return false; }
  void Release() override {}
  bool HasHandle() const override { return false; }
  int Count() const override { return 0; }
  void Clear() override {}
  int AppendIcon(std::string_view, int, int) override { return -1; }
  int AppendBitmap(std::string_view, TColor, TColor) override { return -1; }
  int Append(const TPixelImage&) override { return -1; }
  bool Extract(int, TPixelImage&) override { return false; }
  bool Replace(int, const TPixelImage&) override { return false; }
  void Draw(HDC__*, int, int, int, unsigned, TColor, TColor) override {}
  void DrawPixels(HDC__*, const TPixelImage&, int, int) override {}
};

struct TProbeState {
  std::mutex lock;
  std::unique_ptr<TScreenProbe> probe;
  std::optional<bool> alpha_lists;
  std::optional<int> icon_bits;
  std::optional<void*> user_library;

  TScreenProbe& Probe() {
    if (!probe)
      probe = PlatformScreenProbe();
    return *probe;
  }
  bool AlphaLists() {
    if (!alpha_lists)
      alpha_lists = Probe().CommonControlsHaveAlpha();
    return *alpha_lists;
  }
};

TProbeState& Probes() {
  static TProbeState state;
  return state;
}

std::unique_ptr<TZNTResourcesReader>& SharedReader() {
  static std::unique_ptr<TZNTResourcesReader> reader;
  return reader;
}

}  // namespace

TZNTResourcesReader& ResourcesReader() {
  std::unique_ptr<TZNTResourcesReader>& reader = SharedReader();
  if (!reader)
    reader = std::make_unique<TZNTResourcesReader>();
  reader->Prepare();
  return *reader;
}

std::unique_ptr<TZNTResourcesReader> ReplaceResourcesReader(
    std::unique_ptr<TZNTResourcesReader> reader) {
  return std::exchange(SharedReader(), std::move(reader));
}

bool HasAlphaImageLists() {
  TProbeState& state = Probes();
  const std::lock_guard<std::mutex> guard(state.lock);
  return state.AlphaLists();
}

int ScreenBitsPerPixel() {
  TProbeState& state = Probes();
  const std::lock_guard<std::mutex> guard(state.lock);
  if (!state.icon_bits)
    state.icon_bits = ScreenIconBits(state.Probe().DeviceBitsPerPixel(), state.AlphaLists());
  return *state.icon_bits;
}

void* UserLibraryModule() {
  TProbeState& state = Probes();
  const std::lock_guard<std::mutex> guard(state.lock);
  if (!state.user_library)
    state.user_library = state.Probe().UserLibraryModule();
  return *state.user_library;
}

TColorDepth CurrentScreenColorDepth() {
  TProbeState& state = Probes();
  const std::lock_guard<std::mutex> guard(state.lock);
  return ColorDepthOfBits(state.Probe().DeviceBitsPerPixel());
}

std::unique_ptr<TScreenProbe> ReplaceScreenProbe(std::unique_ptr<TScreenProbe> probe) {
  TProbeState& state = Probes();
  const std::lock_guard<std::mutex> guard(state.lock);
  state.alpha_lists.reset();
  state.icon_bits.reset();
  state.user_library.reset();
  return std::exchange(state.probe, std::move(probe));
}

TResourceKind FindResourceKind(TZNTResourcesReader& reader, const TResourceId& name) {
  if (reader.HasResource(kResourceBitmap, name))
    return TResourceKind::kBitmap;
  if (reader.HasResource(kResourceGroupIcon, name) || reader.HasResource(kResourceIcon, name))
    return TResourceKind::kIcon;
  return TResourceKind::kNone;
}

std::optional<std::string_view> LoadGroupIconImage(TZNTResourcesReader& reader,
                                                   const TResourceId& name, int width, int height,
                                                   int bits) {
  const std::optional<std::string_view> group = reader.GetResourceData(kResourceGroupIcon, name);
  if (!group)
    return std::nullopt;
  const std::vector<TIconDirEntry> entries = ParseIconGroup(*group);
  return ChooseIconImage(
      entries,
      [&reader](std::uint16_t id) {
        return reader.GetResourceData(kResourceIcon, TResourceId::Numbered(id));
      },
      width, height, bits);
}

std::string LoadBitmapResource(TZNTResourcesReader& reader, const TResourceId& name) {
  const std::optional<std::string_view> data = reader.GetResourceData(kResourceBitmap, name);
  TBitmapFileLayout layout;
  if (!data)
    return std::string();
  std::string file = MakeBitmapFile(*data);
  return ReadBitmapFile(file, layout) ? file : std::string();
}

// --- TImageList ---

TImageList::TImageList(TZNTComponent* owner, TNativeImageListFactory factory)
    : TZNTComponent(owner), factory_(std::move(factory)) {
  if (factory_)
    native_ = factory_();
  if (!native_)
    native_ = std::make_unique<TNoNativeImageList>();
}

TImageList::~TImageList() = default;

void TImageList::SetWidth(int width) {
  if (width == width_)
    return;
  width_ = width;
  Resize();
}

void TImageList::SetHeight(int height) {
  if (height == height_)
    return;
  height_ = height;
  Resize();
}

void TImageList::Resize() {
  if (!native_->HasHandle())
    return;
  native_->Release();
  Change();
}

bool TImageList::HandleAllocated() const {
  return native_->HasHandle();
}

int TImageList::Count() const {
  return native_->HasHandle() ? native_->Count() : 0;
}

void TImageList::Clear() {
  if (!native_->HasHandle())
    return;
  native_->Clear();
  Change();
}

void TImageList::Draw(HDC__* dc, int x, int y, int index, TDrawingStyle style, TImageType type,
                      bool enabled) {
  if (HandleAllocated())
    DoDraw(index, dc, x, y, DrawStyleFlags(style, type), enabled);
}

void TImageList::DoDraw(int index, HDC__* dc, int x, int y, unsigned style, bool enabled) {
  DrawBase(index, dc, x, y, style, enabled);
}

void TImageList::DrawBase(int index, HDC__* dc, int x, int y, unsigned style, bool enabled) {
  if (enabled) {
    native_->Draw(dc, index, x, y, style, bk_color_, blend_color_);
    return;
  }
  TPixelImage image(width_, height_);
  if (!native_->Extract(index, image))
    return;
  EmbossImage(image, SystemButtonColors());
  native_->DrawPixels(dc, image, x, y);
}

// --- TZNTImageList ---

TZNTImageList::TZNTImageList(TZNTComponent* owner, TNativeImageListFactory factory)
    : TImageList(owner, std::move(factory)) {
  disabled_link_.OnChange = [this] { Change(); };
  hot_link_.OnChange = [this] { Change(); };
}

TZNTImageList::~TZNTImageList() {
  SetDisabledImages(nullptr);
  SetHotImages(nullptr);
}

void TZNTImageList::RequireInitialized() const {
  if (!initialized_)
    throw TImageListError(Name() + kNotInitializedText);
}

void TZNTImageList::InitializeImages() {
  Native().Clear();
  formats_ = DecideImageFormats(CurrentScreenColorDepth(), HasAlphaImageLists());
  if (!Native().Create(Width(), Height(), ImageListCreateFlags(formats_.image, Masked()),
                       AllocBy())) {
    initialized_ = false;
    throw TImageListError(kInvalidImageListText);
  }
  initialized_ = true;
  Change();
}

TImageList* TZNTImageList::CreateCompanion(std::string name) {
  TZNTComponent* holder = Owner() ? Owner() : this;
  auto companion = std::make_unique<TZNTImageList>(Owner(), Factory());
  companion->SetName(std::move(name));
  return holder->Adopt(std::move(companion));
}

void TZNTImageList::CreateDisabledImages() {
  if (disabled_images_)
    return;
  SetDisabledImages(CreateCompanion(DisabledCompanionName(Name())));
  UpdateDisabledImages();
}

void TZNTImageList::CreateHotImages() {
  if (hot_images_)
    return;
  SetHotImages(CreateCompanion(HotCompanionName(Name())));
  UpdateHotImages();
}

void TZNTImageList::UpdateDisabledImages() {
  UpdateCompanion(disabled_images_, true);
}

void TZNTImageList::UpdateHotImages() {
  UpdateCompanion(hot_images_, false);
}

void TZNTImageList::UpdateCompanion(TImageList* list, bool disabled) {
  auto* companion = dynamic_cast<TZNTImageList*>(list);
  if (!companion)
    return;
  companion->SetWidth(Width());
  companion->SetHeight(Height());
  companion->InitializeImages();
  companion->CopyImagesFrom(*this);
  for (int i = 0; i < companion->Count(); ++i) {
    if (disabled)
      companion->RenderDisabled(i);
    else
      companion->RenderHot(i);
  }
}

namespace {

// Moves a companion reference and its change link from the former list to list.
void Relink(TZNTComponent& self, TImageList*& slot, TChangeLink& link, TImageList* list,
            const TImageList* other_slot) {
  if (link.Sender())
    link.Sender()->UnRegisterChanges(link);
  if (slot && slot != list && slot != other_slot)
    self.RemoveFreeNotification(slot);
  slot = list;
  if (list) {
    list->RegisterChanges(link);
    self.FreeNotification(list);
  }
}

}  // namespace

void TZNTImageList::SetDisabledImages(TImageList* list) {
  Relink(*this, disabled_images_, disabled_link_, list, hot_images_);
}

void TZNTImageList::SetHotImages(TImageList* list) {
  Relink(*this, hot_images_, hot_link_, list, disabled_images_);
}

void TZNTImageList::Notification(TZNTComponent* component, TOperation operation) {
  TImageList::Notification(component, operation);
  if (operation != TOperation::kRemove)
    return;
  // The component is being destroyed: forget it without touching it (its change notifier has
  // already released the link). A list that served as both companions is forgotten in both.
  if (component == static_cast<TZNTComponent*>(disabled_images_))
    disabled_images_ = nullptr;
  if (component == static_cast<TZNTComponent*>(hot_images_))
    hot_images_ = nullptr;
}

void TZNTImageList::DoDraw(int index, HDC__* dc, int x, int y, unsigned style, bool enabled) {
  switch (ChooseDraw(HandleAllocated(), enabled, Count(),
                     disabled_images_ ? disabled_images_->Count() : -1)) {
    case TDrawChoice::kNothing:
      return;
    case TDrawChoice::kDisabledCompanion:
      disabled_images_->Native().Draw(dc, index, x, y, style, BkColor(), BlendColor());
      return;
    case TDrawChoice::kBase:
      DrawBase(index, dc, x, y, style, enabled);
      return;
  }
}

void TZNTImageList::CopyImagesFrom(TImageList& source) {
  RequireInitialized();
  const int count = source.Count();
  for (int i = 0; i < count; ++i) {
    // An image that cannot be read keeps its index as a transparent placeholder.
    TPixelImage image(Width(), Height());
    if (!source.Native().Extract(i, image))
      image = TPixelImage(Width(), Height());
    else if (formats_.image == TColorDepth::k32Bit)
      StraightenPixels(image);
    Native().Append(image);
  }
  Change();
}

void TZNTImageList::Extract(int index, TPixelImage& image) {
  RequireInitialized();
  image = TPixelImage(Width(), Height());
  if (!HandleAllocated() || !Native().Extract(index, image))
    throw TImageListError(kReplaceImageFailedText);
}

void TZNTImageList::ReplaceImage(int index, const TPixelImage& image) {
  RequireInitialized();
  if (!HandleAllocated() || !Native().Replace(index, image))
    throw TImageListError(kReplaceImageFailedText);
  Change();
}

void TZNTImageList::RenderPixels(int index, const TPixelTransform& transform) {
  TPixelImage image;
  Extract(index, image);
  if (ColorDepthBits(formats_.image) < 24)
    throw TImageListError(Name() + kPixelFormatText);
  TransformPixels(image, formats_.image == TColorDepth::k32Bit, transform);
  ReplaceImage(index, image);
}

void TZNTImageList::RenderImage(int index, const TImageTransform& transform) {
  TPixelImage image;
  Extract(index, image);
  transform(image);
  ReplaceImage(index, image);
}

void TZNTImageList::RenderDisabled(int index) {
  RequireInitialized();
  if (ColorDepthBits(formats_.screen) < 24) {
    const TButtonColors colors = SystemButtonColors();
    RenderImage(index, [&colors](TPixelImage& image) { EmbossImage(image, colors); });
  } else {
    RenderPixels(index, GrayPixel);
  }
}

void TZNTImageList::RenderHot(int index) {
  RequireInitialized();
  if (ColorDepthBits(formats_.screen) >= 24)
    RenderPixels(index, DarkenPixel);
}

// --- TZNTImageListResource ---

TZNTImageListResource::TZNTImageListResource(TZNTComponent* owner, TNativeImageListFactory factory)
    : TZNTImageList(owner, std::move(factory)) {}

void TZNTImageListResource::SetResourceList(std::vector<std::string> lines) {
  if (lines != resource_list_)
    resource_list_ = std::move(lines);
}

void TZNTImageListResource::SetReloadFromResource(bool value) {
  if (value)
    ReloadImages();
}

void TZNTImageListResource::Loaded() {
  if (load_on_create_ && !loaded_once_) {
    loaded_once_ = true;
    SetReloadFromResource(true);
  }
}

int TZNTImageListResource::AddIconResource(TZNTResourcesReader& reader, const TResourceId& name,
                                           TColorDepth icon_format) {
  RequireInitialized();
  const std::optional<std::string_view> image =
      LoadGroupIconImage(reader, name, Width(), Height(), IconBitsFor(icon_format));
  if (!image)
    return -1;
  const int index = Native().AppendIcon(*image, Width(), Height());
  if (index >= 0)
    Change();
  return index;
}

void TZNTImageListResource::ReloadImages() {
  Clear();
  Native().Release();
  InitializeImages();
  if (resource_list_.empty())
    return;
  TZNTResourcesReader& reader = ResourcesReader();
  for (const std::string& line : resource_list_) {
    const TResourceLine entry = ParseResourceLine(line);
    const TResourceId name = TResourceId::Named(entry.name);
    int index = -1;
    std::string bitmap;
    // A failing entry gets the placeholder below, and the next one follows.
    RunIgnoringFailure([&] {
      const TResourceKind kind = FindResourceKind(reader, name);
      if (kind == TResourceKind::kIcon)
        index = AddIconResource(reader, name, IconPixelFormat());
      else if (kind == TResourceKind::kBitmap)
        bitmap = LoadBitmapResource(reader, name);
    });
    // Every entry adds exactly one image, so that the later ones keep their indexes.
    if (index < 0)
      index = Native().AppendBitmap(bitmap, fill_color_, transparent_color_);
    // An image whose look fails keeps its normal look.
    RunIgnoringFailure([&] {
      if (index >= 0 && entry.look == TResourceLook::kHot)
        RenderHot(index);
      else if (index >= 0 && entry.look == TResourceLook::kDisabled)
        RenderDisabled(index);
    });
  }
  Change();
  UpdateDisabledImages();
  UpdateHotImages();
}

}  // namespace kv
