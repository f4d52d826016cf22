// The window of the program started without arguments. Windows only.
#pragma once

namespace kv {

// Creates the main window and runs the message loop until it is closed; returns the exit code.
int RunMainWindow();

}  // namespace kv
