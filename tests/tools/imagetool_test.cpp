// imagetool as tests and scripts run it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/run_command.h"
#include "support/temp_folder.h"

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

// A refused value says why, beside the usage; a value the screen builder
// replaces is said, and the command still runs.
TEST(ImageTool, RefusalsAndSubstitutionsAreSaid) {
  testsupport::TempFolder folder{"imagetool-say"};
  const std::string in = (folder.path() / "in.pgm").string(), out = (folder.path() / "out.pbm").string();
  std::ofstream(in, std::ios::binary) << "P5\n8 8\n255\n" << std::string(64, char(100));
  struct Case {
    std::string args;
    int exitCode;
    const char* said;
  } cases[] = {
      {"tone --curve 25 " + in + " " + out, 2, "imagetool: --curve takes 0..19, not 25\nusage:"},
      {"separate --mode 1 a.ppm b.pgm c.pgm", 2, "imagetool: --mode takes 2..17, not 1"},
      {"colour 300 0 0", 2, "imagetool: a channel takes 0..255, not 300\nusage:"},
      {"screen --frequency 3 " + in + " " + out, 2, "imagetool: unknown option --frequency"},
      {"screen --lines 999 " + in + " " + out, 0,
       "imagetool: --lines 999 at 45 degrees makes no screen cell at 600 dpi: the screen uses 100 lines at 45 "
       "degrees\n"},
      {"screen --angle 400 " + in + " " + out, 0, "imagetool: --angle 400 is outside 0..90: the screen uses 40 degrees\n"},
  };
  for (const Case& c : cases) {
    std::string said;
    EXPECT_EQ(testsupport::RunCommand(std::string(BIN_DIR_STR) + "/imagetool " + c.args + " 2>&1 >/dev/null", &said),
              c.exitCode)
        << c.args << "\n" << said;
    EXPECT_EQ(said.rfind(c.said, 0), 0u) << c.args << "\n" << said;
  }
}

// An output that cannot be written whole (a file size limit of 0 plays the
// full drive) fails the command and leaves neither a truncated file nor an
// earlier one changed.
TEST(ImageTool, AnOutputIsWholeOrUntouched) {
  testsupport::TempFolder folder{"imagetool-whole"};
  const std::filesystem::path in = folder.path() / "in.pgm", out = folder.path() / "out.pgm";
  std::ofstream(in, std::ios::binary) << "P5\n64 64\n255\n" << std::string(64 * 64, char(100));
  std::ofstream(out, std::ios::binary) << "earlier";
  const std::string command = "bash -c \"trap '' XFSZ; ulimit -f 0; '" + std::string(BIN_DIR_STR) +
                              "/imagetool' tone --curve 4 '" + in.string() + "' '" + out.string() + "'\" 2>&1";
  std::string said;
  EXPECT_EQ(testsupport::RunCommand(command, &said), 1) << said;
  EXPECT_NE(said.find("imagetool: cannot write " + out.string()), std::string::npos) << said;
  std::ifstream kept(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), std::istreambuf_iterator<char>()), "earlier");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), std::filesystem::directory_iterator()), 2)
      << "no temporary file is left";
}

}  // namespace
