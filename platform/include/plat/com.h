// The COM basics our libraries and the core driver's plug-ins share: GUIDs,
// HRESULTs, IUnknown, IClassFactory, BSTRs, the task allocator, in-process
// CoCreateInstance, interlocked counts and the debugger output, kept in a
// sink that tests read.
#pragma once

#include <atomic>
#include <string>

#include "plat/base.h"

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPCOLESTR = const WCHAR*;
using LPUNKNOWN = struct IUnknown*;
inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool operator==(const GUID& a, const GUID& b) { return IsEqualGUID(a, b); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
  return code == 0 ? 0 : static_cast<HRESULT>((code & 0xFFFF) | 0x80070000u);
}

// COM interfaces have no virtual destructor: objects go by their Release.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// The new value, as the platform's interlocked calls answer.
inline LONG InterlockedIncrement(LONG volatile* value) {
  return std::atomic_ref<LONG>(*const_cast<LONG*>(value)).fetch_add(1) + 1;
}
inline LONG InterlockedDecrement(LONG volatile* value) {
  return std::atomic_ref<LONG>(*const_cast<LONG*>(value)).fetch_sub(1) - 1;
}

// A BSTR points at its first unit; its byte length sits in the four bytes
// before it and a zero unit follows it.
using BSTR = WCHAR*;

extern "C" {
PLATAPI extern const IID IID_IUnknown;
PLATAPI extern const IID IID_IClassFactory;

// Per thread, counted: S_OK the first time, S_FALSE again.
PLATAPI HRESULT CoInitialize(LPVOID reserved);
PLATAPI void CoUninitialize();
// Only CLSID_ShellLink in process: CO_E_NOTINITIALIZED before CoInitialize,
// REGDB_E_CLASSNOTREG for any other class (and for the shell link while the
// test switch of plat/shell_link.h makes it unavailable), E_NOINTERFACE for an
// interface it does not offer; *object is null on failure.
PLATAPI HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);

// The task allocator; null without memory. Free takes null.
PLATAPI LPVOID CoTaskMemAlloc(SIZE_T bytes);
PLATAPI void CoTaskMemFree(LPVOID block);

// A copy of text up to its zero unit (null text: null); null without memory.
PLATAPI BSTR SysAllocString(const WCHAR* text);
// units units of text (or zeros when text is null) and a zero unit.
PLATAPI BSTR SysAllocStringLen(const WCHAR* text, UINT units);
// Units of the string, 0 for null.
PLATAPI UINT SysStringLen(BSTR text);
PLATAPI void SysFreeString(BSTR text);

// Appends the text to the process's debug sink (nothing reaches stdout or
// stderr). Null text is ignored.
PLATAPI void OutputDebugStringA(LPCSTR text);
}

namespace plat::com {
// Everything written by OutputDebugStringA since the last clear.
PLATAPI std::string DebugOutput();
PLATAPI void ClearDebugOutput();

// The IUnknown of the platform's own COM objects: QueryInterface answers the
// listed ids with the object (AddRef'ed), else nulls *out and answers
// E_NOINTERFACE (a null out: E_POINTER); the count starts at 1 and Release
// deletes Derived at zero.
template <typename Derived, typename Interface, const IID*... kIids>
class Unknown : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if ((IsEqualGUID(iid, *kIids) || ...)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

 protected:
  Unknown() = default;
  ~Unknown() = default;
  Unknown(const Unknown&) = delete;
  Unknown& operator=(const Unknown&) = delete;

 private:
  std::atomic<ULONG> refs_{1};
};
}  // namespace plat::com
