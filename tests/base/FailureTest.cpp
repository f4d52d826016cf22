#include "base/Failure.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

namespace kv {
namespace {

TEST(FailureTest, EveryExceptionBecomesTheProductsTextInBothForms) {
  struct Row {
    const char* name;
    std::function<void()> fail;
    const char* message;
    const char* in_full;
  };
  const Row rows[] = {
      {"runtime error", [] { throw FileOpenError("a b.exe", "Access is denied"); },
       "Cannot open file \"a b.exe\". Access is denied",
       "EXCEPTION EFOpenError (0) Cannot open file \"a b.exe\". Access is denied"},
      {"help context", [] { throw RuntimeError("EReadError", "Stream read error", 7); },
       "Stream read error", "EXCEPTION EReadError (7) Stream read error"},
      {"memory", [] { throw std::bad_alloc(); }, "Out of memory",
       "EXCEPTION EOutOfMemory (0) Out of memory"},
      {"standard", [] { throw std::length_error("Invalid ImageList"); }, "Invalid ImageList",
       "EXCEPTION Exception (0) Invalid ImageList"},
      {"foreign", [] { throw 42; }, "Unexpected error", "EXCEPTION Exception (0) Unexpected error"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string message = "earlier text";
    EXPECT_FALSE(RunReportingFailure(row.fail, message));
    EXPECT_EQ(message, row.message);
    std::string in_full;
    EXPECT_FALSE(RunReportingFailure(row.fail, in_full, FailureText::kInFull));
    EXPECT_EQ(in_full, row.in_full);
    EXPECT_FALSE(RunIgnoringFailure(row.fail));
    try {
      row.fail();
    } catch (...) {
      EXPECT_EQ(DescribeCurrentException(), row.message);
      EXPECT_EQ(CurrentRuntimeError().Message(), row.message);
    }
  }
}

TEST(FailureTest, ABodyThatReturnsKeepsItsResultAndTheErrorItSet) {
  std::string error;
  EXPECT_TRUE(RunReportingFailure([] {}, error));
  EXPECT_TRUE(RunReportingFailure([] { return true; }, error));
  EXPECT_EQ(error, "");
  EXPECT_FALSE(RunReportingFailure(
      [&] {
        error = "File size is 2, but max allowed size is 1";
        return false;
      },
      error));
  EXPECT_EQ(error, "File size is 2, but max allowed size is 1");
}

}  // namespace
}  // namespace kv
