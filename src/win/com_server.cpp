// The in-process server's entry points: the class factory of zandrel.Connect,
// self-registration (per machine, or per user through DllInstall) and the
// unload test.

#include <windows.h>

#include <cwchar>

#include "win/com_object.h"
#include "win/com_support.h"
#include "win/connect_com.h"
#include "win/server_registration.h"
#include "win/win32_services.h"

namespace zandrel::win {
namespace {

class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
 public:
  // The factory is static: its references are the module's locks.
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++g_locks); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--g_locks); }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return ConnectCom::CreateInstance(riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) ++g_locks;
    else --g_locks;
    return S_OK;
  }
};

ClassFactory g_factory;

}  // namespace
}  // namespace zandrel::win

using namespace zandrel::win;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
    InstallWin32Services();
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (clsid != CLSID_Connect) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return CanUnloadNow(); }

extern "C" HRESULT WINAPI DllRegisterServer() {
  return Guarded(IID__Connect, "DllRegisterServer", [] { return RegisterServer(RegistrationScope::Machine); });
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  return Guarded(IID__Connect, "DllUnregisterServer", [] { return UnregisterServer(RegistrationScope::Machine); });
}

// regsvr32 /n /i:user registers for the current user only (no administrator
// rights needed); any other command line means the machine.
extern "C" HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  return Guarded(IID__Connect, "DllInstall", [&] {
    const RegistrationScope scope = commandLine && _wcsicmp(commandLine, L"user") == 0 ? RegistrationScope::User
                                                                                         : RegistrationScope::Machine;
    return install ? RegisterServer(scope) : UnregisterServer(scope);
  });
}
