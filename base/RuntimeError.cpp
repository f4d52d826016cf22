#include "base/RuntimeError.h"

#include <utility>

#include "base/FailureMessages.h"

namespace kv {

RuntimeError::RuntimeError(std::string class_name, std::string message, int help_context)
    : class_name_(std::move(class_name)),
      message_(std::move(message)),
      help_context_(help_context) {}

RuntimeError FileOpenError(const std::string& path, const std::string& reason) {
  return RuntimeError(
      "EFOpenError",
      reason.empty() ? FailureMessageText(FailureMessage::kCannotOpenFile, {path})
                     : FailureMessageText(FailureMessage::kCannotOpenFileBecause, {path, reason}));
}

RuntimeError FileCreateError(const std::string& path, const std::string& reason) {
  return RuntimeError("EFCreateError",
                      reason.empty() ? FailureMessageText(FailureMessage::kCannotCreateFile, {path})
                                     : FailureMessageText(FailureMessage::kCannotCreateFileBecause,
                                                          {path, reason}));
}

RuntimeError StreamReadError() {
  return RuntimeError("EReadError", FailurePattern(FailureMessage::kStreamReadError));
}

RuntimeError StreamWriteError() {
  return RuntimeError("EWriteError", FailurePattern(FailureMessage::kStreamWriteError));
}

RuntimeError OutOfMemoryError() {
  return RuntimeError("EOutOfMemory", FailurePattern(FailureMessage::kOutOfMemory));
}

std::string DescribeRuntimeError(const RuntimeError& error) {
  return FailureMessageText(
      FailureMessage::kRuntimeErrorInFull,
      {error.ClassName(), std::to_string(error.HelpContext()), error.Message()});
}

}  // namespace kv
