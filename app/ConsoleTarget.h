// Where the Windows program writes its console text: to a standard output handle the starter
// redirected to a file or a pipe; else to the console the standard output handle belongs to (the
// console-subsystem twin started from a console); else to the console of the parent process once
// attached to it (an attach refused because the process has a console already counts as
// attached); else nowhere. The GUI program started from Explorer ends there.
#pragma once

#include <functional>

namespace kv {

enum class StandardOutputKind {
  kRedirected,  // a file, a pipe or another non-console device
  kConsole,     // a console handle
  kMissing,     // no usable handle
};

enum class AttachResult {
  kAttached,
  kAlreadyAttached,  // the process has a console already
  kFailed,           // no parent console
};

enum class ConsoleTarget {
  kStandardOutput,
  kOwnConsole,
  kParentConsole,
  kNowhere,
};

// Decides the target; attach is called only when standard output is neither redirected nor a
// console.
ConsoleTarget ChooseConsoleTarget(StandardOutputKind output,
                                  const std::function<AttachResult()>& attach);

}  // namespace kv
