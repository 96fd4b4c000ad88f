#pragma once
// The COM shells of the stand-ins: a dual object whose IDispatch is driven by
// the type library the program carries (TYPELIB 1 of the module), and the
// process's count of references held from outside.

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <functional>

#include "win/com_object.h"
#include "win/com_support.h"
#include "win/owners.h"

namespace zandrel::testbed::com {

// References to this process's COM objects (its own included); `OnRelease`
// runs after every release with the count left.
extern std::atomic<long> g_outside;
extern std::function<void(long left)> OnRelease;

HRESULT ModuleTypeInfo(const IID& iid, ITypeInfo** info);

template <class Interface>
class Dual : public zandrel::win::ComObject<Dual<Interface>, Interface> {
 public:
  // ComObject's hooks: the interface also as IDispatch; every reference
  // counted in g_outside too.
  void* Find(REFIID riid) { return riid == IID_IDispatch ? static_cast<Interface*>(this) : nullptr; }
  static void Counted(long delta) {
    const long outside = g_outside += delta;
    if (delta < 0 && OnRelease) OnRelease(outside);
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
    zandrel::win::ComPtr<ITypeInfo> info;
    if (HRESULT hr = ModuleTypeInfo(__uuidof(Interface), info.GetAddressOf()); FAILED(hr)) return hr;
    return DispGetIDsOfNames(info.Get(), names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                      UINT* argErr) override {
    zandrel::win::ComPtr<ITypeInfo> info;
    if (HRESULT hr = ModuleTypeInfo(__uuidof(Interface), info.GetAddressOf()); FAILED(hr)) return hr;
    return DispInvoke(static_cast<Interface*>(this), info.Get(), id, flags, params, result, excep, argErr);
  }

 protected:
  friend class zandrel::win::ComObject<Dual<Interface>, Interface>;
  virtual ~Dual() = default;
};

// A new reference to a new shell object.
template <class T, class... Args>
T* NewShell(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  object->AddRef();
  return object;
}

}  // namespace zandrel::testbed::com
