#include "com/exported_object.h"

#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "automation/text.h"
#include "ide_identifiers.h"
#include "model_object.h"
#include "win/com_object.h"
#include "win/com_support.h"
#include "win/com_variant.h"
#include "win/dispatch_object.h"
#include "win/owners.h"
#include "win/text_conv.h"

namespace zandrel::testbed::com {

// The conversions and COM helpers are the add-in's own (src/win).
using namespace zandrel::win;

using automation::CallKind;
using automation::Ref;
using automation::Variant;

namespace {

std::atomic<long> g_alive{0};
std::mutex g_liveMutex;
std::set<const void*> g_live;  // the exported objects alive, as IDispatch pointers

// Dispatch ids by member name, shared by every exported object of the process.
class Names {
 public:
  DISPID IdOf(const std::string& name) {
    const std::string key = automation::LowerCase(name);
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = ids_.find(key);
    if (found != ids_.end()) return found->second;
    const DISPID id = static_cast<DISPID>(names_.size() + 1000);
    ids_[key] = id;
    names_.push_back(name);
    return id;
  }
  bool NameOf(DISPID id, std::string* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (id == DISPID_VALUE) {
      name->clear();
      return true;
    }
    const auto index = static_cast<std::size_t>(id - 1000);
    if (id < 1000 || index >= names_.size()) return false;
    *name = names_[index];
    return true;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, DISPID> ids_;
  std::vector<std::string> names_;
};

Names& DispatchNames() {
  static Names names;
  return names;
}

std::string GuidString(REFIID iid) {
  wchar_t text[40] = {};
  StringFromGUID2(iid, text, 40);
  return WideToUtf8(text);
}

// A COM sink seen as the portable sink that the object's Advise expects: each
// event becomes an Invoke on the sink, arguments last first.
class ForwardingSink final : public automation::RefCountedBase, public automation::EventSink {
 public:
  ForwardingSink(IDispatch* sink, std::string_view events) : sink_(sink), events_(events) {}
  automation::Status OnEvent(std::int32_t dispid, std::span<Variant> args) override {
    // The event's parameters as the type library declares them: a Boolean
    // passed by reference (a veto) arrives as VT_BOOL | VT_BYREF.
    const ide_ids::Event* event = nullptr;
    for (const ide_ids::Event& e : ide_ids::kEvents_)
      if (e.interfaceName == events_ && e.dispid == dispid) event = &e;
    UniqueVariants com(args.size());
    std::vector<VARIANT_BOOL> flags(args.size(), VARIANT_FALSE);
    for (std::size_t i = 0; i < args.size(); ++i) {
      VARIANT& v = com[args.size() - 1 - i];
      const bool byReference = event && static_cast<int>(i) < event->count && event->parameters[i].byReference;
      if (byReference) {
        auto value = automation::ToBoolean(args[i]);
        flags[i] = value && *value ? VARIANT_TRUE : VARIANT_FALSE;
        V_VT(&v) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&v) = &flags[i];
      } else {
        ToComVariant(args[i], &v, &ModelBridge());
      }
    }
    DISPPARAMS params = {com.data(), nullptr, static_cast<UINT>(com.size()), 0};
    HRESULT hr = sink_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    for (std::size_t i = 0; i < args.size(); ++i) {
      VARIANT& v = com[args.size() - 1 - i];
      if (V_VT(&v) == (VT_BOOL | VT_BYREF)) args[i] = Variant(flags[i] != VARIANT_FALSE);  // what the sink left
    }
    if (FAILED(hr)) return ErrorFromHresult(hr);
    return automation::Status::Ok();
  }

 private:
  ComPtr<IDispatch> sink_;
  std::string events_;
};

// The name of a source dispinterface of the IDE, by its DIID text.
std::string_view EventsNamed(const std::string& diid) {
  for (const ide_ids::Guid* g : {&ide_ids::kDispSolutionEvents, &ide_ids::kDispCommandEvents})
    if (automation::LowerCase(g->guid) == automation::LowerCase(diid)) return g->name;
  return {};
}

// The dispatch id of a member of the IDE's type library, by the object's
// interface and the member's name (letter case ignored), and back.
const ide_ids::Member* TableMember(const testbed::ModelObject* model, std::string_view name) {
  if (!model) return nullptr;
  for (const ide_ids::Member& m : ide_ids::kMembers)
    if (m.interfaceName == model->InterfaceName() && automation::LowerCase(m.name) == automation::LowerCase(name))
      return &m;
  return nullptr;
}
const ide_ids::Member* TableMember(const testbed::ModelObject* model, DISPID id) {
  if (!model) return nullptr;
  for (const ide_ids::Member& m : ide_ids::kMembers)
    if (m.interfaceName == model->InterfaceName() && m.dispid == id) return &m;
  return nullptr;
}

class Exported;

class ConnectionPoint final : public zandrel::win::ComObject<ConnectionPoint, IConnectionPoint> {
 public:
  ConnectionPoint(Exported* owner, const IID& iid);
  STDMETHODIMP GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

 private:
  Exported* owner_;
  ComPtr<IConnectionPointContainer> held_;  // the owner, alive while the point is
  IID iid_;
  std::string iidText_;
};

class Exported final : public zandrel::win::ComObject<Exported, IDispatch, IConnectionPointContainer> {
 public:
  explicit Exported(Ref<automation::Object> object) : object_(std::move(object)) {
    ++g_alive;
    std::lock_guard<std::mutex> lock(g_liveMutex);
    g_live.insert(static_cast<IDispatch*>(this));
  }
  ~Exported() {
    --g_alive;
    std::lock_guard<std::mutex> lock(g_liveMutex);
    g_live.erase(static_cast<IDispatch*>(this));
  }

  const Ref<automation::Object>& object() const { return object_; }

  // Another interface of the model object: this object again when the model
  // answers with itself (a dual interface), else the other object's export.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv || riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IConnectionPointContainer)
      return ComObject::QueryInterface(riid, ppv);
    *ppv = nullptr;
    auto as = object_->As(automation::InterfaceId{"", GuidString(riid)});
    if (!as) return E_NOINTERFACE;
    if (as->Address() != object_.Address()) {
      *ppv = ExportObject(*as);
      return *ppv ? S_OK : E_NOINTERFACE;
    }
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (count == 0) return S_OK;
    const std::string name = WideToUtf8(names[0]);
    const auto* model = dynamic_cast<const testbed::ModelObject*>(object_.get());
    if (model && !model->Answers(name)) return DISP_E_UNKNOWNNAME;
    const ide_ids::Member* member = TableMember(model, name);
    ids[0] = member ? member->dispid : DispatchNames().IdOf(name);
    return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                      UINT*) override {
    try {
      std::string name;
      if (const ide_ids::Member* member = TableMember(dynamic_cast<const testbed::ModelObject*>(object_.get()), id))
        name = member->name;
      else if (!DispatchNames().NameOf(id, &name))
        return DISP_E_MEMBERNOTFOUND;
      CallKind kind = CallKind::Method;
      if (flags & DISPATCH_PROPERTYPUTREF) kind = CallKind::PropertyPutRef;
      else if (flags & DISPATCH_PROPERTYPUT) kind = CallKind::PropertyPut;
      else if (flags & DISPATCH_PROPERTYGET && !(flags & DISPATCH_METHOD)) kind = CallKind::PropertyGet;
      std::vector<Variant> args;
      const UINT n = params ? params->cArgs : 0;
      // Positional arguments are last first; a put's value is the named one at
      // index 0, and comes last in declared order.
      for (UINT i = 0; i < n; ++i) {
        auto value = FromComVariant(params->rgvarg[n - 1 - i], &ModelBridge());
        if (!value) return Raise(value.error(), excep);
        args.push_back(*value);
      }
      if ((kind == CallKind::PropertyPut || kind == CallKind::PropertyPutRef) && params && params->cNamedArgs == 1 &&
          n > 1) {
        std::rotate(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(n - 1), args.end());
      }
      auto value = object_->Invoke(name, kind, args);
      if (!value) return Raise(value.error(), excep);
      if (result) {
        VariantInit(result);
        if (HRESULT hr = ToComVariant(*value, result, &ModelBridge()); FAILED(hr)) return hr;
      }
      return S_OK;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = nullptr;
    // An event object has one connection point: its own source dispinterface.
    const auto* source = dynamic_cast<const testbed::EventSourceObject*>(object_.get());
    if (!source || automation::LowerCase(source->Events().guid) != automation::LowerCase(GuidString(riid)))
      return CONNECT_E_NOCONNECTION;
    return ComPtr<IConnectionPoint>(new ConnectionPoint(this, riid)).CopyTo(point);
  }

 private:
  static HRESULT Raise(const automation::Error& error, EXCEPINFO* excep) {
    if (excep) {
      *excep = EXCEPINFO{};
      excep->bstrSource = SysAllocString(L"stand-in");
      excep->bstrDescription = NewBstr(error.description);
      excep->scode = HresultFromError(error);
    }
    return DISP_E_EXCEPTION;
  }

  Ref<automation::Object> object_;
};

ConnectionPoint::ConnectionPoint(Exported* owner, const IID& iid)
    : owner_(owner), held_(owner), iid_(iid), iidText_(GuidString(iid)) {}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  return held_.CopyTo(container);
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  ComPtr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.GetAddressOf()))))
    return CONNECT_E_CANNOTCONNECT;
  Ref<automation::EventSink> forwarding(new ForwardingSink(dispatch.Get(), EventsNamed(iidText_)));
  auto advised = owner_->object()->Advise(automation::InterfaceId{"", iidText_}, forwarding);
  if (!advised) return CONNECT_E_NOCONNECTION;
  *cookie = *advised;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  auto done = owner_->object()->Unadvise(automation::InterfaceId{"", iidText_}, cookie);
  return done ? S_OK : CONNECT_E_NOCONNECTION;
}

}  // namespace

IDispatch* ExportObject(const Ref<automation::Object>& object) {
  if (!object) return nullptr;
  return ComPtr<IDispatch>(new Exported(object)).Detach();
}

const ObjectBridge& ModelBridge() {
  static const ObjectBridge bridge{&ExportObject, &ImportObject};
  return bridge;
}

Ref<automation::Object> ImportObject(IDispatch* dispatch) {
  std::lock_guard<std::mutex> lock(g_liveMutex);
  if (!g_live.contains(dispatch)) return {};
  return static_cast<Exported*>(dispatch)->object();
}

long ExportedObjectsAlive() { return g_alive; }

}  // namespace zandrel::testbed::com
