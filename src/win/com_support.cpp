#include "win/com_support.h"

#include "shared/debug_logger.h"
#include "shared/names.h"
#include "win/com_variant.h"
#include "win/owners.h"
#include "win/text_conv.h"

namespace zandrel::win {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
HMODULE g_module = nullptr;

HRESULT CanUnloadNow() noexcept { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

void LogCaught(const char* operation, const char* what) noexcept {
  try {
    shared::DebugLog(std::string(operation) + ": " + what + " caught at the COM boundary", shared::REZIRUZ_LOGID,
                     shared::ERROR_LOGLEVEL);
  } catch (...) {
    // Not even the line could be made: nothing more to do.
  }
}

HRESULT Fail(const automation::Error& error, const IID& iid) {
  const std::wstring description = Utf8ToWide(error.description);
  return FailWith(HresultFromError(error), description.c_str(), iid);
}

HRESULT FailWith(HRESULT hr, const wchar_t* description, const IID& iid) noexcept {
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.GetAddressOf()))) {
    create->SetDescription(const_cast<LPOLESTR>(description));
    create->SetSource(const_cast<LPOLESTR>(shared::kWideProgId));
    create->SetGUID(iid);
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
  }
  return hr;
}

BSTR NewBstr(const std::string& utf8) {
  std::wstring wide = Utf8ToWide(utf8);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string FromBstr(BSTR b) { return b ? WideToUtf8(std::wstring_view(b, SysStringLen(b))) : std::string(); }

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(g_module, path, MAX_PATH);
  return path;
}

HRESULT EmbeddedTypeInfo(int typelibIndex, const IID& iid, ITypeInfo** info) noexcept {
  // Loaded once and kept for the life of the process: the type library lives
  // in oleaut32, so it may outlive this module.
  static ITypeLib* libraries[3] = {};
  if (typelibIndex < 1 || typelibIndex > 2) return E_INVALIDARG;
  ITypeLib*& library = libraries[typelibIndex];
  if (!library) {
    // "<module>" for the first, "<module>\<index>" for another.
    wchar_t path[MAX_PATH + 3] = {};
    const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TYPE_E_CANTLOADLIBRARY;
    if (typelibIndex != 1) {
      path[length] = L'\\';
      path[length + 1] = static_cast<wchar_t>(L'0' + typelibIndex);
    }
    ITypeLib* loaded = nullptr;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &loaded);
    if (FAILED(hr)) return hr;
    library = loaded;
  }
  return library->GetTypeInfoOfGuid(iid, info);
}

}  // namespace zandrel::win
