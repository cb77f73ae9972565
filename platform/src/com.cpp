// The COM basics: BSTRs, the task allocator and the debugger output sink.
#include "plat/com.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

extern "C" {
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}

namespace {

std::mutex g_debugLock;
std::string g_debugText;

// A BSTR block: the byte length, the units, a zero unit.
constexpr std::size_t kBstrPrefix = sizeof(DWORD);
constexpr UINT kMaxBstrUnits = 0x3FFFFFFF;

}  // namespace

LPVOID CoTaskMemAlloc(SIZE_T bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

void CoTaskMemFree(LPVOID block) { std::free(block); }

BSTR SysAllocStringLen(const WCHAR* text, UINT units) {
  if (units > kMaxBstrUnits) return nullptr;
  auto* block = static_cast<BYTE*>(std::malloc(kBstrPrefix + (std::size_t{units} + 1) * sizeof(WCHAR)));
  if (!block) return nullptr;
  const DWORD bytes = units * static_cast<DWORD>(sizeof(WCHAR));
  std::memcpy(block, &bytes, sizeof bytes);
  auto* units16 = reinterpret_cast<WCHAR*>(block + kBstrPrefix);
  if (text)
    std::memcpy(units16, text, std::size_t{units} * sizeof(WCHAR));
  else
    std::memset(units16, 0, std::size_t{units} * sizeof(WCHAR));
  units16[units] = 0;
  return units16;
}

BSTR SysAllocString(const WCHAR* text) {
  if (!text) return nullptr;
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  if (n > kMaxBstrUnits) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(n));
}

UINT SysStringLen(BSTR text) {
  if (!text) return 0;
  DWORD bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<BYTE*>(text) - kBstrPrefix, sizeof bytes);
  return bytes / sizeof(WCHAR);
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<BYTE*>(text) - kBstrPrefix);
}

void OutputDebugStringA(LPCSTR text) {
  if (!text) return;
  std::lock_guard<std::mutex> lock(g_debugLock);
  g_debugText += text;
}

namespace plat::com {

std::string DebugOutput() {
  std::lock_guard<std::mutex> lock(g_debugLock);
  return g_debugText;
}

void ClearDebugOutput() {
  std::lock_guard<std::mutex> lock(g_debugLock);
  g_debugText.clear();
}

}  // namespace plat::com
