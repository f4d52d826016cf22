#include "app/MainFormDialogs.h"

#include <algorithm>

#include "app/StoreInputs.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr const char* kSetupFilter =
    "Setup Files|*.exe;*.msi|Setup EXE Files|*.exe|Setup MSI Files|*.msi|All Files (*.*)|*.*";
constexpr const char* kPackageFilter = "K-VConfig.bin (*.bin)|*.bin|All Files (*.*)|*.*";
constexpr const char* kAnswerFileFilter = "AutoInstall.srg (*.srg)|*.srg|All Files (*.*)|*.*";
constexpr const char* kSaveMsiFilter = "setup MSI file (*.msi)|*.msi|All Files (*.*)|*.*";
constexpr const char* kSaveExeFilter = "setup EXE file (*.exe)|*.exe|All Files (*.*)|*.*";

// The name with its extension replaced by (or, without one, followed by) "." + extension, unless
// it already has that extension in some letter case.
std::string WithExtension(const std::string& name, const std::string& extension) {
  if (name.empty())
    return name;
  const std::string current = ExtractFileExt(name);
  if (EqualsIgnoreAsciiCase(current, "." + extension))
    return name;
  return name.substr(0, name.size() - current.size()) + "." + extension;
}

}  // namespace

TFileDialogSetup BrowseDialogSetup(TBrowseField field, const std::string& field_text) {
  TFileDialogSetup setup;
  switch (field) {
    case TBrowseField::kOriginalSetupFile:
      setup.Title = "Choose original SETUP file";
      setup.Filter = kSetupFilter;
      break;
    case TBrowseField::kKVConfigFile:
      setup.Title = "Choose K-VConfig.bin";
      setup.Filter = kPackageFilter;
      break;
    case TBrowseField::kAutoinstallSRG:
      setup.Title = "Choose AutoInstall.srg";
      setup.Filter = kAnswerFileFilter;
      break;
    case TBrowseField::kShownSetupFile:
      setup.Title = "Choose SETUP file to show";
      setup.Filter = kSetupFilter;
      break;
  }
  setup.FileName = field_text;
  return setup;
}

TFileDialogSetup SaveDialogSetup(const std::string& source_file,
                                 const std::string& remembered_name) {
  TFileDialogSetup setup;
  setup.Title = "Choose new SETUP file";
  const bool msi = IsMsiFileName(std::string(TrimControl(source_file)));
  setup.DefaultExt = msi ? "msi" : "exe";
  setup.Filter = msi ? kSaveMsiFilter : kSaveExeFilter;
  setup.FilterIndex = 1;
  setup.FileName = WithExtension(remembered_name, setup.DefaultExt);
  setup.Save = true;
  return setup;
}

int FilterEntryCount(const std::string& filter) {
  if (filter.empty())
    return 0;
  const auto bars = std::count(filter.begin(), filter.end(), '|');
  return static_cast<int>((bars + 1) / 2);
}

int EffectiveFilterIndex(const TFileDialogSetup& setup, int carried_index) {
  const int index = setup.FilterIndex > 0 ? setup.FilterIndex : carried_index;
  return index >= 1 && index <= FilterEntryCount(setup.Filter) ? index : 1;
}

std::string DialogFilterText(const std::string& filter) {
  std::string text = filter;
  std::replace(text.begin(), text.end(), '|', '\0');
  return text.append(2, '\0');
}

}  // namespace kv
