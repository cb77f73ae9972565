// BSTRs, the task allocator and the debugger output sink.

#include <gtest/gtest.h>

#include <cstring>

#include "plat/com.h"
#include "plat/oem.h"

namespace {

TEST(ComTest, BstrKeepsItsLengthAndEndsInZero) {
  struct Case {
    const char16_t* text;
    UINT units;
  } cases[] = {{u"", 0}, {u"x", 1}, {u"http://duplicator.invalid/printing", 34}};
  for (const Case& c : cases) {
    BSTR s = SysAllocString(c.text);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), c.units);
    EXPECT_EQ(std::u16string(s), c.text);
    DWORD bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<BYTE*>(s) - 4, 4);
    EXPECT_EQ(bytes, c.units * 2) << "byte length before the text";
    SysFreeString(s);
  }
  BSTR inner = SysAllocStringLen(u"a\0b", 3);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(SysStringLen(inner), 3u) << "an inner zero is part of the string";
  EXPECT_EQ(inner[3], 0);
  SysFreeString(inner);
  BSTR zeros = SysAllocStringLen(nullptr, 2);
  ASSERT_NE(zeros, nullptr);
  EXPECT_EQ(zeros[0] | zeros[1] | zeros[2], 0);
  SysFreeString(zeros);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  EXPECT_EQ(SysAllocStringLen(u"", 0x40000000), nullptr) << "a length past the limit is refused";
}

TEST(ComTest, TaskMemoryAndDebugSink) {
  void* block = CoTaskMemAlloc(16);
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xAB, 16);
  CoTaskMemFree(block);
  CoTaskMemFree(nullptr);

  plat::com::ClearDebugOutput();
  OutputDebugStringA("one\n");
  OutputDebugStringA(nullptr);
  OutputDebugStringA("two\n");
  EXPECT_EQ(plat::com::DebugOutput(), "one\ntwo\n");
  plat::com::ClearDebugOutput();
  EXPECT_EQ(plat::com::DebugOutput(), "");
}

TEST(ComTest, InterfaceIdsAndInterlockedCounts) {
  EXPECT_TRUE(IsEqualGUID(IID_IUnknown, GUID{0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}));
  EXPECT_TRUE(IsEqualGUID(IID_IClassFactory, GUID{1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}));
  const IID* platformIds[] = {&IID_IPrintOemUni2,    &IID_IPrintOemDriverUni,   &IID_IPrintOemUI2,
                              &IID_IPrintCoreHelper, &IID_IPrintCoreHelperUni, &IID_IPrintOemPrintTicketProvider};
  for (BYTE n = 1; n <= 6; ++n) {
    const IID want = {0x504C4154, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, n}};
    EXPECT_TRUE(IsEqualGUID(*platformIds[n - 1], want)) << int{n};
  }
  LONG count = 0;
  EXPECT_EQ(InterlockedIncrement(&count), 1);
  EXPECT_EQ(InterlockedDecrement(&count), 0);
  EXPECT_EQ(InterlockedDecrement(&count), -1);
}

}  // namespace
