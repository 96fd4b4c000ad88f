// An example client of the add-in, written as the integration manager's side
// would write it: it reaches the zandrel.Connect object of a running IDE, opens
// a file there at a line and column ("openfile"), and brings that IDE to the
// front ("activate").
//
//   connect_client FILE LINE COLUMN
//
// A real manager already holds the object: it is the Application argument of
// its RegistrationManager.RegisterApp, and its application object's AppObject.
// This client finds it the way any other process can: from the running
// manager, through a document the IDE registered (FindDocuments, the
// document's App, that application's AppObject).
//
// It needs only the two type libraries' headers (zandrel.idl's and the
// manager's) and the system's COM libraries. It prints one line per step.
//
// Its arguments are taken wide (wmain, built with -municode) and the path goes
// to the add-in as it was typed: through the ANSI code page, a character
// outside it would arrive as "?" or a look-alike ("Ω" as "O").

#include <windows.h>
#include <ocidl.h>
#include <ole2.h>
// The identifiers the two headers below declare are defined here, once (the
// system's are in its libraries).
#include <initguid.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "qms.h"
#include "zandrel.h"

namespace {

// A COM reference released at the end of its scope.
template <class T>
struct Com {
  T* p = nullptr;
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
  T** put() { return &p; }
};

// Text for this client's own output only.
std::string Narrow(const wchar_t* text) {
  if (!text) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(n > 0 ? static_cast<std::size_t>(n - 1) : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), n, nullptr, nullptr);
  return narrow;
}

bool Failed(const char* step, HRESULT hr) {
  if (SUCCEEDED(hr)) return false;
  std::printf("connect_client: %s failed: 0x%08lX\n", step, static_cast<unsigned long>(hr));
  return true;
}

// The add-in of the IDE that registered the manager's first document of the
// IDE kind (3).
HRESULT FindAddIn(_Connect** addin) {
  Com<IUnknown> running;
  HRESULT hr = GetActiveObject(CLSID_qmsIntegrationManager, nullptr, running.put());
  if (Failed("GetActiveObject(qmsIM.qmsIntegrationManager)", hr)) return hr;
  Com<IQmsIntegrationManager> manager;
  hr = running->QueryInterface(IID_IQmsIntegrationManager, reinterpret_cast<void**>(manager.put()));
  if (Failed("QueryInterface(IQmsIntegrationManager)", hr)) return hr;
  // Every argument of these members is passed by reference.
  short kind = 3;
  BSTR every = SysAllocString(L"");
  Com<IQmsDocuments> documents;
  hr = manager->FindDocuments(&kind, &every, documents.put());
  SysFreeString(every);
  if (Failed("FindDocuments", hr)) return hr;
  if (!documents.p) return Failed("FindDocuments", E_POINTER), E_POINTER;
  VARIANT first;
  VariantInit(&first);
  V_VT(&first) = VT_I4;
  V_I4(&first) = 1;
  Com<IQmsDocument> document;
  hr = documents->Item(&first, document.put());
  VariantClear(&first);  // [in, out]: whatever the call left in it
  if (Failed("Documents.Item(1)", hr)) return hr;
  Com<IQmsApplication> application;
  hr = document->get_App(application.put());
  if (Failed("Document.App", hr)) return hr;
  Com<IDispatch> appObject;
  hr = application->get_AppObject(appObject.put());
  if (Failed("Application.AppObject", hr)) return hr;
  if (!appObject.p) return Failed("Application.AppObject", E_POINTER), E_POINTER;
  hr = appObject->QueryInterface(IID__Connect, reinterpret_cast<void**>(addin));
  Failed("QueryInterface(_Connect)", hr);
  return hr;
}

// ExecuteExtendedCommand: the word and the list, both [in, out]. The add-in
// changes neither, but the proxy may hand back a new array (or string) in
// place of the one sent: the caller's own pointer is passed, and what it
// holds after the call is the caller's to destroy.
HRESULT Send(_Connect* addin, const wchar_t* word, SAFEARRAY** list) {
  BSTR command = SysAllocString(word);
  const HRESULT hr = addin->ExecuteExtendedCommand(&command, list);
  SysFreeString(command);
  return hr;
}

int Run(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::printf("usage: connect_client FILE LINE COLUMN\n");
    return 2;
  }
  Com<_Connect> addin;
  if (FAILED(FindAddIn(addin.put()))) return 1;

  BSTR name = nullptr;
  if (Failed("Name", addin->get_Name(&name))) return 1;
  std::printf("connect_client: the add-in of %s\n", Narrow(name).c_str());
  SysFreeString(name);
  LONG pid = 0;
  if (Failed("MSDEVPid", addin->get_MSDEVPid(&pid))) return 1;

  // openfile: a list of three variants, any lower bound (here 0): the path,
  // the line, the column.
  SAFEARRAY* list = SafeArrayCreateVector(VT_VARIANT, 0, 3);
  if (!list) return Failed("SafeArrayCreateVector", E_OUTOFMEMORY), 1;
  VARIANT element;
  LONG index = 0;
  VariantInit(&element);
  V_VT(&element) = VT_BSTR;
  V_BSTR(&element) = SysAllocString(argv[1]);
  SafeArrayPutElement(list, &index, &element);
  VariantClear(&element);
  for (index = 1; index <= 2; ++index) {
    V_VT(&element) = VT_I4;
    V_I4(&element) = static_cast<LONG>(std::wcstol(argv[index + 1], nullptr, 10));
    SafeArrayPutElement(list, &index, &element);
  }
  HRESULT hr = Send(addin.p, L"openfile", &list);
  SafeArrayDestroy(list);
  std::printf("connect_client: openfile %s %s %s -> 0x%08lX\n", Narrow(argv[1]).c_str(), Narrow(argv[2]).c_str(),
              Narrow(argv[3]).c_str(), static_cast<unsigned long>(hr));

  // activate: the IDE is another process, and Windows lets a process come to
  // the front only when the foreground process allows it. The manager (the
  // process the user works in) allows the IDE's process first.
  const BOOL allowed = AllowSetForegroundWindow(static_cast<DWORD>(pid));
  std::printf("connect_client: AllowSetForegroundWindow(MSDEVPid %ld) -> %s\n", static_cast<long>(pid),
              allowed ? "allowed" : "refused");
  SAFEARRAY* none = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  hr = Send(addin.p, L"activate", &none);
  SafeArrayDestroy(none);
  std::printf("connect_client: activate -> 0x%08lX\n", static_cast<unsigned long>(hr));
  return FAILED(hr) ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // One apartment, as the add-in's own thread: every call is a call into the
  // IDE's user-interface thread, which answers it between its messages.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int rc = Run(argc, argv);
  CoUninitialize();
  std::fflush(stdout);
  return rc;
}
