// The file dialogs of the main window as plain data: the open dialog of each browse button, the
// save dialog of the store action, and the rules for what a reused dialog carries over (the
// filter index, the remembered output name).
#pragma once

#include <string>

#include "app/WindowTexts.h"

namespace kv {

struct TFileDialogSetup {
  std::string Title;
  std::string Filter;      // pairs "Name|Patterns", joined by "|"
  std::string DefaultExt;  // without the dot; empty: none
  int FilterIndex = 0;     // 1-based; 0: the index the dialog carried over from its last use
  std::string FileName;    // the name the dialog offers
  // Save: asks before overwriting an existing file. Open: the folder and the file must exist.
  // Both hide the read-only check box and are resizable.
  bool Save = false;
};

// The three fields a browse button fills, and the setup file whose view the system menu opens.
enum class TBrowseField { kOriginalSetupFile, kKVConfigFile, kAutoinstallSRG, kShownSetupFile };

// The open dialog of a browse button, offering the field's current text unchanged.
TFileDialogSetup BrowseDialogSetup(TBrowseField field, const std::string& field_text,
                                   TUiLanguage language = TUiLanguage::kEnglish);

// The save dialog for the new setup file: MSI filter and extension when the source's extension is
// ".msi" (any case), else EXE; it offers the name chosen at its previous use with this run's
// extension, so an executable is never saved under a remembered ".msi" name (or the reverse).
TFileDialogSetup SaveDialogSetup(const std::string& source_file, const std::string& remembered_name,
                                 TUiLanguage language = TUiLanguage::kEnglish);

// The number of "Name|Patterns" pairs in a filter.
int FilterEntryCount(const std::string& filter);

// The filter as the system's file dialogs take it: its entries separated by zeros and ended by
// two of them.
std::string DialogFilterText(const std::string& filter);

// The filter index a reused dialog shows: the wanted one when set, else the carried-over one,
// which falls back to 1 when the new filter has fewer entries.
int EffectiveFilterIndex(const TFileDialogSetup& setup, int carried_index);

}  // namespace kv
