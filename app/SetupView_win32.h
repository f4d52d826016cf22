// The views of setup files: modeless, resizable, read-only windows, one per file, that show what
// the file holds as kvreadback prints it, with a button that copies the whole text. A view
// closes with Escape. Windows only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace kv {

class TTextForm;

class TSetupViews {
 public:
  TSetupViews();
  ~TSetupViews();  // closes the views still open
  TSetupViews(const TSetupViews&) = delete;
  TSetupViews& operator=(const TSetupViews&) = delete;

  // Reads the file anew and shows it in its view, opened owned by owner or, when one is open for
  // the same file, brought to the front. A file that cannot be read shows the reason.
  void Show(HWND owner, const std::string& file_name);

 private:
  std::vector<std::unique_ptr<TTextForm>> views_;
};

}  // namespace kv
