// qmc_docproject.dll: the document-project class (qmcDocProject) of the
// stand-in modeling tool, an in-process server created by its class
// identifier. The add-in fills its properties and hands it to RegisterDoc;
// the stand-in manager reads them back.

#include <windows.h>

#include <string>

#include "qms.h"
#include "win/com_support.h"
#include "win/com_variant.h"
#include "com/dual.h"

namespace {

using zandrel::testbed::com::Dual;
using zandrel::testbed::com::NewShell;
using zandrel::win::ComPtr;
using zandrel::win::UniqueBstr;
using zandrel::win::UniqueVariant;

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

class DocProject final : public Dual<IQmcDocProject> {
 public:
  DocProject() { ++g_objects; }
  ~DocProject() override { --g_objects; }
  STDMETHODIMP get_Name(BSTR* out) override { return Get(name_, out); }
  STDMETHODIMP put_Name(BSTR* v) override { return Put(name_, v); }
  STDMETHODIMP get_FullName(BSTR* out) override { return Get(fullName_, out); }
  STDMETHODIMP put_FullName(BSTR* v) override { return Put(fullName_, v); }
  STDMETHODIMP get_Container(IDispatch** out) override {
    if (!out) return E_POINTER;
    return container_.CopyTo(out);
  }
  STDMETHODIMP get_HasContainer(VARIANT_BOOL* out) override {
    return out ? (*out = container_ ? VARIANT_TRUE : VARIANT_FALSE, S_OK) : E_POINTER;
  }
  STDMETHODIMP putref_Container(IDispatch** v) override {
    if (!v) return E_POINTER;
    container_ = *v;
    return S_OK;
  }
  STDMETHODIMP get_Comment(BSTR* out) override { return Get(comment_, out); }
  STDMETHODIMP put_Comment(BSTR* v) override { return Put(comment_, v); }
  STDMETHODIMP get_Kind(short* out) override { return out ? (*out = 3, S_OK) : E_POINTER; }
  STDMETHODIMP get_TimeStamp(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return VariantCopy(out, timeStamp_.get());
  }
  STDMETHODIMP put_TimeStamp(VARIANT* v) override { return v ? VariantCopy(timeStamp_.get(), v) : E_POINTER; }

 private:
  static HRESULT Get(const UniqueBstr& field, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(field.get(), SysStringLen(field.get()));
    return S_OK;
  }
  static HRESULT Put(UniqueBstr& field, BSTR* v) {
    if (!v) return E_POINTER;
    field.reset(SysAllocStringLen(*v, SysStringLen(*v)));
    return S_OK;
  }
  UniqueBstr name_;
  UniqueBstr fullName_;
  UniqueBstr comment_;
  UniqueVariant timeStamp_;
  ComPtr<IDispatch> container_;
};

class Factory final : public zandrel::win::ComObject<Factory, IClassFactory> {
 public:
  // The factory is static: its references are the module's locks.
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++g_locks); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--g_locks); }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ComPtr<IQmcDocProject> project = zandrel::win::Adopt<IQmcDocProject>(NewShell<DocProject>());
    return project->QueryInterface(riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) ++g_locks;
    else --g_locks;
    return S_OK;
  }
};

Factory g_factory;

std::wstring ClsidKey() {
  wchar_t text[40] = {};
  StringFromGUID2(CLSID_qmcDocProject, text, 40);
  return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    zandrel::win::g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (clsid != CLSID_qmcDocProject) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(zandrel::win::g_module, path, MAX_PATH);
  zandrel::win::UniqueHkey owned;
  const std::wstring inproc = ClsidKey() + L"\\InprocServer32";
  LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, inproc.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, owned.put(), nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  const HKEY key = owned.get();
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), static_cast<DWORD>((wcslen(path) + 1) * 2));
  const wchar_t model[] = L"Apartment";
  RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model), sizeof model);
  return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  const LONG rc = RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClsidKey().c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
}
