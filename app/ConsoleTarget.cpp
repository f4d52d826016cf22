#include "app/ConsoleTarget.h"

namespace kv {

ConsoleTarget ChooseConsoleTarget(StandardOutputKind output,
                                  const std::function<AttachResult()>& attach) {
  switch (output) {
    case StandardOutputKind::kRedirected:
      return ConsoleTarget::kStandardOutput;
    case StandardOutputKind::kConsole:
      return ConsoleTarget::kOwnConsole;
    case StandardOutputKind::kMissing:
      break;
  }
  switch (attach()) {
    case AttachResult::kAttached:
    case AttachResult::kAlreadyAttached:
      return ConsoleTarget::kParentConsole;
    case AttachResult::kFailed:
      break;
  }
  return ConsoleTarget::kNowhere;
}

}  // namespace kv
