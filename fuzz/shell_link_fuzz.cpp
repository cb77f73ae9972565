// libFuzzer target: a shell-link file read through the shell link object
// (IPersistFile::Load, IShellLinkW::GetPath) and plat::shell::LinkTarget,
// then saved and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_machine.h"
#include "plat/shell_link.h"

namespace {
constexpr char16_t kLink[] = u"C:\\Fuzz\\Printer.lnk";
constexpr char16_t kCopy[] = u"C:\\Fuzz\\Copy.lnk";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    (void)CoInitialize(nullptr);
    return true;
  }();
  (void)ready;
  if (!fuzzsupport::PutFile(kLink, data, size)) std::abort();
  const std::u16string target = plat::shell::LinkTarget(kLink);

  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    std::abort();
  IPersistFile* file = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) std::abort();
  const HRESULT loaded = file->Load(kLink, STGM_READ);
  WCHAR path[MAX_PATH];
  const HRESULT got = link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
  // LinkTarget and Load agree on what the file holds.
  if (FAILED(loaded) && (!target.empty() || got != S_FALSE)) __builtin_trap();
  if (SUCCEEDED(loaded) && target.size() < MAX_PATH && std::u16string(path, target.size()) != target) __builtin_trap();
  // What was read is written back and reads the same.
  if (SUCCEEDED(loaded) && SUCCEEDED(file->Save(kCopy, TRUE))) {
    const std::u16string again = plat::shell::LinkTarget(kCopy);
    if (again != target) __builtin_trap();
  }
  file->Release();
  link->Release();
  return 0;
}
