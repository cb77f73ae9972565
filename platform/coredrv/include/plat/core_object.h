// The COM boilerplate of the core driver's own objects: QueryInterface over
// the listed interface ids (out-pointer nulled on failure), a reference count
// that starts at 1 and deletes Derived at zero.
#pragma once

#include <atomic>

#include "plat/com.h"

namespace plat::core {

template <typename Derived, typename Interface, const IID*... kIids>
class CoreObject : public Interface {
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
  CoreObject() = default;
  ~CoreObject() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace plat::core
