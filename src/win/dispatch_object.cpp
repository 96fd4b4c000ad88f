#include "win/dispatch_object.h"

#include <vector>

#include "win/com_variant.h"
#include "win/text_conv.h"

namespace zandrel::win {

using automation::CallKind;
using automation::Result;
using automation::Variant;

namespace {

struct ComVariants {
  explicit ComVariants(std::size_t n) : v(n) {
    for (VARIANT& x : v) VariantInit(&x);
  }
  ~ComVariants() {
    for (VARIANT& x : v) VariantClear(&x);
  }
  ComVariants(const ComVariants&) = delete;
  ComVariants& operator=(const ComVariants&) = delete;
  std::vector<VARIANT> v;
};

}  // namespace

automation::Ref<automation::Object> DispatchObject::Wrap(IDispatch* dispatch) {
  if (!dispatch) return {};
  return automation::Ref<automation::Object>(new DispatchObject(dispatch));
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
  ComVariants com(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    HRESULT hr = ToComVariant(args[i], &com.v[args.size() - 1 - i]);
    if (FAILED(hr)) return ErrorFromHresult(hr);
  }
  DISPPARAMS params = {com.v.empty() ? nullptr : com.v.data(), nullptr, static_cast<UINT>(com.v.size()), 0};
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

  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info = {};
  UINT argError = 0;
  HRESULT hr = dispatch_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &info, &argError);
  if (FAILED(hr)) {
    automation::Error error = ErrorFromHresult(hr, hr == DISP_E_EXCEPTION ? &info : nullptr);
    if (info.bstrSource) SysFreeString(info.bstrSource);
    if (info.bstrDescription) SysFreeString(info.bstrDescription);
    if (info.bstrHelpFile) SysFreeString(info.bstrHelpFile);
    return error;
  }
  auto value = FromComVariant(result);
  VariantClear(&result);
  return value;
}

}  // namespace zandrel::win
