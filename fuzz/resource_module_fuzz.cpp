// libFuzzer target: resource modules: the module text loaded, its strings,
// images (beside art in the module's folder) and dialog templates made into
// windows.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz_machine.h"
#include "plat/dialog.h"
#include "plat/resources.h"
#include "plat/strings.h"

namespace {
INT_PTR CALLBACK Quiet(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path folder = [] {
    const auto f = fuzzsupport::Machine() / "module";
    std::filesystem::create_directories(f / "art");
    std::error_code ec;
    std::filesystem::copy_file(PROJECT_SOURCE_DIR_STR "/tests/data/platform/picture.bmp", f / "art" / "1.bmp",
                               std::filesystem::copy_options::overwrite_existing, ec);
    std::filesystem::copy_file(PROJECT_SOURCE_DIR_STR "/tests/data/platform/info.png", f / "art" / "1.png",
                               std::filesystem::copy_options::overwrite_existing, ec);
    return f;
  }();
  const std::filesystem::path file = folder / "input.res";
  if (!fuzzsupport::PutHostFile(file, data, size)) return 0;
  (void)plat::resources::CheckResourceFile(file.string());
  HMODULE module = LoadLibraryW(plat::u16(file.string()).c_str());
  if (!module) return 0;
  for (UINT id = 0; id < 4; ++id) {
    WCHAR text[16];
    const int n = LoadStringW(module, id, text, 16);
    if (n < 0 || n >= 16) __builtin_trap();
    if (HANDLE bitmap = LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0)) DeleteObject(bitmap);
    if (HICON icon = LoadIconW(module, MAKEINTRESOURCEW(id))) DestroyIcon(icon);
    if (HCURSOR cursor = LoadCursorW(module, MAKEINTRESOURCEW(id))) DestroyCursor(cursor);
    if (HWND dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(id), nullptr, Quiet, 0)) DestroyWindow(dialog);
  }
  FreeLibrary(module);
  return 0;
}
