// Linux has no native image lists; the components run there over test doubles only.
#include "ui/NativeImageList.h"

namespace kv {

TNativeImageListFactory PlatformImageListFactory() {
  return {};
}

TButtonColors SystemButtonColors() {
  return TButtonColors{};
}

}  // namespace kv
