#include "app/ConsoleTarget.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(ConsoleTargetTest, Table) {
  struct Row {
    StandardOutputKind output;
    AttachResult attach;
    ConsoleTarget target;
    bool attach_called;
  };
  const Row rows[] = {
      // Redirected output wins; the parent's console is not even attached.
      {StandardOutputKind::kRedirected, AttachResult::kAttached, ConsoleTarget::kStandardOutput,
       false},
      {StandardOutputKind::kConsole, AttachResult::kFailed, ConsoleTarget::kOwnConsole, false},
      {StandardOutputKind::kMissing, AttachResult::kAttached, ConsoleTarget::kParentConsole, true},
      {StandardOutputKind::kMissing, AttachResult::kAlreadyAttached, ConsoleTarget::kParentConsole,
       true},
      {StandardOutputKind::kMissing, AttachResult::kFailed, ConsoleTarget::kNowhere, true},
  };
  for (const Row& row : rows) {
    bool called = false;
    const ConsoleTarget target = ChooseConsoleTarget(row.output, [&] {
      called = true;
      return row.attach;
    });
    EXPECT_EQ(target, row.target);
    EXPECT_EQ(called, row.attach_called);
  }
}

}  // namespace
}  // namespace kv
