#include "app/MessageBox.h"

namespace kv {

const char* MessageTitle(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::kWarning:
      return "Warning";
    case TMessageKind::kInformation:
      return "Information";
    case TMessageKind::kError:
      break;
  }
  return "Error";
}

std::vector<TMessageButton> MessageBoxButtons(TMessageButtons buttons) {
  if (buttons == TMessageButtons::kCancelIgnore)
    return {{"Cancel", TMessageAnswer::kCancel}, {"&Ignore", TMessageAnswer::kIgnore}};
  return {{"OK", TMessageAnswer::kOk}};
}

TMessageAnswer DismissAnswer(TMessageButtons buttons) {
  return buttons == TMessageButtons::kCancelIgnore ? TMessageAnswer::kCancel : TMessageAnswer::kOk;
}

}  // namespace kv
