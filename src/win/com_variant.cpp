#include "win/com_variant.h"

#include <cstdio>
#include <string>

#include "win/dispatch_object.h"
#include "win/owners.h"
#include "win/text_conv.h"

namespace zandrel::win {

using automation::Error;
using automation::Result;
using automation::Variant;
using automation::VariantArray;
using automation::VarType;

HRESULT ToComVariant(const Variant& v, VARIANT* out, const ObjectBridge* bridge) {
  switch (v.type()) {
    case VarType::Empty: V_VT(out) = VT_EMPTY; return S_OK;
    case VarType::Boolean:
      V_VT(out) = VT_BOOL;
      V_BOOL(out) = v.AsBoolean() ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    case VarType::Integer: V_VT(out) = VT_I2; V_I2(out) = v.AsInteger(); return S_OK;
    case VarType::Long: V_VT(out) = VT_I4; V_I4(out) = v.AsLong(); return S_OK;
    case VarType::Single: V_VT(out) = VT_R4; V_R4(out) = v.AsSingle(); return S_OK;
    case VarType::Double: V_VT(out) = VT_R8; V_R8(out) = v.AsDouble(); return S_OK;
    case VarType::Date: V_VT(out) = VT_DATE; V_DATE(out) = v.AsDate().value; return S_OK;
    case VarType::String: {
      std::wstring wide = Utf8ToWide(v.AsString());
      BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
      if (!b) return E_OUTOFMEMORY;
      V_VT(out) = VT_BSTR;
      V_BSTR(out) = b;
      return S_OK;
    }
    case VarType::Object: {
      const auto& object = v.AsObject();
      V_VT(out) = VT_DISPATCH;
      V_DISPATCH(out) = nullptr;
      if (!object) return S_OK;
      if (auto* adapted = dynamic_cast<DispatchObject*>(object.get())) {
        V_DISPATCH(out) = adapted->dispatch();
        V_DISPATCH(out)->AddRef();
        return S_OK;
      }
      if (auto* exposable = dynamic_cast<ComExposable*>(object.get())) {
        V_DISPATCH(out) = exposable->NewDispatchReference();
        return V_DISPATCH(out) ? S_OK : E_NOINTERFACE;
      }
      if (bridge && bridge->exporter) {
        V_DISPATCH(out) = bridge->exporter(object);
        if (V_DISPATCH(out)) return S_OK;
      }
      V_VT(out) = VT_EMPTY;
      return E_NOINTERFACE;
    }
    case VarType::Array: {
      const VariantArray& array = v.AsArray();
      SAFEARRAYBOUND bound = {static_cast<ULONG>(array.elements.size()), array.lowerBound};
      UniqueSafeArray sa(SafeArrayCreate(VT_VARIANT, 1, &bound));
      if (!sa) return E_OUTOFMEMORY;
      for (std::size_t i = 0; i < array.elements.size(); ++i) {
        UniqueVariant element;
        HRESULT hr = ToComVariant(array.elements[i], element.get(), bridge);
        LONG index = array.lowerBound + static_cast<LONG>(i);
        if (SUCCEEDED(hr)) hr = SafeArrayPutElement(sa.get(), &index, element.get());
        if (FAILED(hr)) return hr;
      }
      V_VT(out) = VT_ARRAY | VT_VARIANT;
      V_ARRAY(out) = sa.release();
      return S_OK;
    }
    case VarType::Unsupported: V_VT(out) = VT_EMPTY; return DISP_E_TYPEMISMATCH;
  }
  return DISP_E_TYPEMISMATCH;
}

namespace {

Result<Variant> FromArray(SAFEARRAY* sa, VARTYPE elementType, const ObjectBridge* bridge) {
  if (!sa) return Variant(VariantArray{});
  if (SafeArrayGetDim(sa) != 1) return automation::errors::TypeMismatch();
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(sa, 1, &lower)) || FAILED(SafeArrayGetUBound(sa, 1, &upper)))
    return automation::errors::TypeMismatch();  // no array of one dimension after all
  // Elements of a type that fits in a VARIANT's union are read into one; the
  // others (records, decimals) are not read at all, and neither is an array
  // whose element size says otherwise.
  const UINT size = SafeArrayGetElemsize(sa);
  const bool fits = elementType == VT_VARIANT ? size == sizeof(VARIANT) : size <= sizeof(LONGLONG);
  const bool readable = fits && (elementType == VT_VARIANT || elementType == VT_I1 || elementType == VT_UI1 ||
                        elementType == VT_I2 || elementType == VT_UI2 || elementType == VT_I4 ||
                        elementType == VT_UI4 || elementType == VT_INT || elementType == VT_UINT ||
                        elementType == VT_I8 || elementType == VT_UI8 || elementType == VT_R4 ||
                        elementType == VT_R8 || elementType == VT_CY || elementType == VT_DATE ||
                        elementType == VT_BSTR || elementType == VT_DISPATCH || elementType == VT_UNKNOWN ||
                        elementType == VT_BOOL || elementType == VT_ERROR);
  VariantArray array;
  array.lowerBound = lower;
  for (LONG i = lower; i <= upper; ++i) {
    // Each element on its own: one that cannot be taken or converted stays in
    // its place as a value every conversion refuses, and the others convert.
    if (!readable) {
      array.elements.emplace_back(automation::Unsupported{});
      continue;
    }
    UniqueVariant element;
    HRESULT hr;
    if (elementType == VT_VARIANT) {
      hr = SafeArrayGetElement(sa, &i, element.get());
    } else {
      // Every member of the VARIANT union starts at the same address.
      V_VT(element.get()) = elementType;
      hr = SafeArrayGetElement(sa, &i, &V_I4(element.get()));
      if (FAILED(hr)) V_VT(element.get()) = VT_EMPTY;
    }
    auto value = SUCCEEDED(hr) ? FromComVariant(*element, bridge) : Result<Variant>(ErrorFromHresult(hr));
    array.elements.push_back(value ? std::move(*value) : Variant(automation::Unsupported{}));
  }
  return Variant(std::move(array));
}

}  // namespace

Result<Variant> FromComVariant(const VARIANT& in, const ObjectBridge* bridge) {
  if (V_VT(&in) & VT_BYREF) {
    UniqueVariant copy;
    if (HRESULT hr = VariantCopyInd(copy.get(), const_cast<VARIANT*>(&in)); FAILED(hr)) return ErrorFromHresult(hr);
    return FromComVariant(*copy, bridge);
  }
  if (V_VT(&in) & VT_ARRAY) return FromArray(V_ARRAY(&in), static_cast<VARTYPE>(V_VT(&in) & VT_TYPEMASK), bridge);

  switch (V_VT(&in)) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_ERROR:  // an omitted optional argument
      return Variant();
    case VT_BOOL: return Variant(V_BOOL(&in) != VARIANT_FALSE);
    case VT_I1: return Variant(static_cast<std::int16_t>(V_I1(&in)));
    case VT_UI1: return Variant(static_cast<std::int16_t>(V_UI1(&in)));
    case VT_I2: return Variant(V_I2(&in));
    case VT_UI2: return Variant(static_cast<std::int32_t>(V_UI2(&in)));
    case VT_I4: return Variant(static_cast<std::int32_t>(V_I4(&in)));
    case VT_INT: return Variant(static_cast<std::int32_t>(V_INT(&in)));
    case VT_R4: return Variant(V_R4(&in));
    case VT_R8: return Variant(V_R8(&in));
    case VT_DATE: return Variant(automation::Date{V_DATE(&in)});
    case VT_BSTR:
      return Variant(WideToUtf8(std::wstring_view(V_BSTR(&in) ? V_BSTR(&in) : L"", SysStringLen(V_BSTR(&in)))));
    case VT_DISPATCH:
      if (bridge && bridge->importer && V_DISPATCH(&in)) {
        if (auto own = bridge->importer(V_DISPATCH(&in))) return Variant(own);
      }
      return Variant(DispatchObject::Wrap(V_DISPATCH(&in), bridge));
    case VT_UNKNOWN: {
      if (!V_UNKNOWN(&in)) return Variant(automation::Ref<automation::Object>());
      ComPtr<IDispatch> dispatch;
      if (HRESULT hr = V_UNKNOWN(&in)->QueryInterface(IID_PPV_ARGS(dispatch.GetAddressOf())); FAILED(hr)) return ErrorFromHresult(hr);
      return Variant(DispatchObject::Wrap(dispatch.Get(), bridge));
    }
    default: {
      // Wider integers, currency and decimals arrive as Double.
      VARIANT d;
      VariantInit(&d);
      HRESULT hr = VariantChangeType(&d, const_cast<VARIANT*>(&in), 0, VT_R8);
      if (FAILED(hr)) return ErrorFromHresult(hr);
      return Variant(V_R8(&d));
    }
  }
}

Result<VariantArray> ArrayFromSafeArray(SAFEARRAY* array) {
  if (!array) return VariantArray{};
  VARTYPE type = VT_VARIANT;
  if (FAILED(SafeArrayGetVartype(array, &type))) type = VT_VARIANT;
  auto value = FromArray(array, type, nullptr);
  if (!value) return value.error();
  return value->AsArray();
}

HRESULT NewDispatch(const automation::Ref<automation::Object>& object, IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  VARIANT v;
  VariantInit(&v);
  HRESULT hr = ToComVariant(Variant(object), &v);
  if (FAILED(hr)) return hr;
  *out = V_DISPATCH(&v);  // the reference moves to the caller
  return S_OK;
}

namespace {

// The system's texts of the failure codes the add-in meets most, for a system
// that has no message text for them (Wine has none for most COM codes).
std::string KnownText(HRESULT hr) {
  switch (static_cast<unsigned long>(hr)) {
    case 0x80004001: return "Not implemented";
    case 0x80004002: return "No such interface supported";
    case 0x80004003: return "Invalid pointer";
    case 0x80004005: return "Unspecified error";
    case 0x8000FFFF: return "Catastrophic failure";
    case 0x80070005: return "Access is denied.";
    case 0x8007000E: return "Not enough memory resources are available to complete this operation.";
    case 0x80070057: return "The parameter is incorrect.";
    case 0x800401E3: return "Operation unavailable";
    case 0x800401F3: return "Invalid class string";
    case 0x80040154: return "Class not registered";
    case 0x80080005: return "Server execution failed";
    case 0x80010108: return "The object invoked has disconnected from its clients.";
    case 0x800706BA: return "The RPC server is unavailable.";
    case 0x800706BE: return "The remote procedure call failed.";
    case 0x80020003: return "Member not found.";
    case 0x80020006: return "Unknown name.";
    case 0x80020005: return "Type mismatch.";
    case 0x8002000A: return "Out of present range.";
    case 0x8002000B: return "Invalid index.";
    case 0x8002000E: return "Invalid number of parameters.";
    case 0x80020004: return "Parameter not found.";
    case 0x80040200: return "The object has no connection point for these events";
    default: return {};
  }
}

}  // namespace

Error ErrorFromHresult(HRESULT hr, const EXCEPINFO* info) {
  if (info && (info->bstrDescription || info->scode || info->wCode)) {
    HRESULT code = info->scode ? info->scode : (info->wCode ? MAKE_HRESULT(1, FACILITY_CONTROL, info->wCode) : hr);
    std::string text = info->bstrDescription ? WideToUtf8(info->bstrDescription) : std::string();
    if (!text.empty()) return Error{static_cast<std::int32_t>(code), text};
    hr = code;
  }
  wchar_t* buffer = nullptr;
  std::string text;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  if (n && buffer) {
    text = WideToUtf8(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  }
  if (buffer) LocalFree(buffer);
  if (text.empty()) text = KnownText(hr);
  if (text.empty()) {
    char fallback[48];
    std::snprintf(fallback, sizeof fallback, "Automation error 0x%08lX", static_cast<unsigned long>(hr));
    text = fallback;
  }
  return Error{static_cast<std::int32_t>(hr), text};
}

Error ErrorFromCall(HRESULT hr, IUnknown* callee, const IID& iid) {
  ComPtr<ISupportErrorInfo> support;
  bool supported = false;
  if (callee && SUCCEEDED(callee->QueryInterface(IID_PPV_ARGS(support.GetAddressOf()))))
    supported = support->InterfaceSupportsErrorInfo(iid) == S_OK;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.GetAddressOf()) == S_OK && info) {  // always taken, so that it never goes stale
    UniqueBstr description;
    std::string text;
    if (supported && SUCCEEDED(info->GetDescription(description.put())) && description)
      text = WideToUtf8(description.get());
    if (!text.empty()) return Error{static_cast<std::int32_t>(hr), text};
  }
  return ErrorFromHresult(hr);
}

HRESULT HresultFromError(const Error& error) {
  if (error.number < 0) return static_cast<HRESULT>(error.number);
  // The layer's own numbers travel as FACILITY_CONTROL codes, as automation
  // runtimes raise theirs.
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, error.number & 0xFFFF);
}

}  // namespace zandrel::win
