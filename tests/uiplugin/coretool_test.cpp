// coretool against the UI plug-in: parts written, carried and merged, the
// capability query and the usage answers.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/byte_order.h"
#include "support/run_command.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::string Tool() { return testsupport::OurProgram(std::string(BIN_DIR_STR) + "/coretool"); }

std::vector<unsigned char> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CoretoolTest : public ::testing::Test {
 protected:
  int Run(const std::string& args, std::string* out = nullptr) {
    return testsupport::RunCommand(Tool() + " " + args + " 2>&1", out);
  }
  fs::path Path(const char* name) const { return dir_.path() / name; }
  testsupport::TempFolder dir_{"coretool"};
};

TEST_F(CoretoolTest, DefaultPartWithSettings) {
  std::string out;
  const fs::path part = Path("default.part");
  ASSERT_EQ(Run("--trace default --out " + part.string() + " --set Copies=7", &out), 0) << out;
  EXPECT_NE(out.find("OEMDM_SIZE 0x00000000"), std::string::npos) << out;
  EXPECT_NE(out.find("OEMDM_DEFAULT 0x00000000"), std::string::npos) << out;
  EXPECT_NE(out.find("COemNevoUI::hrOEMDevMode OEMDM_DEFAULT\n"), std::string::npos) << out;
  EXPECT_NE(out.find("COemNevoUI::OEMDM_DEFAULT Register be setted\n"), std::string::npos) << out;
  const auto bytes = ReadBytes(part);
  ASSERT_EQ(bytes.size(), 3248u);
  EXPECT_EQ(GetLe32(bytes.data()), 3248u);
  EXPECT_EQ(GetLe32(bytes.data() + 4), 0x4E45564Fu);
  EXPECT_EQ(GetLe32(bytes.data() + 8), 1u);
}

TEST_F(CoretoolTest, MergeRepairsTheHeaderAndConvertReplacesAForeignPart) {
  const fs::path part = Path("a.part");
  ASSERT_EQ(Run("default --out " + part.string()), 0);
  auto damaged = ReadBytes(part);
  damaged[8] = 9;  // version
  {
    std::ofstream f(Path("damaged.part"), std::ios::binary);
    f.write(reinterpret_cast<const char*>(damaged.data()), static_cast<std::streamsize>(damaged.size()));
  }
  const std::string damagedPath = Path("damaged.part").string();
  std::string out;
  ASSERT_EQ(Run("merge " + damagedPath + " " + part.string() + " --out " + Path("m.part").string(), &out), 0) << out;
  EXPECT_EQ(ReadBytes(Path("m.part")), ReadBytes(part));

  damaged[4] = 'X';  // signature
  {
    std::ofstream f(Path("damaged.part"), std::ios::binary);
    f.write(reinterpret_cast<const char*>(damaged.data()), static_cast<std::streamsize>(damaged.size()));
  }
  ASSERT_EQ(Run("convert " + damagedPath + " " + part.string() + " --out " + Path("c.part").string(), &out), 0) << out;
  EXPECT_EQ(ReadBytes(Path("c.part")), ReadBytes(part)) << "the defaults replace a foreign part";
}

TEST_F(CoretoolTest, CapabilitiesAndUsage) {
  std::string out;
  ASSERT_EQ(Run("caps 2", &out), 0) << out;
  EXPECT_NE(out.find("DeviceCapabilities 0x0004DC01"), std::string::npos) << out;
  EXPECT_NE(out.find("result 9"), std::string::npos) << out;
  const fs::path part = Path("p.part");
  ASSERT_EQ(Run("default --out " + part.string()), 0);
  ASSERT_EQ(Run("caps 11 --part " + part.string(), &out), 0) << out;
  EXPECT_NE(out.find("result " + std::to_string(0x3093)), std::string::npos) << out;

  ASSERT_EQ(Run("ids", &out), 0);
  EXPECT_NE(out.find("CLSID_OEMUI {4E45564F-0000-4000-8000-000000000002}"), std::string::npos) << out;
  EXPECT_NE(out.find("IID_IPrintOemUI2 {504C4154-0000-4000-8000-000000000003}"), std::string::npos) << out;

  struct Case {
    const char* args;
    int rc;
  } cases[] = {{"", 2}, {"default", 2}, {"convert a", 2}, {"caps x", 2}, {"--bogus ids", 2},
               {"default --out x --set NoSuchField=1", 2}, {"convert /nonexistent /nonexistent --out x", 2},
               {"--ui /nonexistent.so caps 2", 3}};
  for (const Case& c : cases) EXPECT_EQ(Run(c.args), c.rc) << c.args;
}

}  // namespace
