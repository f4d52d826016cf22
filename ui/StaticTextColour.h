// The text colour of the windows' static controls (labels and the blue hint), decided from the
// theme's state and the system colours as 0x00BBGGRR; the window base applies it.
#pragma once

#include <cstdint>

namespace kv {

inline constexpr std::uint32_t kHintBlue = 0xFF0000;  // pure blue

// A label takes the button-text colour. The hint is blue in ordinary themes; in a contrast theme
// it takes the hot-light colour, which the scheme chose to be read on its button face.
std::uint32_t StaticTextColour(bool hint, bool high_contrast, std::uint32_t button_text,
                               std::uint32_t hot_light);

}  // namespace kv
