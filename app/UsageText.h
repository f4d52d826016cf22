// The texts the program prints about itself: the usage text shown for the help switches and the
// name-and-version line of "--version". Each line ends with the given line end.
#pragma once

#include <string>
#include <string_view>

#include "app/WindowTexts.h"

namespace kv {

// The 21 lines of the usage text in the language, each followed by line_end (the last one
// included).
std::string UsageText(std::string_view line_end, TUiLanguage language = TUiLanguage::kEnglish);

// "KVSetupConfigurator " + the program's version, followed by line_end.
std::string VersionText(std::string_view line_end);

}  // namespace kv
