// The main window's "Store to new SETUP" action, free of any window system: it reads the fields
// through TStoreWindow at the moment it needs them, obtains and checks the package, asks about a
// missing or invalid signature, reads the answer file, asks for the output file, has the
// configured copy written and reports the outcome in one message box. Never throws.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/MainFormDialogs.h"
#include "app/MessageBox.h"
#include "app/WindowTexts.h"
#include "config/ConfigPackage.h"
#include "config/DownloadPackage.h"

namespace kv {

enum class TStoreField { kOriginalSetupFile, kKVServerURL, kKVConfigFile, kAutoinstallSRG };

// What the action needs of the window.
class TStoreWindow {
 public:
  virtual ~TStoreWindow() = default;
  // The field's text as it is now.
  virtual std::string ReadField(TStoreField field) = 0;
  // True when the download choice is selected, false for the package file choice.
  virtual bool ServerUrlSelected() = 0;
  virtual void EnableStoreButton(bool enabled) = 0;
  // Shows a modal message box and returns the answer.
  virtual TMessageAnswer ShowMessageBox(const TMessageBoxContent& content) = 0;
  // Shows the save dialog; false when the user cancelled it.
  virtual bool ChooseOutputFile(const TFileDialogSetup& setup, std::string& file_name) = 0;
  // Lets the window handle its pending messages (called while the download waits).
  virtual void Pump() = 0;
  // Shows how far the copy of the store is (done of total bytes) and, as Pump, lets the window
  // handle its pending messages. The window takes the display down once the action ends.
  virtual void ShowProgress(std::int64_t done, std::int64_t total) = 0;
  // True once the user asked to close the window; the action then stops at its next step without
  // any further dialog and without writing.
  virtual bool CloseRequested() = 0;
};

using ParsePackageFunction =
    std::function<bool(const std::string& text, TKVConfigBinData& data, std::string& error)>;

// The download client and the parser; tests replace them. The language of the messages, the
// dialogs and the download's texts.
struct TStoreServices {
  DownloadOptions Download;
  ParsePackageFunction Parse = ParseConfigPackage;
  TUiLanguage Language = TUiLanguage::kEnglish;
};

class TStoreToSetupAction {
 public:
  explicit TStoreToSetupAction(TStoreServices services = {}) : services_(std::move(services)) {}

  // One click of the store button: the button is disabled until the action ends, on every path.
  void Run(TStoreWindow& window);
  // The setup file the last successful store wrote; empty before the first one.
  const std::string& LastStoredFile() const { return last_stored_; }

 private:
  void Store(TStoreWindow& window);

  TStoreServices services_;
  // The output file chosen at the save dialog's previous use, offered again.
  std::string remembered_output_;
  std::string last_stored_;
};

}  // namespace kv
