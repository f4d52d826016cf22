#include "app/FileDialog_win32.h"

#include <cderr.h>
#include <commdlg.h>

#include <vector>

#include "base/WinText_win32.h"

namespace kv {

namespace {

// File dialogs take names of up to this many characters.
constexpr std::size_t kFileNameBufferSize = 32768;

}  // namespace

bool TFileDialog::Execute(HWND owner, const TFileDialogSetup& setup, std::string& file_name) {
  std::vector<wchar_t> buffer(kFileNameBufferSize, L'\0');
  const std::wstring preset = Utf8ToWide(setup.FileName);
  if (preset.size() < buffer.size())
    preset.copy(buffer.data(), preset.size());
  const std::wstring title = Utf8ToWide(setup.Title);
  const std::wstring filter = Utf8ToWide(DialogFilterText(setup.Filter));
  const std::wstring default_ext = Utf8ToWide(setup.DefaultExt);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = static_cast<DWORD>(EffectiveFilterIndex(setup, filter_index_));
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrTitle = title.c_str();
  dialog.lpstrDefExt = default_ext.empty() ? nullptr : default_ext.c_str();
  // The working folder of the process stays where it is.
  dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                 (setup.Save ? OFN_OVERWRITEPROMPT : OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
  const auto show = [&] {
    return (setup.Save ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog)) != 0;
  };
  bool confirmed = show();
  // A preset name the dialog refuses (invalid characters, too long) is dropped and it opens again.
  if (!confirmed && ::CommDlgExtendedError() == FNERR_INVALIDFILENAME && buffer[0] != L'\0') {
    buffer.assign(buffer.size(), L'\0');
    confirmed = show();
  }
  if (dialog.nFilterIndex > 0)
    filter_index_ = static_cast<int>(dialog.nFilterIndex);
  if (!confirmed)
    return false;
  file_name = WideToUtf8(buffer.data());
  return true;
}

}  // namespace kv
