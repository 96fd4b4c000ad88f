#include "win/server_registration.h"

#include <string>
#include <vector>

#include "shared/names.h"
#include "win/com_support.h"
#include "win/owners.h"
#include "zandrel.h"

namespace zandrel::win {
namespace {

constexpr const wchar_t* kProgId = shared::kWideProgId;
constexpr const wchar_t* kVersionedProgId = shared::kWideVersionedProgId;
constexpr wchar_t kAutomationMarshaler[] = L"{00020424-0000-0000-C000-000000000046}";

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

HKEY Root(RegistrationScope scope) { return scope == RegistrationScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

HRESULT CreateKey(HKEY root, const std::wstring& key, UniqueHkey& handle) {
  const std::wstring path = L"Software\\Classes\\" + key;
  const LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, handle.put(), nullptr);
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

HRESULT SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  UniqueHkey handle;
  if (HRESULT hr = CreateKey(root, key, handle); FAILED(hr)) return hr;
  const LONG rc = RegSetValueExW(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

// The keys this server owns, whole.
std::vector<std::wstring> OwnedKeys() {
  return {L"CLSID\\" + GuidText(CLSID_Connect), kProgId, kVersionedProgId, L"TypeLib\\" + GuidText(LIBID_zandrel),
          L"Interface\\" + GuidText(IID__Connect)};
}

}  // namespace

HRESULT RegisterServer(RegistrationScope scope) {
  const HKEY root = Root(scope);
  const std::wstring path = ModulePath();
  // The folder with its closing backslash, as the installers write it
  // (Windows Installer's folder properties end with one).
  const std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
  const std::wstring clsid = L"CLSID\\" + GuidText(CLSID_Connect);
  const std::wstring libid = GuidText(LIBID_zandrel);
  const std::wstring typelib = L"TypeLib\\" + libid + L"\\1.0";
  const std::wstring iface = L"Interface\\" + GuidText(IID__Connect);
#ifdef _WIN64
  const wchar_t* platform = L"win64";
#else
  const wchar_t* platform = L"win32";
#endif

  struct Entry {
    std::wstring key;
    const wchar_t* name;
    std::wstring value;
  };
  const Entry entries[] = {
      {clsid, nullptr, kProgId},
      {clsid + L"\\InprocServer32", nullptr, path},
      {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {clsid + L"\\ProgID", nullptr, kVersionedProgId},
      {clsid + L"\\VersionIndependentProgID", nullptr, kProgId},
      {clsid + L"\\TypeLib", nullptr, libid},
      {clsid + L"\\Version", nullptr, L"1.0"},
      {kProgId, nullptr, kProgId},
      {std::wstring(kProgId) + L"\\CLSID", nullptr, GuidText(CLSID_Connect)},
      {std::wstring(kProgId) + L"\\CurVer", nullptr, kVersionedProgId},
      {kVersionedProgId, nullptr, kProgId},
      {std::wstring(kVersionedProgId) + L"\\CLSID", nullptr, GuidText(CLSID_Connect)},
      {typelib, nullptr, L"zandrel"},
      {typelib + L"\\0\\" + platform, nullptr, path},
      {typelib + L"\\FLAGS", nullptr, L"0"},
      {typelib + L"\\HELPDIR", nullptr, folder},
      {iface, nullptr, L"_Connect"},
      {iface + L"\\ProxyStubClsid", nullptr, kAutomationMarshaler},
      {iface + L"\\ProxyStubClsid32", nullptr, kAutomationMarshaler},
      {iface + L"\\TypeLib", nullptr, libid},
      {iface + L"\\TypeLib", L"Version", L"1.0"},
  };
  for (const Entry& e : entries) {
    if (HRESULT hr = SetValue(root, e.key, e.name, e.value); FAILED(hr)) {
      UnregisterServer(scope);
      return hr;
    }
  }
  UniqueHkey programmable;
  if (HRESULT hr = CreateKey(root, clsid + L"\\Programmable", programmable); FAILED(hr)) {
    UnregisterServer(scope);
    return hr;
  }
  return S_OK;
}

HRESULT UnregisterServer(RegistrationScope scope) {
  const HKEY root = Root(scope);
  HRESULT result = S_OK;
  for (const std::wstring& key : OwnedKeys()) {
    const std::wstring path = L"Software\\Classes\\" + key;
    const LONG rc = RegDeleteTreeW(root, path.c_str());  // the key and all below it
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) result = HRESULT_FROM_WIN32(rc);
  }
  return result;
}

}  // namespace zandrel::win
