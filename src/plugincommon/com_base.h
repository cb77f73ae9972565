// The COM boilerplate of both plug-ins, written once: QueryInterface over a
// list of interface ids, interlocked reference counts starting at 1, the
// module's live-object and server-lock counts, and a holder for the core's
// interfaces that releases them once.
#pragma once

#include <new>

#include "plat/com.h"

namespace plugincommon {

// The module's counts (one set per plug-in library: each links its own copy).
LONG LiveObjectCount();
LONG ServerLockCount();
// Non-zero raises the lock count, zero lowers it.
void LockServer(BOOL lock);
// S_FALSE while an object lives or the server is locked, else S_OK.
HRESULT CanUnloadNow();

// Whether an object keeps the module loaded while it lives.
enum class Lifetime { Module, Free };

namespace detail {
void ObjectCreated();
void ObjectDestroyed();
}  // namespace detail

// Base of our COM objects: Derived implements Interface and answers the ids
// listed, with the platform's IUnknown (QueryInterface over the ids, count
// from 1, Release deletes Derived at zero through its own destructor, which
// is virtual only where the object's table has a destructor slot). A Module
// object keeps the module loaded while it lives.
template <typename Derived, typename Interface, Lifetime kLifetime, const IID*... kIids>
class ComObject : public plat::com::Unknown<Derived, Interface, kIids...> {
 protected:
  ComObject() {
    if constexpr (kLifetime == Lifetime::Module) detail::ObjectCreated();
  }
  ~ComObject() {
    if constexpr (kLifetime == Lifetime::Module) detail::ObjectDestroyed();
  }
};

// Creates T and queries it for iid; the creation reference goes either way.
// E_OUTOFMEMORY when T cannot be made.
template <typename T>
HRESULT CreateAndQuery(REFIID iid, void** object) {
  T* created = new (std::nothrow) T;
  if (!created) return E_OUTOFMEMORY;
  const HRESULT hr = created->QueryInterface(iid, object);
  created->Release();
  return hr;
}

// A plug-in's class factory: CreateInstance refuses aggregation and makes the
// module's object through kCreate (iid, out); LockServer counts the module's
// server locks. It does not hold the module.
template <HRESULT (*kCreate)(REFIID, void**)>
class ClassFactory final : public ComObject<ClassFactory<kCreate>, IClassFactory, Lifetime::Free, &IID_IUnknown,
                                            &IID_IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return kCreate(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    plugincommon::LockServer(lock);
    return S_OK;
  }
};

// The body of a plug-in's DllGetClassObject: Factory, queried for iid, when
// the module serves the class asked for.
template <typename Factory>
HRESULT GetClassObject(bool servesClass, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!servesClass) return CLASS_E_CLASSNOTAVAILABLE;
  return CreateAndQuery<Factory>(iid, object);
}

// Holds one reference to an interface and releases it once.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  // For an out-argument: what was held is released first.
  void** PutVoid() {
    Reset();
    return reinterpret_cast<void**>(&p_);
  }
  T** Put() {
    Reset();
    return &p_;
  }
  void Swap(ComPtr& other) {
    T* held = p_;
    p_ = other.p_;
    other.p_ = held;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace plugincommon
