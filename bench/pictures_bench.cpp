// The setting pictures per change (the layout picture and both ink pictures,
// composed in memory and copied once) against a memcpy of three 142 x 142
// 24-bit bitmaps in the same run. Goal: under 1 ms for the three.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_summary.h"
#include "plat/windows.h"
#include "sheets/setting_pictures.h"

namespace {

HMODULE Resources() {
  static HMODULE module = LoadLibraryW(plat::u16(std::string(RESOURCES_DIR_STR) + "/NEVORES.DLL").c_str());
  return module;
}

void BM_ThreePictures(benchmark::State& st) {
  SheetState s{};
  s.ResourceDll = Resources();
  s.Pictures = NewPictureBitmaps();  // as an open sheet has them
  s.Duplex = 1;
  s.SyuuiYohaku = 1;
  s.Rotate = 1;
  s.LayoutMode = 2;
  s.LayoutSub = 1;
  s.LayoutKind = 1;
  s.BindingPosition = 1;
  s.ColorMode = 2;
  s.Seihan = 2;
  s.SeparationModeA = 4;
  s.SeparationModeB = 8;
  s.Drum1Color = 1003;
  s.Drum2Color = 1004;
  HWND dialog = plat::CreateHeadlessDialog(
      {{kLayoutPicture, plat::ControlKind::Static, u"", true, SS_OWNERDRAW, {0, 0, 142, 142}},
       {kTextInkPicture, plat::ControlKind::Static, u"", true, SS_OWNERDRAW, {150, 0, 292, 142}},
       {kImageInkPicture, plat::ControlKind::Static, u"", true, SS_OWNERDRAW, {300, 0, 442, 142}}});
  DRAWITEMSTRUCT items[3] = {};
  const int ids[3] = {kLayoutPicture, kTextInkPicture, kImageInkPicture};
  for (int i = 0; i < 3; ++i) {
    items[i].CtlID = static_cast<UINT>(ids[i]);
    items[i].hwndItem = GetDlgItem(dialog, ids[i]);
    items[i].hDC = GetDC(items[i].hwndItem);
    GetClientRect(items[i].hwndItem, &items[i].rcItem);
  }
  for (auto _ : st) {
    ComposeLayoutPicture(dialog, items[0], s, 210000, 297000);
    InkColourPicture(dialog, items[1], s, false);
    InkColourPicture(dialog, items[2], s, false);
    plat::ClearBlits();
  }
  for (auto& item : items) ReleaseDC(item.hwndItem, item.hDC);
  DestroyWindow(dialog);
  DeletePictureBitmaps(s.Pictures);
}
BENCHMARK(BM_ThreePictures)->Unit(benchmark::kMicrosecond);

void BM_MemcpyThreeBitmaps(benchmark::State& st) {
  const std::size_t bytes = 142 * ((142 * 3 + 3) & ~3);
  std::vector<unsigned char> from(3 * bytes, 0x5A), to(3 * bytes);
  for (auto _ : st) {
    std::memcpy(to.data(), from.data(), to.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyThreeBitmaps)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchsupport::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto m = reporter.Medians();
  auto it = m.find("BM_ThreePictures"), peer = m.find("BM_MemcpyThreeBitmaps");
  if (it != m.end() && peer != m.end() && peer->second.cpuMs > 0) {
    std::printf("pictures per change: %.3f ms (goal < 1 ms), %.0f x the memcpy of the three bitmaps\n",
                it->second.cpuMs, it->second.cpuMs / peer->second.cpuMs);
  }
  benchmark::Shutdown();
  return 0;
}
