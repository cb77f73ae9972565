// imagetool as tests and scripts run it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/run_command.h"

namespace {

// Runs imagetool with the arguments; the exit status and what it printed.
int RunImageTool(const std::string& args, std::string& out) {
  const std::string command = std::string(BIN_DIR_STR) + "/imagetool " + args + " 2>/dev/null";
  return testsupport::RunCommand(command, &out);
}

TEST(ImageTool, ColourPrintsDensityClassHueAndChroma) {
  struct Case {
    const char* args;
    const char* line;
  } cases[] = {
      {"colour 255 255 255", "density=0 plate=1 class_density=0 hue=0 low=1\n"},
      {"colour 0 0 0 --code 1", "density=255 plate=2 class_density=255 hue=0 low=1\n"},
      {"colour 0 255 0", "density=106 plate=1 class_density=104 hue=120 low=0\n"},
      // A red of hue 0 under code 58 goes to plate 1, denser than black's divisor.
      {"colour 255 0 0 --code 58", "density=179 plate=1 class_density=254 hue=0 low=0\n"},
      // Code 2 with an unknown object kind answers as code 0.
      {"colour 120 100 105 --code 2 --kind 5", "density=149 plate=1 class_density=153 hue=345 low=0\n"},
      {"colour 120 100 105 --kind 1 --code 2", "density=149 plate=1 class_density=255 hue=345 low=0\n"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(RunImageTool(c.args, out), 0) << c.args;
    EXPECT_EQ(out, c.line) << c.args;
  }
}

TEST(ImageTool, BadArgumentsGiveUsage) {
  for (const char* args : {"", "colour", "colour 1 2", "colour 1 2 256", "colour 1 2 3 4", "colour 1 2 3 --code",
                           "colour 1 2 x", "paint 1 2 3"}) {
    std::string out;
    EXPECT_EQ(RunImageTool(args, out), 2) << args;
    EXPECT_EQ(out, "") << args;
  }
}

}  // namespace
