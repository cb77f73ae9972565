// The COM base: interface answers, reference counts and the module's counts,
// called through the object's table as the core driver calls it.

#include <gtest/gtest.h>

#include "plugincommon/com_base.h"
#include "plugincommon/ids.h"
#include "support/vtable.h"

namespace {

using plugincommon::ComObject;
using plugincommon::ComPtr;
using plugincommon::Lifetime;
using testsupport::CallSlot;

const IID kIidOther = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
const IID kIidAbsent = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 9}};

struct IOther : IUnknown {
  virtual int STDMETHODCALLTYPE Answer() = 0;

 protected:
  ~IOther() = default;
};

int g_destroyed = 0;

class Counted final : public ComObject<Counted, IOther, Lifetime::Module, &IID_IUnknown, &kIidOther> {
 public:
  int STDMETHODCALLTYPE Answer() override { return 42; }
  ~Counted() { ++g_destroyed; }
};

class Uncounted final : public ComObject<Uncounted, IOther, Lifetime::Free, &IID_IUnknown> {
 public:
  int STDMETHODCALLTYPE Answer() override { return 7; }
  ~Uncounted() { ++g_destroyed; }
};

TEST(ComBaseTest, QueryInterfaceAnswersTheListedIdsOnly) {
  auto* object = new Counted;
  struct Case {
    const IID* iid;
    HRESULT hr;
  } cases[] = {{&IID_IUnknown, S_OK}, {&kIidOther, S_OK}, {&kIidAbsent, E_NOINTERFACE}, {&IID_IClassFactory, E_NOINTERFACE}};
  for (const Case& c : cases) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CallSlot<HRESULT>(object, 0, c.iid, &out), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(out, static_cast<IOther*>(object));
      EXPECT_EQ(CallSlot<ULONG>(object, 2), 1u);  // the query's reference
    } else {
      EXPECT_EQ(out, nullptr) << "failure nulls the out-pointer";
    }
  }
  EXPECT_EQ(CallSlot<HRESULT>(object, 0, &IID_IUnknown, static_cast<void**>(nullptr)), E_POINTER);
  EXPECT_EQ(CallSlot<int>(object, 3), 42);
  object->Release();
}

TEST(ComBaseTest, CountsStartAtOneAndTheLastReleaseDeletes) {
  g_destroyed = 0;
  auto* object = new Counted;
  EXPECT_EQ(CallSlot<ULONG>(object, 1), 2u);
  EXPECT_EQ(CallSlot<ULONG>(object, 1), 3u);
  EXPECT_EQ(CallSlot<ULONG>(object, 2), 2u);
  EXPECT_EQ(CallSlot<ULONG>(object, 2), 1u);
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_EQ(CallSlot<ULONG>(object, 2), 0u);
  EXPECT_EQ(g_destroyed, 1);
}

TEST(ComBaseTest, ModuleCountsKeepTheLibraryLoaded) {
  ASSERT_EQ(plugincommon::CanUnloadNow(), S_OK);
  auto* counted = new Counted;
  EXPECT_EQ(plugincommon::LiveObjectCount(), 1);
  EXPECT_EQ(plugincommon::CanUnloadNow(), S_FALSE);
  counted->Release();
  EXPECT_EQ(plugincommon::CanUnloadNow(), S_OK);

  auto* free = new Uncounted;
  EXPECT_EQ(plugincommon::LiveObjectCount(), 0) << "a factory does not hold the module";
  EXPECT_EQ(plugincommon::CanUnloadNow(), S_OK);
  free->Release();

  plugincommon::LockServer(TRUE);
  plugincommon::LockServer(TRUE);
  EXPECT_EQ(plugincommon::CanUnloadNow(), S_FALSE);
  plugincommon::LockServer(FALSE);
  EXPECT_EQ(plugincommon::CanUnloadNow(), S_FALSE);
  plugincommon::LockServer(FALSE);
  EXPECT_EQ(plugincommon::CanUnloadNow(), S_OK);
}

TEST(ComBaseTest, ComPtrReleasesOnce) {
  g_destroyed = 0;
  {
    ComPtr<IOther> held;
    auto* object = new Uncounted;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, held.PutVoid()), S_OK);
    object->Release();
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_EQ(held->Answer(), 7);
  }
  EXPECT_EQ(g_destroyed, 1);
}

TEST(ComBaseTest, ClassIdsAreOursAndDistinct) {
  EXPECT_EQ(CLSID_OEMUI.Data1, 0x4E45564Fu);
  EXPECT_EQ(CLSID_OEMUI.Data3, 0x4000);
  EXPECT_EQ(CLSID_OEMUI.Data4[0], 0x80);
  EXPECT_EQ(CLSID_OEMRENDER.Data4[7], 1);
  EXPECT_EQ(CLSID_OEMUI.Data4[7], 2);
  EXPECT_EQ(CLSID_OEMPTPROVIDER.Data4[7], 3);
  EXPECT_FALSE(IsEqualGUID(CLSID_OEMUI, CLSID_OEMPTPROVIDER));
}

}  // namespace
