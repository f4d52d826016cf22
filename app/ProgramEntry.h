// The process entry shared by every build of the program: decides once between the interactive
// path (no arguments), the help and version switches and the unattended run, and returns the
// exit code. What differs between platforms (where text goes, the windows) is behind
// ProgramHost.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/WindowTexts.h"

namespace kv {

class ProgramHost {
 public:
  virtual ~ProgramHost() = default;
  // The line end of console text: CR LF on Windows, LF elsewhere.
  virtual std::string_view LineEnd() const = 0;
  // Writes text where the user who started the program sees it (standard output or the parent's
  // console); false when there is no such place.
  virtual bool WriteOutput(const std::string& text) = 0;
  // True when the text of WriteOutput goes to a terminal a person watches (not a file or a pipe).
  virtual bool OutputIsTerminal() { return false; }
  // Writes the error line of a failed run; it is dropped when there is nowhere to write it.
  virtual void WriteError(const std::string& text) = 0;
  // Shows the usage text in the note window and returns when the user has closed it.
  virtual void ShowNote(const std::string& text) = 0;
  // The path taken without arguments; returns the exit code.
  virtual int RunWithoutArguments() = 0;
  // The language of the windows.
  virtual TUiLanguage Language() const { return TUiLanguage::kEnglish; }
};

// Shows the usage text: on the console (in English) followed by one more line end, or else in
// the note window (in the host's language).
void ShowUsage(ProgramHost& host);

// Runs the program on its arguments (the program name excluded); returns the exit code.
int RunProgram(const std::vector<std::string>& arguments, ProgramHost& host);

}  // namespace kv
