#include "com/dual.h"

namespace zandrel::testbed::com {

std::atomic<long> g_outside{0};
std::function<void(long left)> OnRelease;

HRESULT ModuleTypeInfo(const IID& iid, ITypeInfo** info) {
  static ITypeLib* library = nullptr;  // kept for the life of the process
  if (!library) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(zandrel::win::g_module, path, MAX_PATH);
    if (HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &library); FAILED(hr)) return hr;
  }
  return library->GetTypeInfoOfGuid(iid, info);
}

}  // namespace zandrel::testbed::com
