#include "app/MainFormDialogs.h"

#include <algorithm>

#include "app/StoreInputs.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

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

TFileDialogSetup BrowseDialogSetup(TBrowseField field, const std::string& field_text,
                                   TUiLanguage language) {
  const TWindowTexts& texts = WindowTexts(language);
  TFileDialogSetup setup;
  switch (field) {
    case TBrowseField::kOriginalSetupFile:
      setup.Title = texts.ChooseOriginalSetup;
      setup.Filter = texts.SetupFilter;
      break;
    case TBrowseField::kKVConfigFile:
      setup.Title = texts.ChoosePackageFile;
      setup.Filter = texts.PackageFilter;
      break;
    case TBrowseField::kAutoinstallSRG:
      setup.Title = texts.ChooseAnswerFile;
      setup.Filter = texts.AnswerFileFilter;
      break;
    case TBrowseField::kShownSetupFile:
      setup.Title = texts.ChooseShownSetup;
      setup.Filter = texts.SetupFilter;
      break;
  }
  setup.FileName = field_text;
  return setup;
}

TFileDialogSetup SaveDialogSetup(const std::string& source_file, const std::string& remembered_name,
                                 TUiLanguage language) {
  const TWindowTexts& texts = WindowTexts(language);
  TFileDialogSetup setup;
  setup.Title = texts.ChooseNewSetup;
  const bool msi = IsMsiFileName(std::string(TrimControl(source_file)));
  setup.DefaultExt = msi ? "msi" : "exe";
  setup.Filter = msi ? texts.SaveMsiFilter : texts.SaveExeFilter;
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
