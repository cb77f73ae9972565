#include <gtest/gtest.h>

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
