#include "win/connect_com.h"

#include "win/com_support.h"
#include "win/dispatch_object.h"
#include "win/outside_com.h"
#include "win/owners.h"
#include "win/text_conv.h"

namespace zandrel::win {

using automation::Variant;
using automation::VariantArray;

namespace {

// The array argument of a notification or a command; a malformed one reads as
// empty, as a missing one does.
VariantArray ArrayArgument(SAFEARRAY** array) {
  auto value = ArrayFromSafeArray(array ? *array : nullptr);
  return value ? *value : VariantArray{};
}

VARIANT_BOOL Bool(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

// IDispatch of a face (`self` for Invoke), driven by its interface's
// description in the module's type library `typelib`.
HRESULT FaceTypeInfo(int typelib, const IID& iid, UINT index, ITypeInfo** info) noexcept {
  return Guarded(iid, "GetTypeInfo", [&]() -> HRESULT {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return EmbeddedTypeInfo(typelib, iid, info);
  });
}

HRESULT FaceIDsOfNames(int typelib, const IID& iid, LPOLESTR* names, UINT count, DISPID* ids) noexcept {
  return Guarded(iid, "GetIDsOfNames", [&]() -> HRESULT {
    ComPtr<ITypeInfo> info;
    if (HRESULT hr = EmbeddedTypeInfo(typelib, iid, &info); FAILED(hr)) return hr;
    return DispGetIDsOfNames(info.Get(), names, count, ids);
  });
}

HRESULT FaceInvoke(int typelib, const IID& iid, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept {
  return Guarded(iid, "Invoke", [&]() -> HRESULT {
    ComPtr<ITypeInfo> info;
    if (HRESULT hr = EmbeddedTypeInfo(typelib, iid, &info); FAILED(hr)) return hr;
    return DispInvoke(self, info.Get(), id, flags, params, result, excep, argErr);
  });
}

// The IDE always gets success from its notifications, and no error info.
// The add-in's logic handles and logs its own failures and returns normally
// (OnConnection's failure is an ERROR line, not a failed load); a C++
// exception, the one thing left, is logged by the guard and must not turn a
// notification the add-in has dealt with into a failure on the IDE's side
// (the IDE's reference says nothing of what it does with one). The guard's
// error info, and any an inner call left, is cleared: a success leaves no
// stale error object on the IDE's thread for a later call to pick up.
template <class Body>
HRESULT Notification(const char* operation, Body&& body) noexcept {
  (void)Guarded(IID_IDTExtensibility2, operation, std::forward<Body>(body));
  SetErrorInfo(0, nullptr);
  return S_OK;
}

}  // namespace

ConnectCom::ConnectCom() : addin_(std::make_unique<addin::Connect>(*this, &ComOutsideComponents())) {}

// The module's count is not touched here: ComObject tells Counted of the last
// release after this object and its members are gone.
ConnectCom::~ConnectCom() = default;

HRESULT ConnectCom::CreateInstance(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return Guarded(IID__Connect, "CreateInstance", [&]() -> HRESULT {
    ComPtr<_Connect> object(new ConnectCom());
    static_cast<ConnectCom*>(object.Get())->addin_->FinalConstruct();
    return object->QueryInterface(riid, ppv);
  });
}

void* ConnectCom::Find(REFIID riid) {
  if (riid == IID_IDispatch) return static_cast<_Connect*>(this);
  if (riid == IID_IDTExtensibility2) return static_cast<IDTExtensibility2*>(&extensibility_);
  return nullptr;
}

void ConnectCom::FinalRelease() {
  // Inside a Release: a fault is logged, and nothing reaches the caller.
  (void)GuardedWithoutErrorInfo("FinalRelease", [&]() -> HRESULT {
    addin_->FinalRelease();
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP ConnectCom::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return FaceTypeInfo(1, IID__Connect, index, info);
}

STDMETHODIMP ConnectCom::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return FaceIDsOfNames(1, IID__Connect, names, count, ids);
}

STDMETHODIMP ConnectCom::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO* excep, UINT* argErr) {
  return FaceInvoke(1, IID__Connect, static_cast<_Connect*>(this), id, flags, params, result, excep, argErr);
}

STDMETHODIMP ConnectCom::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == IID__Connect || riid == IID_IDTExtensibility2 ? S_OK : S_FALSE;
}

IDispatch* ConnectCom::NewDispatchReference() {
  ComObject::AddRef();
  return static_cast<_Connect*>(this);
}

automation::Result<Variant> ConnectCom::Invoke(std::string_view name, automation::CallKind kind,
                                               std::span<Variant> args) {
  // By name through the object's own IDispatch, as any late-bound caller.
  auto self = DispatchObject::Wrap(static_cast<_Connect*>(this));
  return self->Invoke(name, kind, args);
}

// _Connect

STDMETHODIMP ConnectCom::get_Description(BSTR* out) {
  return Guarded(IID__Connect, "get_Description", [&]() -> HRESULT {
    if (!out) return E_POINTER;
    *out = NewBstr(addin_->Description());
    return *out ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP ConnectCom::Ping() {
  return Guarded(IID__Connect, "Ping", [&]() -> HRESULT {
    addin_->Ping();
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::get_DTE(IDispatch** out) {
  return Guarded(IID__Connect, "get_DTE", [&]() -> HRESULT { return NewDispatch(addin_->DTE(), out); });
}

STDMETHODIMP ConnectCom::get_Name(BSTR* out) {
  return Guarded(IID__Connect, "get_Name", [&]() -> HRESULT {
    if (!out) return E_POINTER;
    *out = NewBstr(addin_->Name());
    return *out ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP ConnectCom::get_MSDEVPid(LONG* out) {
  return Guarded(IID__Connect, "get_MSDEVPid", [&]() -> HRESULT {
    if (!out) return E_POINTER;
    *out = addin_->MSDEVPid();
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::get_MSDEVMainWnd(LONG* out) {
  return Guarded(IID__Connect, "get_MSDEVMainWnd", [&]() -> HRESULT {
    if (!out) return E_POINTER;
    auto window = addin_->MSDEVMainWnd();
    if (!window) return Fail(window.error(), IID__Connect);
    *out = *window;
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::RegisterProjects(VARIANT_BOOL* out) {
  return Guarded(IID__Connect, "RegisterProjects", [&]() -> HRESULT {
    if (!out) return E_POINTER;
    *out = Bool(addin_->RegisterProjects());
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::Timer() {
  return Guarded(IID__Connect, "Timer", [&]() -> HRESULT {
    addin_->Timer();
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::get_EventQueueCount(LONG* out) {
  return Guarded(IID__Connect, "get_EventQueueCount", [&]() -> HRESULT {
    if (!out) return E_POINTER;
    auto count = addin_->EventQueueCount();
    if (!count) return Fail(count.error(), IID__Connect);
    *out = *count;
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::get_RTEServer(VARIANT_BOOL* out) {
  return Guarded(IID__Connect, "get_RTEServer", [&]() -> HRESULT {
    if (!out) return E_POINTER;
    *out = Bool(addin_->RTEServer());
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::put_RTEServer(VARIANT_BOOL bNewValue) {
  return Guarded(IID__Connect, "put_RTEServer", [&]() -> HRESULT {
    addin_->RTEServer(bNewValue != VARIANT_FALSE);
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::DoInitialize(VARIANT* lvarEvent) {
  return Guarded(IID__Connect, "DoInitialize", [&]() -> HRESULT {
    Variant event;
    if (lvarEvent) {
      auto value = FromComVariant(*lvarEvent);
      if (value) event = *value;
    }
    addin_->DoInitialize(event);
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::get_NewWorkspace(VARIANT_BOOL* out) {
  return Guarded(IID__Connect, "get_NewWorkspace", [&]() -> HRESULT {
    if (!out) return E_POINTER;
    *out = Bool(addin_->NewWorkspace());
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::get_CurrentBuildErrors(LONG* out) {
  return Guarded(IID__Connect, "get_CurrentBuildErrors", [&]() -> HRESULT {
    if (!out) return E_POINTER;
    *out = addin_->CurrentBuildErrors();
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::get_CurrentBuildWarnings(LONG* out) {
  return Guarded(IID__Connect, "get_CurrentBuildWarnings", [&]() -> HRESULT {
    if (!out) return E_POINTER;
    *out = addin_->CurrentBuildWarnings();
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::ExecuteExtendedCommand(BSTR* pstrCommand, SAFEARRAY** pvarArgList) {
  return Guarded(IID__Connect, "ExecuteExtendedCommand", [&]() -> HRESULT {
    addin_->ExecuteExtendedCommand(pstrCommand ? FromBstr(*pstrCommand) : std::string(), ArrayArgument(pvarArgList));
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::put_ActiveProject(BSTR* pstrFullname) {
  return Guarded(IID__Connect, "put_ActiveProject", [&]() -> HRESULT {
    addin_->ActiveProject(pstrFullname ? FromBstr(*pstrFullname) : std::string());
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::get_ActiveProject(BSTR* out) {
  return Guarded(IID__Connect, "get_ActiveProject", [&]() -> HRESULT {
    if (!out) return E_POINTER;
    *out = NewBstr(addin_->ActiveProject());
    return *out ? S_OK : E_OUTOFMEMORY;
  });
}

// IDTExtensibility2

STDMETHODIMP ConnectCom::Extensibility::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP ConnectCom::Extensibility::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return FaceTypeInfo(2, IID_IDTExtensibility2, index, info);
}

STDMETHODIMP ConnectCom::Extensibility::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return FaceIDsOfNames(2, IID_IDTExtensibility2, names, count, ids);
}

STDMETHODIMP ConnectCom::Extensibility::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                               VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
  return FaceInvoke(2, IID_IDTExtensibility2, static_cast<IDTExtensibility2*>(this), id, flags, params, result, excep,
                    argErr);
}

// The notifications (see Notification above).

STDMETHODIMP ConnectCom::Extensibility::OnConnection(IDispatch* Application, LONG ConnectMode, IDispatch* AddInInst,
                                                     SAFEARRAY** custom) {
  return Notification("OnConnection", [&]() -> HRESULT {
    outer_.addin_->OnConnection(DispatchObject::Wrap(Application), ConnectMode, DispatchObject::Wrap(AddInInst),
                                ArrayArgument(custom));
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::Extensibility::OnDisconnection(LONG RemoveMode, SAFEARRAY** custom) {
  return Notification("OnDisconnection", [&]() -> HRESULT {
    outer_.addin_->OnDisconnection(RemoveMode, ArrayArgument(custom));
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::Extensibility::OnAddInsUpdate(SAFEARRAY** custom) {
  return Notification("OnAddInsUpdate", [&]() -> HRESULT {
    outer_.addin_->OnAddInsUpdate(ArrayArgument(custom));
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::Extensibility::OnStartupComplete(SAFEARRAY** custom) {
  return Notification("OnStartupComplete", [&]() -> HRESULT {
    outer_.addin_->OnStartupComplete(ArrayArgument(custom));
    return S_OK;
  });
}

STDMETHODIMP ConnectCom::Extensibility::OnBeginShutdown(SAFEARRAY** custom) {
  return Notification("OnBeginShutdown", [&]() -> HRESULT {
    outer_.addin_->OnBeginShutdown(ArrayArgument(custom));
    return S_OK;
  });
}

}  // namespace zandrel::win
