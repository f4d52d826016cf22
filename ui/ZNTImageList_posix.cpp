// Linux builds of the image lists have no resources of their own and no screen: the reader
// finds nothing and the probe describes a 24-bit screen without alpha lists.
#include "ui/ZNTImageList.h"

namespace kv {

bool TZNTResourcesReader::HasResource(std::uint16_t, const TResourceId&) {
  return false;
}

std::optional<std::string_view> TZNTResourcesReader::GetResourceData(std::uint16_t,
                                                                     const TResourceId&) {
  return std::nullopt;
}

namespace {

class TPosixScreenProbe final : public TScreenProbe {
 public:
  int DeviceBitsPerPixel() override { return 24; }
  bool CommonControlsHaveAlpha() override { return false; }
  void* UserLibraryModule() override { return nullptr; }
};

}  // namespace

std::unique_ptr<TScreenProbe> PlatformScreenProbe() {
  return std::make_unique<TPosixScreenProbe>();
}

}  // namespace kv
