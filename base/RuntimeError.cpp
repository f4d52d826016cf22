#include "base/RuntimeError.h"

#include <utility>

namespace kv {

RuntimeError::RuntimeError(std::string class_name, std::string message, int help_context)
    : class_name_(std::move(class_name)),
      message_(std::move(message)),
      help_context_(help_context) {}

namespace {
std::string WithReason(std::string text, const std::string& reason) {
  if (!reason.empty())
    text += ". " + reason;
  return text;
}
}  // namespace

RuntimeError FileOpenError(const std::string& path, const std::string& reason) {
  return RuntimeError("EFOpenError", WithReason("Cannot open file \"" + path + "\"", reason));
}

RuntimeError FileCreateError(const std::string& path, const std::string& reason) {
  return RuntimeError("EFCreateError", WithReason("Cannot create file \"" + path + "\"", reason));
}

RuntimeError StreamReadError() {
  return RuntimeError("EReadError", "Stream read error");
}

RuntimeError StreamWriteError() {
  return RuntimeError("EWriteError", "Stream write error");
}

RuntimeError OutOfMemoryError() {
  return RuntimeError("EOutOfMemory", "Out of memory");
}

std::string DescribeRuntimeError(const RuntimeError& error) {
  return "EXCEPTION " + error.ClassName() + " (" + std::to_string(error.HelpContext()) + ") " +
         error.Message();
}

}  // namespace kv
