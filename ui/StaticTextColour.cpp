#include "ui/StaticTextColour.h"

namespace kv {

std::uint32_t StaticTextColour(bool hint, bool high_contrast, std::uint32_t button_text,
                               std::uint32_t hot_light) {
  if (!hint)
    return button_text;
  return high_contrast ? hot_light : kHintBlue;
}

}  // namespace kv
