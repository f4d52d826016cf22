// Console text of the Windows program, written where the user who started it sees it (see
// ConsoleTarget.h for the rules). UTF-8 text; a console receives it as UTF-16.
#pragma once

#include <string>

namespace kv {

// Writes text; false when there is no standard output and no parent console.
bool WriteToStartingConsole(const std::string& text);

// True when that text goes to a console window (not to a file, a pipe or nowhere).
bool StartingConsoleIsTerminal();

}  // namespace kv
