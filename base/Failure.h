// Failures turned into text at an operation's boundary, so that no exception leaves it.
// RunReportingFailure runs a body and, when it throws, gives false with the exception's text;
// DescribeCurrentException gives that text inside a catch block (a window procedure's catch-all).
#pragma once

#include <string>
#include <type_traits>
#include <utility>

#include "base/RuntimeError.h"

namespace kv {

enum class FailureText {
  kMessage,  // the message alone: "Cannot open file ...", "Out of memory"
  kInFull,   // "EXCEPTION " + class name + " (" + help context + ") " + message
};

// The exception being handled as one of the runtime's errors: a RuntimeError as it is, running
// out of memory as OutOfMemoryError(), any other exception with its what() text or
// "Unexpected error". Call only inside a catch block. Never throws.
RuntimeError CurrentRuntimeError() noexcept;

// The text of CurrentRuntimeError() in the given form. Call only inside a catch block.
std::string DescribeCurrentException(FailureText form = FailureText::kMessage) noexcept;

// Runs body, which returns bool or nothing, and gives its result (true for nothing). When the body
// throws, error becomes DescribeCurrentException(form) and the result is false.
template <typename Body>
bool RunReportingFailure(Body&& body, std::string& error,
                         FailureText form = FailureText::kMessage) noexcept {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
      body();
      return true;
    } else {
      return body();
    }
  } catch (...) {
    error = DescribeCurrentException(form);
    return false;
  }
}

// For look-ups and checks whose failure means "not found" or "not valid": the body's result, or
// false when it throws.
template <typename Body>
bool RunIgnoringFailure(Body&& body) noexcept {
  std::string unused;
  return RunReportingFailure(std::forward<Body>(body), unused);
}

}  // namespace kv
