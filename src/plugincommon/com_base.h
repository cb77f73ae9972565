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
// listed. Release deletes Derived at zero (through its own destructor, which
// is virtual only where the object's table has a destructor slot).
template <typename Derived, typename Interface, Lifetime kLifetime, const IID*... kIids>
class ComObject : public Interface {
 public:
  // The object for the listed ids (AddRef'ed); otherwise *object null and
  // E_NOINTERFACE. Null object: E_POINTER.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if ((IsEqualGUID(iid, *kIids) || ...)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete static_cast<Derived*>(this);
    return static_cast<ULONG>(left);
  }

 protected:
  ComObject() {
    if constexpr (kLifetime == Lifetime::Module) detail::ObjectCreated();
  }
  ~ComObject() {
    if constexpr (kLifetime == Lifetime::Module) detail::ObjectDestroyed();
  }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 private:
  LONG refs_ = 1;
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
