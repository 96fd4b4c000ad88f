#pragma once
// The COM shells of the stand-ins: a dual object whose IDispatch is driven by
// the type library the program carries (TYPELIB 1 of the module), and the
// process's count of references held from outside.

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <functional>

#include "win/com_support.h"

namespace zandrel::testbed::win {

// References to this process's COM objects (its own included); `OnRelease`
// runs after every release with the count left.
extern std::atomic<long> g_outside;
extern std::function<void(long left)> OnRelease;

HRESULT ModuleTypeInfo(const IID& iid, ITypeInfo** info);

template <class Interface>
class Dual : public Interface {
 public:
  Dual() = default;
  Dual(const Dual&) = delete;
  Dual& operator=(const Dual&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(Interface)) {
      *ppv = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    ++g_outside;
    return static_cast<ULONG>(++refs_);
  }
  STDMETHODIMP_(ULONG) Release() override {
    const long left = --refs_;
    if (left == 0) delete this;
    const long outside = --g_outside;
    if (OnRelease) OnRelease(outside);
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    return index == 0 ? ModuleTypeInfo(__uuidof(Interface), info) : DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    ITypeInfo* info = nullptr;
    if (HRESULT hr = ModuleTypeInfo(__uuidof(Interface), &info); FAILED(hr)) return hr;
    HRESULT hr = DispGetIDsOfNames(info, names, count, ids);
    info->Release();
    return hr;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                      UINT* argErr) override {
    ITypeInfo* info = nullptr;
    if (HRESULT hr = ModuleTypeInfo(__uuidof(Interface), &info); FAILED(hr)) return hr;
    HRESULT hr = DispInvoke(static_cast<Interface*>(this), info, id, flags, params, result, excep, argErr);
    info->Release();
    return hr;
  }

 protected:
  virtual ~Dual() = default;

 private:
  std::atomic<long> refs_{0};
};

// A new reference to a new shell object.
template <class T, class... Args>
T* NewShell(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  object->AddRef();
  return object;
}

}  // namespace zandrel::testbed::win
