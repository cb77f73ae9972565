// The rendering plug-in's COM server: exports, factory, the object's slots
// in their order, and the answers of its queries.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugincommon/com_base.h"
#include "plugincommon/ids.h"
#include "renderplugin/oem_uni.h"
#include "support/vtable.h"

namespace {

using renderplugin::COemNevoUni;
using testsupport::CallSlot;

// The core's driver interface: DrvWriteSpoolBuf takes at most `take` bytes.
class FakeDriver final : public plat::oem::DriverUniStubs {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IPrintOemDriverUni)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ, PVOID buffer, DWORD size, DWORD* written) override {
    const DWORD n = size < take ? size : take;
    const auto* b = static_cast<const BYTE*>(buffer);
    bytes.insert(bytes.end(), b, b + n);
    *written = n;
    return S_OK;
  }

  ULONG refs = 1;
  DWORD take = 0xFFFFFFFF;
  std::vector<BYTE> bytes;
};

class OemUniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    baseObjects = plugincommon::LiveObjectCount();
    IClassFactory* factory = nullptr;
    ASSERT_EQ(renderplugin::GetClassObject(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUni2, reinterpret_cast<void**>(&uni)), S_OK);
    factory->Release();
  }
  void TearDown() override {
    if (uni) uni->Release();
    EXPECT_EQ(plugincommon::LiveObjectCount(), baseObjects);
  }

  IPrintOemUni2* uni = nullptr;
  LONG baseObjects = 0;
};

// Slots 3.. through the object's table, as the core calls them.
TEST_F(OemUniTest, SlotsAnswerInTheirOrder) {
  DWORD value = 0, needed = 0;
  EXPECT_EQ((CallSlot<HRESULT, DWORD, PVOID, DWORD, PDWORD>(uni, 3, OEMGI_GETSIGNATURE, &value, 4, &needed)), S_OK);
  EXPECT_EQ(value, 0x4E45564Fu);
  DRVENABLEDATA ded{};
  EXPECT_EQ((CallSlot<HRESULT, DWORD, DWORD, DRVENABLEDATA*>(uni, 5, 0x20000, sizeof ded, &ded)), S_OK);
  EXPECT_EQ(ded.iDriverVersion, 0x10000u);
  EXPECT_EQ(ded.c, 29u);
  EXPECT_EQ((CallSlot<HRESULT>(uni, 6)), S_OK);  // DisableDriver
  char name[] = "FilterGraphics";
  EXPECT_EQ((CallSlot<HRESULT, PSTR>(uni, 11, name)), S_OK);
  DWORD hooks = 0;
  DEVOBJ devobj{};
  EXPECT_EQ((CallSlot<HRESULT, PVOID, PVOID, DWORD, PDWORD>(uni, 12, &devobj, &hooks, 4, &needed)), S_OK);
  EXPECT_EQ(hooks, 0x185EBu);
  INT result = 7;
  EXPECT_EQ((CallSlot<HRESULT, PDEVOBJ, DWORD, DWORD, PDWORD, INT*>(uni, 13, &devobj, 1, 0, nullptr, &result)), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_EQ((CallSlot<HRESULT, PDEVOBJ, PBYTE, void*, PBYTE, DWORD, void*, PBYTE*>(uni, 14, &devobj, nullptr, nullptr,
                                                                                  nullptr, 0, nullptr, nullptr)),
            S_OK);
  // Slots 16 to 26 are not implemented; each is called with zero arguments of its kind.
  EXPECT_EQ((CallSlot<HRESULT, PDEVOBJ, PBYTE, PBYTE, DWORD, DWORD, INT*>(uni, 16, &devobj, nullptr, nullptr, 0, 0,
                                                                         nullptr)),
            E_NOTIMPL);
  EXPECT_EQ((CallSlot<HRESULT, PDEVOBJ, PVOID>(uni, 18, &devobj, nullptr)), E_NOTIMPL);
  EXPECT_EQ((CallSlot<HRESULT, PDEVOBJ, PVOID, DWORD, PDWORD>(uni, 26, &devobj, nullptr, 0, nullptr)), E_NOTIMPL);
  // Slot 2, Release, last: the object goes.
  EXPECT_EQ((CallSlot<ULONG>(uni, 2)), 0u);
  uni = nullptr;
}

TEST_F(OemUniTest, GetInfoAnswers) {
  struct Case {
    DWORD mode;
    DWORD size;
    bool buffer;
    bool needed;
    HRESULT hr;
    DWORD error;        // when failing
    DWORD neededAfter;  // 99: untouched
    DWORD value;        // when S_OK
  };
  const Case cases[] = {
      {OEMGI_GETSIGNATURE, 4, true, true, S_OK, 0, 4, 0x4E45564F},
      {OEMGI_GETVERSION, 8, true, true, S_OK, 0, 4, 1},
      {OEMGI_GETINTERFACEVERSION, 4, true, true, E_FAIL, ERROR_INVALID_PARAMETER, 99, 0},
      {OEMGI_GETPUBLISHERINFO, 4, true, true, E_FAIL, ERROR_INVALID_PARAMETER, 99, 0},
      {OEMGI_GETSIGNATURE, 2, true, true, E_FAIL, ERROR_INSUFFICIENT_BUFFER, 4, 0},
      {OEMGI_GETSIGNATURE, 4, false, true, E_FAIL, ERROR_INSUFFICIENT_BUFFER, 4, 0},
      {OEMGI_GETSIGNATURE, 4, true, false, E_FAIL, ERROR_INVALID_PARAMETER, 99, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " size " << c.size);
    BYTE buffer[9] = {};
    DWORD needed = 99;
    SetLastError(0);
    // An odd address: the core's buffer need not be aligned.
    const HRESULT hr = uni->GetInfo(c.mode, c.buffer ? buffer + 1 : nullptr, c.size, c.needed ? &needed : nullptr);
    EXPECT_EQ(hr, c.hr);
    EXPECT_EQ(needed, c.neededAfter);
    if (hr == S_OK) {
      DWORD v = 0;
      std::memcpy(&v, buffer + 1, 4);
      EXPECT_EQ(v, c.value);
    } else {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
}

TEST_F(OemUniTest, ImplementedMethodsAreExactNames) {
  const std::pair<const char*, HRESULT> cases[] = {
      {"CommandCallback", S_OK}, {"FilterGraphics", S_OK}, {"ImageProcessing", S_OK}, {"Compression", S_FALSE},
      {"filtergraphics", S_FALSE}, {"FilterGraphicsX", S_FALSE}, {"", S_FALSE}, {"WritePrinter", S_FALSE},
  };
  for (const auto& [name, hr] : cases) {
    std::vector<char> text(name, name + std::strlen(name) + 1);
    EXPECT_EQ(uni->GetImplementedMethod(text.data()), hr) << name;
  }
}

TEST_F(OemUniTest, DriverDmsAnswers) {
  DEVOBJ devobj{};
  struct Case {
    bool devobj;
    DWORD size;
    bool buffer;
    bool needed;
    HRESULT hr;
    DWORD error;
  };
  const Case cases[] = {
      {true, 4, true, true, S_OK, 0},
      {true, 4, true, false, S_OK, 0},
      {false, 4, true, true, E_FAIL, ERROR_INVALID_PARAMETER},
      {true, 3, true, true, E_FAIL, ERROR_INSUFFICIENT_BUFFER},
      {true, 4, false, true, E_FAIL, ERROR_INSUFFICIENT_BUFFER},
      {true, 3, true, false, E_FAIL, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size << " buffer " << c.buffer << " needed " << c.needed);
    DWORD hooks = 0, needed = 0;
    SetLastError(0);
    EXPECT_EQ(uni->DriverDMS(c.devobj ? &devobj : nullptr, c.buffer ? &hooks : nullptr, c.size,
                             c.needed ? &needed : nullptr),
              c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(hooks, 0x185EBu);
    } else {
      EXPECT_EQ(GetLastError(), c.error);
    }
    if (c.devobj && c.needed) {
      EXPECT_EQ(needed, 4u);
    }
  }
}

TEST_F(OemUniTest, FilterGraphicsWritesThroughThePublishedInterface) {
  FakeDriver driver;
  DEVOBJ devobj{};
  std::vector<BYTE> bytes(100, 0x5A);
  // Before publishing, nothing is written.
  EXPECT_EQ(uni->FilterGraphics(&devobj, bytes.data(), 100), E_FAIL);
  EXPECT_EQ(uni->PublishDriverInterface(nullptr), E_FAIL);
  ASSERT_EQ(uni->PublishDriverInterface(&driver), S_OK);
  EXPECT_EQ(driver.refs, 2u);
  EXPECT_EQ(uni->FilterGraphics(&devobj, bytes.data(), 100), S_OK);
  driver.take = 60;
  EXPECT_EQ(uni->FilterGraphics(&devobj, bytes.data(), 100), S_FALSE);
  EXPECT_EQ(driver.bytes.size(), 160u);
  // A second interface is not taken; the first stays held.
  FakeDriver other;
  EXPECT_EQ(uni->PublishDriverInterface(&other), S_OK);
  EXPECT_EQ(other.refs, 1u);
  // DisableDriver lets it go: nothing more is written.
  EXPECT_EQ(uni->DisableDriver(), S_OK);
  EXPECT_EQ(driver.refs, 1u);
  EXPECT_EQ(uni->FilterGraphics(&devobj, bytes.data(), 100), E_FAIL);
  EXPECT_EQ(driver.bytes.size(), 160u);
}

TEST_F(OemUniTest, EnablePdevWithoutOutPointer) {
  DEVOBJ devobj{};
  EXPECT_EQ(uni->EnablePDEV(&devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, nullptr, nullptr), E_POINTER);
  PVOID out = reinterpret_cast<PVOID>(1);
  // A device object without printer or DEVMODE gives no device.
  EXPECT_EQ(uni->EnablePDEV(nullptr, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, nullptr, &out), E_FAIL);
  EXPECT_EQ(out, nullptr);
}

TEST_F(OemUniTest, QueryInterfaceAndDevMode) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(uni->QueryInterface(IID_IPrintOemUI2, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(uni->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, uni);
  EXPECT_EQ(uni->Release(), 1u);
  EXPECT_EQ(uni->DevMode(99, nullptr), E_FAIL);
}

TEST(OemRenderModule, ClassObjectsAndUnloading) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(renderplugin::GetClassObject(CLSID_OEMRENDER, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(renderplugin::GetClassObject(CLSID_OEMUI, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(renderplugin::GetClassObject(CLSID_OEMRENDER, IID_IPrintOemUni2, &out), E_NOINTERFACE);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(renderplugin::GetClassObject(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUni2, nullptr), E_POINTER);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  IPrintOemUni2* uni = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUni2, reinterpret_cast<void**>(&uni)), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(plugincommon::CanUnloadNow(), S_FALSE);
  uni->Release();
  EXPECT_EQ(plugincommon::CanUnloadNow(), S_FALSE);  // still locked
  plugincommon::LockServer(FALSE);
  EXPECT_EQ(plugincommon::CanUnloadNow(), S_OK);
}

}  // namespace
