// The command line: exact, case-sensitive tokens; a path option at the end has no path.

#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace coral {
namespace {

TEST(CommandLine, TokensPathsAndWhatIsIgnored) {
  struct Row {
    std::vector<std::string> tokens;
    std::string screenshot;
    bool noIO;
    std::vector<std::string> ignored;
    std::string error;
  };
  const Row rows[] = {
      {{}, "", false, {}, ""},
      {{"--screenshot"}, "", false, {}, ""},
      {{"--screenshot", "shot.png"}, "shot.png", true, {}, ""},
      {{"--no-io", "--SCREENSHOT", "x.png", "--no-io=1"},
       "",
       true,
       {"--SCREENSHOT", "x.png", "--no-io=1"},
       ""},
      {{"--screenshot", "--no-io"}, "--no-io", true, {}, ""},
      {{"--load-state"}, "", false, {}, "--load-state needs a file path"},
  };
  for (const Row& row : rows) {
    const CommandLine line = ParseCommandLine(row.tokens);
    EXPECT_EQ(line.screenshotPath, row.screenshot);
    EXPECT_EQ(line.noIO, row.noIO);
    EXPECT_EQ(line.ignored, row.ignored);
    EXPECT_EQ(line.error, row.error);
  }
  const CommandLine state = ParseCommandLine({"--save-state", "a b.state", "--help", "--version"});
  EXPECT_EQ(state.saveStatePath, "a b.state");
  EXPECT_TRUE(state.help && state.version);
}

} // namespace
} // namespace coral
