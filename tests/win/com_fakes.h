#pragma once
// Small COM objects for the Windows tests: an IDispatch that answers nothing
// by name, on which a test builds the interfaces it plays, and a reference
// count read from outside.

#include <windows.h>
#include <oaidl.h>

#include "win/com_object.h"

namespace zandrel::win::test {

// IDispatch with no members by name, for objects reached through their
// vtables; `First` is an IDispatch-based interface (or IDispatch itself).
template <class Derived, class First, class... Rest>
class FakeDispatch : public ComObject<Derived, First, Rest...> {
 public:
  // IDispatch is answered too: the interfaces played are dual.
  void* Find(REFIID riid) { return riid == IID_IDispatch ? static_cast<First*>(this) : nullptr; }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

// The object's reference count, as Wine's tests read it.
inline ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

}  // namespace zandrel::win::test
