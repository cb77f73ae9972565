// libFuzzer target: printjob's drawing scripts, parsed and drawn on a page
// surface of the engine.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_machine.h"
#include "printjob/draw_script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::Machine();
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Pictures are the user's own files; devices that never end are not pictures.
  for (const char* device : {"/dev/", "/proc/", "/sys/"})
    if (text.find(device) != std::string::npos) return 0;
  std::istringstream in(text);
  std::vector<printjob::DrawCommand> script;
  std::string error;
  if (!printjob::ParseDrawScript(in, script, error)) return 0;
  // A small page: what matters is that every command stays on it.
  constexpr LONG kWidth = 96, kHeight = 64, kStride = 12;
  static std::vector<BYTE> bits(kStride * kHeight);
  std::fill(bits.begin(), bits.end(), 0xFF);
  HBITMAP bitmap = EngCreateBitmap(SIZEL{kWidth, kHeight}, kStride, BMF_1BPP, BMF_TOPDOWN, bits.data());
  if (!bitmap) return 0;
  if (SURFOBJ* surface = EngLockSurface(reinterpret_cast<HSURF>(bitmap))) {
    (void)printjob::DrawScriptPage(surface, script);
    EngUnlockSurface(surface);
  }
  EngDeleteSurface(reinterpret_cast<HSURF>(bitmap));
  return 0;
}
