#include "base/Failure.h"

#include <exception>
#include <new>

#include "base/FailureMessages.h"

namespace kv {

namespace {

RuntimeError Classify() {
  try {
    throw;
  } catch (const RuntimeError& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return OutOfMemoryError();
  } catch (const std::exception& error) {
    return RuntimeError("Exception", error.what());
  } catch (...) {
    return RuntimeError("Exception", FailurePattern(FailureMessage::kUnexpectedError));
  }
}

}  // namespace

RuntimeError CurrentRuntimeError() noexcept {
  try {
    return Classify();
  } catch (...) {
    // Copying the text ran out of memory. OutOfMemoryError's texts fit in the strings' own
    // storage, so making it allocates nothing.
    return OutOfMemoryError();
  }
}

std::string DescribeCurrentException(FailureText form) noexcept {
  const RuntimeError error = CurrentRuntimeError();
  try {
    return form == FailureText::kInFull ? DescribeRuntimeError(error) : error.Message();
  } catch (...) {
    return OutOfMemoryError().Message();
  }
}

}  // namespace kv
