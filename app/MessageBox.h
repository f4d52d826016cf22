// The program's message boxes as plain data: the kind (error, warning, information) with its
// title, the button set (OK, or the signature question's "Cancel" and "&Ignore"), which button
// has the focus, and which answer Enter, Escape and the close box give.
#pragma once

#include <string>
#include <vector>

namespace kv {

enum class TMessageKind { kError, kWarning, kInformation };
enum class TMessageButtons { kOk, kCancelIgnore };
enum class TMessageAnswer { kOk, kCancel, kIgnore };

struct TMessageBoxContent {
  TMessageKind Kind = TMessageKind::kError;
  TMessageButtons Buttons = TMessageButtons::kOk;
  std::string Text;
};

struct TMessageButton {
  const char* Caption;  // with "&" before the accelerator letter
  TMessageAnswer Answer;
};

// "Error", "Warning" or "Information".
const char* MessageTitle(TMessageKind kind);

// The buttons from left to right; the first one has the focus when the box opens.
std::vector<TMessageButton> MessageBoxButtons(TMessageButtons buttons);

// The answer of Escape and of the close box: OK for a box with only OK, else "Cancel".
TMessageAnswer DismissAnswer(TMessageButtons buttons);

}  // namespace kv
