#include "win/dispatch_object.h"

#include <ocidl.h>

#include <vector>

#include "win/com_object.h"
#include "win/com_support.h"
#include "win/com_variant.h"
#include "win/owners.h"
#include "win/text_conv.h"

namespace zandrel::win {

using automation::CallKind;
using automation::Result;
using automation::Variant;

automation::Ref<automation::Object> DispatchObject::Wrap(IDispatch* dispatch, const ObjectBridge* bridge) {
  if (!dispatch) return {};
  return automation::Ref<automation::Object>(new DispatchObject(dispatch, bridge));
}

Result<Variant> DispatchObject::Invoke(std::string_view name, CallKind kind, std::span<Variant> args) {
  DISPID dispid = DISPID_VALUE;
  if (!name.empty()) {
    std::wstring wide = Utf8ToWide(name);
    LPOLESTR names[] = {wide.data()};
    HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr)) return ErrorFromHresult(hr);
  }

  // DISPPARAMS holds the arguments last first.
  UniqueVariants com(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    HRESULT hr = ToComVariant(args[i], &com[args.size() - 1 - i], bridge_);
    if (FAILED(hr)) return ErrorFromHresult(hr);
  }
  DISPPARAMS params = {com.data(), nullptr, static_cast<UINT>(com.size()), 0};
  DISPID putId = DISPID_PROPERTYPUT;
  WORD flags = DISPATCH_METHOD;
  switch (kind) {
    case CallKind::Method: flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET; break;
    case CallKind::PropertyGet: flags = DISPATCH_PROPERTYGET | DISPATCH_METHOD; break;
    case CallKind::PropertyPut: flags = DISPATCH_PROPERTYPUT; break;
    case CallKind::PropertyPutRef: flags = DISPATCH_PROPERTYPUTREF; break;
  }
  if (kind == CallKind::PropertyPut || kind == CallKind::PropertyPutRef) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }

  UniqueVariant result;
  UniqueExcepInfo info;
  UINT argError = 0;
  HRESULT hr = dispatch_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.get(), &info, &argError);
  if (FAILED(hr)) return ErrorFromHresult(hr, hr == DISP_E_EXCEPTION ? &info : nullptr);
  return FromComVariant(*result, bridge_);
}

}  // namespace zandrel::win

namespace zandrel::win {

namespace {

HRESULT ParseIid(std::string_view text, IID* iid) {
  std::wstring wide = Utf8ToWide(text);
  return IIDFromString(wide.c_str(), iid);
}

// The COM face of an event sink: it answers the events' dispinterface and
// hands each call, arguments in declared order, to the portable sink. The
// source holds it, maybe past Unadvise (when that fails) and past the add-in:
// while it lives the module stays loaded.
class ComEventSink final : public ComObject<ComEventSink, IDispatch> {
 public:
  ComEventSink(const IID& events, automation::Ref<automation::EventSink> sink, const ObjectBridge* bridge)
      : events_(events), sink_(std::move(sink)), bridge_(bridge) {}

  void* Find(REFIID riid) { return riid == events_ ? static_cast<IDispatch*>(this) : nullptr; }
  static void Counted(long delta) { CountModuleReference(delta); }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  // A fault is logged and becomes a failure code for the source, which has
  // no error info to read (the sink does not offer ISupportErrorInfo). The
  // thread's error info is left as the sink found it: what a handler's failed
  // outgoing call left goes, and what the IDE (or anyone on its thread) had
  // set before firing the event comes back for it to read.
  STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    ComPtr<IErrorInfo> callers;
    if (GetErrorInfo(0, callers.GetAddressOf()) != S_OK) callers.Reset();
    const HRESULT hr = GuardedWithoutErrorInfo("EventSink.Invoke", [&]() -> HRESULT {
      std::vector<Variant> args;
      const UINT n = params ? params->cArgs : 0;
      for (UINT i = 0; i < n; ++i) {
        auto value = FromComVariant(params->rgvarg[n - 1 - i], bridge_);  // DISPPARAMS hold them last first
        args.push_back(value ? *value : Variant());
      }
      (void)sink_->OnEvent(dispid, args);
      return S_OK;
    });
    SetErrorInfo(0, callers.Get());
    return hr;
  }

 private:
  IID events_;
  automation::Ref<automation::EventSink> sink_;
  const ObjectBridge* bridge_;
};

}  // namespace

automation::Result<automation::Ref<automation::Object>> DispatchObject::As(const automation::InterfaceId& iid) {
  IID id;
  if (HRESULT hr = ParseIid(iid.guid, &id); FAILED(hr)) return ErrorFromHresult(hr);
  ComPtr<IDispatch> wanted;
  // The interfaces asked for are dual: their pointers are IDispatch pointers.
  HRESULT hr = dispatch_->QueryInterface(id, reinterpret_cast<void**>(wanted.GetAddressOf()));
  if (FAILED(hr)) return ErrorFromHresult(hr);
  return Wrap(wanted.Get(), bridge_);
}

// The object's connection point for the events' dispinterface.
automation::Result<ComPtr<IConnectionPoint>> DispatchObject::PointOf(const automation::InterfaceId& events,
                                                                                  IID* iid) {
  if (HRESULT hr = ParseIid(events.guid, iid); FAILED(hr)) return ErrorFromHresult(hr);
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = dispatch_.As(&container);
  if (FAILED(hr)) return ErrorFromHresult(hr);
  ComPtr<IConnectionPoint> point;
  hr = container->FindConnectionPoint(*iid, &point);
  if (FAILED(hr)) return ErrorFromHresult(hr);
  return point;
}

automation::Result<std::uint32_t> DispatchObject::Advise(const automation::InterfaceId& events,
                                                        const automation::Ref<automation::EventSink>& sink) {
  IID id;
  auto point = PointOf(events, &id);
  if (!point) return point.error();
  ComPtr<IDispatch> comSink(new ComEventSink(id, sink, bridge_));
  DWORD cookie = 0;
  if (HRESULT hr = (*point)->Advise(comSink.Get(), &cookie); FAILED(hr)) return ErrorFromHresult(hr);
  return static_cast<std::uint32_t>(cookie);
}

automation::Status DispatchObject::Unadvise(const automation::InterfaceId& events, std::uint32_t cookie) {
  IID id;
  auto point = PointOf(events, &id);
  if (!point) return point.error();
  if (HRESULT hr = (*point)->Unadvise(cookie); FAILED(hr)) return ErrorFromHresult(hr);
  return automation::Status::Ok();
}

}  // namespace zandrel::win
