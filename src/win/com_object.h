#pragma once
// One IUnknown for every COM object this code makes:
//
//   class Thing final : public ComObject<Thing, IFoo, IBar> { ... };
//
// QueryInterface answers IUnknown (as the first interface listed) and each
// listed interface by its IID; a class that answers more (IDispatch for a dual
// interface, a nested object's interface, an IID known only at run time)
// says so in its own `void* Find(REFIID)`, asked first. AddRef and Release
// keep one count; at the last Release the class's FinalRelease runs while the
// count is held at kReleasing (automation/ref.h), then the object is deleted.
// A class that also counts process-wide (the server's objects, the stand-ins'
// references) gives a static `Counted(long delta)`, told of every AddRef (+1)
// and Release (-1, after any deletion). A static object (a class factory)
// overrides AddRef and Release with the module's locks instead.

#include <windows.h>
#include <unknwn.h>

#include <atomic>

#include "automation/ref.h"

namespace zandrel::win {

template <class Derived, class First, class... Rest>
class ComObject : public First, public Rest... {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = static_cast<Derived*>(this)->Find(riid);
    if (!*ppv) *ppv = Listed(riid);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    Derived::Counted(+1);
    return static_cast<ULONG>(++refs_);
  }
  STDMETHODIMP_(ULONG) Release() override {
    const long left = --refs_;
    if (left == 0) {
      refs_ = static_cast<long>(automation::kReleasing);
      static_cast<Derived*>(this)->FinalRelease();
      delete static_cast<Derived*>(this);
    }
    Derived::Counted(-1);
    return static_cast<ULONG>(left);
  }

  // The defaults of the hooks.
  void* Find(REFIID) { return nullptr; }
  void FinalRelease() {}
  static void Counted(long) {}

 protected:
  ~ComObject() = default;

 private:
  void* Listed(REFIID riid) {
    if (riid == IID_IUnknown) return static_cast<First*>(this);
    void* found = riid == __uuidof(First) ? static_cast<First*>(this) : nullptr;
    ((found = found ? found : riid == __uuidof(Rest) ? static_cast<void*>(static_cast<Rest*>(this)) : nullptr), ...);
    return found;
  }

  std::atomic<long> refs_{0};
};

}  // namespace zandrel::win
