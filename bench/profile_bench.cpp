// Profile lookups in a large file (a model data file's 200,000 keys more
// than it needs) against the same lookups in a file of 100 keys, in one
// run: the large file is indexed once when read, so a query costs what it
// costs in the small one. Goal: at most 2x.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_summary.h"
#include "plat/machine.h"
#include "plat/profile.h"
#include "plat/strings.h"

namespace {

// A machine root of its own in a temporary folder, removed at exit.
struct Files {
  std::filesystem::path root;
  Files() {
    char name[] = "/tmp/bench-profile-XXXXXX";
    root = mkdtemp(name) ? name : "/tmp/bench-profile";
    plat::machine::SetRoot(root.string());
    plat::machine::Reset();
    const auto data = root / "C" / "data";
    std::filesystem::create_directories(data);
    Write(data / "big.ini", "Big", 200000);
    Write(data / "small.ini", "Small", 100);
  }
  ~Files() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  static void Write(const std::filesystem::path& path, const char* section, int keys) {
    std::ofstream out(path, std::ios::binary);
    out << "[first]\r\nA=1\r\n[" << section << "]\r\n";
    for (int i = 0; i < keys; ++i) out << "Key" << i << "=v" << i << "\r\n";
    out << "[Last]\r\nEnd=yes\r\n";
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

// 100 queries of the section's last keys, as a driver asks for its values.
void Queries(benchmark::State& state, LPCWSTR section, LPCWSTR file, int keys) {
  TheFiles();
  std::vector<std::u16string> names;
  for (int i = 0; i < 100; ++i) names.push_back(plat::u16("kEY" + std::to_string(keys - 1 - i)));
  WCHAR value[32];
  GetPrivateProfileStringW(section, names[0].c_str(), u"", value, 32, file);  // read and parsed here
  for (auto _ : state)
    for (const std::u16string& name : names) {
      GetPrivateProfileStringW(section, name.c_str(), u"", value, 32, file);
      benchmark::DoNotOptimize(value);
    }
}

void BM_SmallFileQueries(benchmark::State& state) { Queries(state, u"Small", u"C:\\data\\small.ini", 100); }
void BM_LargeFileQueries(benchmark::State& state) { Queries(state, u"Big", u"C:\\data\\big.ini", 200000); }

BENCHMARK(BM_SmallFileQueries)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LargeFileQueries)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return benchsupport::RunWithRatioGoals(argc, argv, {
      {"100 queries", "BM_LargeFileQueries", "BM_SmallFileQueries", "in a file of 100 keys", 2},
  });
}
