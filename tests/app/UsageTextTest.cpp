#include "app/UsageText.h"

#include <gtest/gtest.h>

#include <vector>

namespace kv {
namespace {

std::vector<std::string> SplitLines(const std::string& text, const std::string& line_end) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(line_end, start)) != std::string::npos;
       start = end + line_end.size()) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text must end with a line end";
  return lines;
}

TEST(UsageTextTest, DescriptionsStartInColumn23) {
  const std::vector<std::string> lines = SplitLines(UsageText("\n"), "\n");
  ASSERT_EQ(lines.size(), 21u);
  const std::string switches[] = {"-cf:<filename>",  "-cu:<KV server url>", "-ai:<filename>",
                                  "-src:<filename>", "-out:<filename>",     "-list:<filename>",
                                  "-list:<folder>",  "-receipt:<filename>"};
  int switch_index = 0;
  for (std::size_t i = 6; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    ASSERT_GT(line.size(), 22u) << i;
    EXPECT_NE(line[22], ' ') << i;
    const std::string head = line.substr(0, 22);
    if (head == std::string(22, ' '))
      continue;  // continuation line
    ASSERT_LT(switch_index, 8);
    EXPECT_LE(line.size(), 79u) << i;
    const std::string& name = switches[switch_index++];
    EXPECT_EQ(head, name + std::string(22 - name.size(), ' ')) << i;
  }
  EXPECT_EQ(switch_index, 8);
}

TEST(VersionTextTest, NameAndVersion) {
  EXPECT_EQ(VersionText("\n").rfind("KVSetupConfigurator ", 0), 0u);
  EXPECT_EQ(VersionText("\r\n").substr(VersionText("\r\n").size() - 2), "\r\n");
}

}  // namespace
}  // namespace kv
