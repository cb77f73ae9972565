#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "plat/base.h"

TEST(LastError, IsPerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD other = 1;
  std::thread([&] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(Heaps, ZeroInitFillsWithZeros) {
  for (auto alloc : {+[](SIZE_T n) { return GlobalAlloc(GPTR, n); }, +[](SIZE_T n) { return LocalAlloc(LPTR, n); }}) {
    auto* p = static_cast<BYTE*>(alloc(4096));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(p[i], 0);
    GlobalFree(p);
  }
}

TEST(FormatMessage, SystemTextsInAnAllocatedBuffer) {
  LPWSTR text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, ERROR_ACCESS_DENIED, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                 reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  ASSERT_NE(text, nullptr);
  ASSERT_GT(n, 2u);
  EXPECT_EQ(text[n], 0);
  EXPECT_EQ(text[n - 2], u'\r');
  EXPECT_EQ(text[n - 1], u'\n');
  EXPECT_EQ(LocalFree(text), nullptr);

  // Caller's buffer: too small fails; unknown codes have no text.
  WCHAR small[4];
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0, small, 4, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  WCHAR buf[512];
  EXPECT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_SHARING_VIOLATION, 0, buf, 512, nullptr), 0u);
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x1234567, 0, buf, 512, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
}

namespace {
int g_closed = 0;
void CountClose(void* object) { g_closed += *static_cast<int*>(object); }
}  // namespace

TEST(Handles, CloseHandleDispatchesToTheRegisteredCloserOnce) {
  int weight = 5;
  const std::size_t before = plat::LiveHandleCount(plat::HandleKind::Mutex);
  HANDLE a = plat::RegisterHandle(plat::HandleKind::Mutex, &weight, CountClose);
  HANDLE b = plat::RegisterHandle(plat::HandleKind::Mutex, &weight, CountClose);
  EXPECT_NE(a, b);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(a, INVALID_HANDLE_VALUE);
  EXPECT_EQ(plat::HandleObject(a, plat::HandleKind::Mutex), &weight);
  EXPECT_EQ(plat::HandleObject(a, plat::HandleKind::File), nullptr);  // kinds are checked
  EXPECT_EQ(plat::LiveHandleCount(plat::HandleKind::Mutex), before + 2);
  g_closed = 0;
  EXPECT_TRUE(CloseHandle(a));
  EXPECT_EQ(g_closed, 5);
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(a));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(g_closed, 5);
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_TRUE(CloseHandle(b));
  EXPECT_EQ(plat::LiveHandleCount(plat::HandleKind::Mutex), before);
}

TEST(Heaps, LiveAndPeakBytesFollowAllocations) {
  const std::size_t live = plat::HeapLiveBytes();
  plat::ResetHeapPeak();
  EXPECT_EQ(plat::HeapPeakBytes(), live);
  void* a = GlobalAlloc(GMEM_FIXED, 1000);
  void* b = LocalAlloc(LPTR, 24);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(plat::HeapLiveBytes(), live + 1024);
  GlobalFree(a);
  EXPECT_EQ(plat::HeapLiveBytes(), live + 24);
  EXPECT_EQ(plat::HeapPeakBytes(), live + 1024);
  LocalFree(b);
  EXPECT_EQ(plat::HeapLiveBytes(), live);
  plat::ResetHeapPeak();
  EXPECT_EQ(plat::HeapPeakBytes(), live);
}

TEST(Heaps, TheNthAllocationCanBeMadeToFail) {
  plat::FailNthHeapAlloc(3);
  void* first = GlobalAlloc(GPTR, 8);
  void* second = LocalAlloc(LPTR, 8);
  SetLastError(0);
  void* third = GlobalAlloc(GPTR, 8);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  void* fourth = GlobalAlloc(GPTR, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(third, nullptr);
  EXPECT_NE(fourth, nullptr);  // the hook fires once
  plat::FailNthHeapAlloc(1);
  plat::FailNthHeapAlloc(0);  // disarmed before it fired
  void* fifth = GlobalAlloc(GPTR, 8);
  EXPECT_NE(fifth, nullptr);
  for (void* p : {first, fourth, fifth}) GlobalFree(p);
  LocalFree(second);
}

// Sizes the address space cannot hold fail cleanly, in a 32-bit process too.
TEST(Heaps, BlocksPastTheAddressSpaceFailWithoutMemoryError) {
  const SIZE_T huge[] = {std::numeric_limits<SIZE_T>::max(), std::numeric_limits<SIZE_T>::max() - 8,
                         std::numeric_limits<SIZE_T>::max() / 2 + 1};
  for (SIZE_T n : huge) {
    SetLastError(0);
    EXPECT_EQ(GlobalAlloc(GPTR, n), nullptr) << n;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  }
  void* small = LocalAlloc(LPTR, 64);
  EXPECT_NE(small, nullptr) << "ordinary blocks are handed out";
  LocalFree(small);
}
