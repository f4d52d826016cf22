#include "app/CommandLine.h"

#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr std::string_view kHelpSwitches[] = {
    "-?", "/?", "-h", "/h", "-usage", "/usage", "-help", "/help", "--help",
};
constexpr std::string_view kVersionSwitch = "--version";

// Tested in this order; the first that matches takes the argument.
constexpr std::string_view kPackageFileSwitch = "-cf:";
constexpr std::string_view kServerURLSwitch = "-cu:";
constexpr std::string_view kAnswerFileSwitch = "-ai:";
constexpr std::string_view kSourceFileSwitch = "-src:";
constexpr std::string_view kOutputFileSwitch = "-out:";
constexpr std::string_view kListFileSwitch = "-list:";
constexpr std::string_view kReceiptFileSwitch = "-receipt:";

// Stores the value of switch_text into target when the argument begins with it.
bool TakeSwitch(std::string_view argument, std::string_view switch_text, std::string& target) {
  if (!HasPrefixText(switch_text, argument))
    return false;
  target.assign(argument.substr(switch_text.size()));
  return true;
}

}  // namespace

bool IsHelpSwitch(std::string_view argument) {
  const std::string_view trimmed = TrimControl(argument);
  for (std::string_view help : kHelpSwitches) {
    if (EqualsIgnoreAsciiCase(trimmed, help))
      return true;
  }
  return false;
}

bool AsksForHelp(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (IsHelpSwitch(argument))
      return true;
  }
  return false;
}

bool AsksForVersion(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (EqualsIgnoreAsciiCase(TrimControl(argument), kVersionSwitch))
      return true;
  }
  return false;
}

TCommandLineValues ParseSwitches(const std::vector<std::string>& arguments) {
  TCommandLineValues values;
  for (const std::string& raw : arguments) {
    const std::string_view argument = TrimControl(raw);
    TakeSwitch(argument, kPackageFileSwitch, values.PackageFile) ||
        TakeSwitch(argument, kServerURLSwitch, values.ServerURL) ||
        TakeSwitch(argument, kAnswerFileSwitch, values.AnswerFile) ||
        TakeSwitch(argument, kSourceFileSwitch, values.SourceFile) ||
        TakeSwitch(argument, kOutputFileSwitch, values.OutputFile) ||
        TakeSwitch(argument, kListFileSwitch, values.ListFile) ||
        TakeSwitch(argument, kReceiptFileSwitch, values.ReceiptFile);
  }
  return values;
}

}  // namespace kv
