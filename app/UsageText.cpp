#include "app/UsageText.h"

#include <algorithm>

namespace kv {

namespace {

// Switch descriptions start in column 23: the switch and its placeholder are padded to 22
// characters, continuation lines begin with 22 spaces.
constexpr std::size_t kDescriptionColumn = 22;

constexpr std::string_view kProgramName = "KVSetupConfigurator";

}  // namespace

std::string UsageText(std::string_view line_end, TUiLanguage language) {
  const TWindowTexts& texts = WindowTexts(language);
  std::string text;
  for (const char* line : texts.UsageHeading) {
    text += line;
    text += line_end;
  }
  for (const TUsageSwitch& entry : texts.UsageSwitches) {
    std::string lead = entry.Switch;
    lead.append(kDescriptionColumn - std::min(kDescriptionColumn, Utf8Length(lead)), ' ');
    for (const char* line : entry.Lines) {
      if (!line)
        break;
      text += lead;
      text += line;
      text += line_end;
      lead.assign(kDescriptionColumn, ' ');
    }
  }
  return text;
}

std::string VersionText(std::string_view line_end) {
  std::string text(kProgramName);
  text += ' ';
  text += KV_PROGRAM_VERSION;
  text += line_end;
  return text;
}

}  // namespace kv
