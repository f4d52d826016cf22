// Every text the program's windows show, one table per language: English (the original texts,
// byte for byte, the default), Slovak and Czech. The language follows the Windows user-interface
// language; the unattended run's console output stays English whatever it is. Texts are UTF-8;
// "&" marks a mnemonic in captions. Patterns hold %1, %2 for the values Fill puts in.
#pragma once

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/FailureMessages.h"

namespace kv {

enum class TUiLanguage { kEnglish, kSlovak, kCzech };

// The language of a Windows language identifier (LANGID): Slovak (primary 0x1B) and Czech
// (primary 0x05); every other one English.
TUiLanguage UiLanguageOf(unsigned language_id);

// One line of the usage text's switch list: the switch with its placeholder, and the lines of
// its description (the first one beside the switch).
struct TUsageSwitch {
  const char* Switch;
  std::array<const char*, 3> Lines;  // unused ones are null
};

// A failure text of the lower layers in one language: the pattern for the row of kFailurePatterns
// with the same id, with the same placeholders.
struct TFailureTranslation {
  FailureMessage Id;
  const char* Text;
};

struct TWindowTexts {
  const char* DownloadLanguage;  // the code DownloadPackage takes: "EN", "SK", "CZ"

  // The main window.
  const char* MainCaption;
  const char* OriginalSetupLabel;  // Label8
  const char* ServerUrlChoice;     // rbKVURL
  const char* PackageFileChoice;   // rbKVConfig
  const char* AnswerFileLabel;     // Label3
  const char* AnswerFileHint;      // Label1
  const char* StoreButton;         // btStoreToSetup
  // Names and tooltips of the three browse buttons.
  const char* BrowseOriginalSetup;
  const char* BrowsePackageFile;
  const char* BrowseAnswerFile;
  const char* ShowSetupItem;  // the system menu's items
  const char* ShowStoredItem;

  // File dialogs: titles and filters ("Name|Patterns|...").
  const char* ChooseOriginalSetup;
  const char* ChoosePackageFile;
  const char* ChooseAnswerFile;
  const char* ChooseShownSetup;
  const char* ChooseNewSetup;
  const char* SetupFilter;
  const char* PackageFilter;
  const char* AnswerFileFilter;
  const char* SaveMsiFilter;
  const char* SaveExeFilter;

  // Message boxes.
  const char* ErrorTitle;
  const char* WarningTitle;
  const char* InformationTitle;
  const char* OkButton;
  const char* CancelButton;
  const char* IgnoreButton;

  // The store action's messages.
  const char* OriginalSetupMissing;
  const char* ServerUrlMissing;
  const char* PackageFileMissing;
  const char* SignatureInvalid;
  const char* SignatureMissing;
  const char* PackageNotFound;    // %1: the quoted file name
  const char* AnswerNotFound;     // %1: the quoted file name
  const char* PackageLoadFailed;  // %1: the quoted file name, %2: the loader's text
  const char* AnswerLoadFailed;   // %1: the quoted file name, %2: the loader's text
  const char* ParseFailed;        // %1: the parser's text
  // [0] without an answer file, [1] with one.
  std::array<const char*, 2> SaveFailed;
  std::array<const char*, 2> SavedSigned;
  std::array<const char*, 2> SavedUnsigned;

  // The text windows.
  const char* NoteCaption;
  const char* NoteTextName;  // the accessible name of the note's text box
  const char* ViewTextName;  // and of a view's
  const char* CopyButton;
  const char* ClipboardFailed;

  // The usage text: its heading lines, then the switches.
  std::array<const char*, 6> UsageHeading;
  std::array<TUsageSwitch, 8> UsageSwitches;

  // The lower layers' failure texts, in the order of their ids (none in English, which shows
  // them as they are).
  std::array<TFailureTranslation, kFailureMessageCount> Failures;
};

const TWindowTexts& WindowTexts(TUiLanguage language);

// A failure text of the lower layers (built from kFailurePatterns) in the language: the quoted
// file names in it as they are, its other values (reasons) translated in turn. A text that is no
// such failure, and every text in English, stays as it is.
std::string FailureInLanguage(std::string_view text, TUiLanguage language);

// The caption without its mnemonic marks ("&&" stays one "&"): what the control is named.
std::string WithoutMnemonic(std::string_view caption);

// The number of characters (code points) of a UTF-8 text.
std::size_t Utf8Length(std::string_view text);

}  // namespace kv
