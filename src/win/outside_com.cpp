#include "win/outside_com.h"

#include "qms.h"
#include "win/com_support.h"
#include "win/com_variant.h"
#include "win/dispatch_object.h"
#include "win/owners.h"
#include "win/text_conv.h"

namespace zandrel::win {

using automation::Ref;
using automation::Result;
using automation::Status;
using automation::Variant;
using namespace registration;

namespace {

template <class Interface>
class Proxy : public automation::RefCountedBase {
 public:
  explicit Proxy(Interface* p) : p_(p) {}
  Interface* com() const { return p_.Get(); }

 protected:
  automation::Error Failed(HRESULT hr) const { return ErrorFromCall(hr, p_.Get(), __uuidof(Interface)); }
  ComPtr<Interface> p_;
};

template <class P, class Interface>
Ref<typename P::Wrapped> WrapProxy(const ComPtr<Interface>& p) {
  if (!p) return {};
  return Ref<typename P::Wrapped>(new P(p.Get()));
}

// The COM object behind a proxy, as a new reference (none for another object).
template <class P, class Interface>
ComPtr<Interface> Underlying(const Ref<typename P::Wrapped>& ref) {
  auto* proxy = dynamic_cast<P*>(ref.get());
  return ComPtr<Interface>(proxy ? proxy->com() : nullptr);
}

// An [in, out] interface argument (the manager's, the document project's):
// the callee gets the COM reference the caller's `held` stands for and may
// hand back another (or none); after the call, succeeded or not, `held`
// stands for what it left.
template <class Interface, class Wrapped>
class InOutArgument {
 public:
  using Wrap = Ref<Wrapped> (*)(Interface*);
  InOutArgument(Ref<Wrapped>& held, ComPtr<Interface> passed, Wrap wrap)
      : held_(held), com_(std::move(passed)), passed_(com_.Get()), wrap_(wrap) {}
  Interface** get() { return InOut(com_); }
  void TakeBack() {
    if (com_.Get() != passed_) held_ = wrap_(com_.Get());
  }

 private:
  Ref<Wrapped>& held_;
  ComPtr<Interface> com_;
  Interface* passed_;
  Wrap wrap_;
};

// The argument for a reference the caller holds as a proxy of class P.
template <class P, class Interface>
InOutArgument<Interface, typename P::Wrapped> ProxyArgument(Ref<typename P::Wrapped>& held) {
  return {held, Underlying<P, Interface>(held), [](Interface* p) { return WrapProxy<P>(ComPtr<Interface>(p)); }};
}

// An object the caller holds as COM sees it (the add-in itself, a container),
// or whatever the callee puts in its place.
InOutArgument<IDispatch, automation::Object> ObjectArgument(Ref<automation::Object>& held, ComPtr<IDispatch> passed) {
  return {held, std::move(passed), [](IDispatch* p) { return DispatchObject::Wrap(p); }};
}

class AppProxy final : public Proxy<IQmsApplication>, public QmsApplication {
 public:
  using Wrapped = QmsApplication;
  using Proxy::Proxy;
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(com()); }
  Status SetProcessId(std::string& processId) override {
    UniqueBstr id(NewBstr(processId));
    if (HRESULT hr = p_->put_ProcessId(id.InOut()); FAILED(hr)) return Failed(hr);
    processId = FromBstr(id.get());
    return Status::Ok();
  }
  Result<Ref<automation::Object>> AppObject() override {
    ComPtr<IDispatch> object;
    if (HRESULT hr = p_->get_AppObject(object.GetAddressOf()); FAILED(hr)) return Failed(hr);
    return DispatchObject::Wrap(object.Get());
  }
};

class DocProxy final : public Proxy<IQmsDocument>, public QmsDocument {
 public:
  using Wrapped = QmsDocument;
  using Proxy::Proxy;
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(com()); }
  Result<std::string> DocName() override {
    UniqueBstr name;
    if (HRESULT hr = p_->get_DocName(name.put()); FAILED(hr)) return Failed(hr);
    return FromBstr(name.get());
  }
  Result<Ref<QmsApplication>> App() override {
    ComPtr<IQmsApplication> app;
    if (HRESULT hr = p_->get_App(app.GetAddressOf()); FAILED(hr)) return Failed(hr);
    return WrapProxy<AppProxy>(app);
  }
};

class DocsProxy final : public Proxy<IQmsDocuments>, public QmsDocuments {
 public:
  using Wrapped = QmsDocuments;
  using Proxy::Proxy;
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(com()); }
  Result<Ref<QmsDocument>> Item(Variant& index) override {
    UniqueVariant v;
    if (HRESULT hr = ToComVariant(index, v.get()); FAILED(hr)) return ErrorFromHresult(hr);
    ComPtr<IQmsDocument> doc;
    if (HRESULT hr = p_->Item(v.get(), doc.GetAddressOf()); FAILED(hr)) return Failed(hr);
    return WrapProxy<DocProxy>(doc);
  }
  Result<std::int32_t> Count() override {
    LONG count = 0;
    if (HRESULT hr = p_->get_Count(&count); FAILED(hr)) return Failed(hr);
    return static_cast<std::int32_t>(count);
  }
};

class DocProjectProxy final : public Proxy<IQmcDocProject>, public QmcDocProject {
 public:
  using Wrapped = QmcDocProject;
  using Proxy::Proxy;
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(com()); }
  Status SetName(std::string& v) override { return PutText(&IQmcDocProject::put_Name, v); }
  Status SetFullName(std::string& v) override { return PutText(&IQmcDocProject::put_FullName, v); }
  Status SetComment(std::string& v) override { return PutText(&IQmcDocProject::put_Comment, v); }
  Status SetTimeStamp(Variant& v) override {
    UniqueVariant value;
    if (HRESULT hr = ToComVariant(v, value.get()); FAILED(hr)) return ErrorFromHresult(hr);
    if (HRESULT hr = p_->put_TimeStamp(value.get()); FAILED(hr)) return Failed(hr);
    if (auto back = FromComVariant(*value)) v = std::move(*back);
    return Status::Ok();
  }
  Status SetContainer(Ref<automation::Object>& container) override {
    ComPtr<IDispatch> object;
    if (HRESULT hr = NewDispatch(container, object.GetAddressOf()); FAILED(hr)) return ErrorFromHresult(hr);
    auto c = ObjectArgument(container, std::move(object));
    HRESULT hr = p_->putref_Container(c.get());
    c.TakeBack();
    if (FAILED(hr)) return Failed(hr);
    return Status::Ok();
  }

 private:
  Status PutText(HRESULT (STDMETHODCALLTYPE IQmcDocProject::*put)(BSTR*), std::string& text) {
    UniqueBstr value(NewBstr(text));
    if (HRESULT hr = (p_.Get()->*put)(value.InOut()); FAILED(hr)) return Failed(hr);
    text = FromBstr(value.get());
    return Status::Ok();
  }
};

// A document project, passed as IDispatch; one handed back is used through
// its own interface.
InOutArgument<IDispatch, QmcDocProject> DocProjectArgument(Ref<QmcDocProject>& held) {
  return {held, Underlying<DocProjectProxy, IQmcDocProject>(held), [](IDispatch* p) {
            ComPtr<IQmcDocProject> project;
            if (p) p->QueryInterface(IID_PPV_ARGS(project.GetAddressOf()));
            return WrapProxy<DocProjectProxy>(project);
          }};
}

class RegMgrProxy final : public Proxy<IQmsRegistrationManager>, public QmsRegistrationManager {
 public:
  using Wrapped = QmsRegistrationManager;
  using Proxy::Proxy;
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(com()); }

  Result<Ref<QmsApplication>> RegisterApp(std::int16_t& kind, Ref<automation::Object>& application) override {
    short k = kind;
    ComPtr<IDispatch> object;
    if (HRESULT hr = NewDispatch(application, object.GetAddressOf()); FAILED(hr)) return ErrorFromHresult(hr);
    auto a = ObjectArgument(application, std::move(object));
    ComPtr<IQmsApplication> app;
    HRESULT hr = p_->RegisterApp(&k, a.get(), app.GetAddressOf());
    kind = k;
    a.TakeBack();
    if (FAILED(hr)) return Failed(hr);
    return WrapProxy<AppProxy>(app);
  }

  Status UnRegisterApp(Ref<QmsApplication>& app, std::int16_t& kind) override {
    short k = kind;
    auto a = ProxyArgument<AppProxy, IQmsApplication>(app);
    HRESULT hr = p_->UnRegisterApp(a.get(), &k);
    kind = k;
    a.TakeBack();
    if (FAILED(hr)) return Failed(hr);
    return Status::Ok();
  }

  Result<Ref<QmsDocument>> RegisterDoc(Ref<QmsApplication>& app, std::string& name,
                                       Ref<QmcDocProject>& docProject) override {
    auto a = ProxyArgument<AppProxy, IQmsApplication>(app);
    UniqueBstr n(NewBstr(name));
    auto project = DocProjectArgument(docProject);
    ComPtr<IQmsDocument> doc;
    HRESULT hr = p_->RegisterDoc(a.get(), n.InOut(), project.get(), doc.GetAddressOf());
    a.TakeBack();
    project.TakeBack();
    if (FAILED(hr)) return Failed(hr);
    name = FromBstr(n.get());
    return WrapProxy<DocProxy>(doc);
  }

  Status UnRegisterDoc(Ref<QmsDocument>& document, Ref<QmsApplication>& app, std::string& name) override {
    auto d = ProxyArgument<DocProxy, IQmsDocument>(document);
    auto a = ProxyArgument<AppProxy, IQmsApplication>(app);
    UniqueBstr n(NewBstr(name));
    HRESULT hr = p_->UnRegisterDoc(d.get(), a.get(), n.InOut());
    d.TakeBack();
    a.TakeBack();
    if (FAILED(hr)) return Failed(hr);
    return Status::Ok();
  }
};

class ManagerProxy final : public Proxy<IQmsIntegrationManager>, public QmsIntegrationManager {
 public:
  using Wrapped = QmsIntegrationManager;
  using Proxy::Proxy;
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(com()); }

  Result<Ref<QmsDocuments>> FindDocuments(std::int16_t& kind, std::string& name) override {
    short k = kind;
    UniqueBstr n(NewBstr(name));
    ComPtr<IQmsDocuments> docs;
    HRESULT hr = p_->FindDocuments(&k, n.InOut(), docs.GetAddressOf());
    kind = k;
    if (FAILED(hr)) return Failed(hr);
    name = FromBstr(n.get());
    return WrapProxy<DocsProxy>(docs);
  }

  Result<Ref<QmsRegistrationManager>> RegistrationManager() override {
    ComPtr<IQmsRegistrationManager> regMgr;
    if (HRESULT hr = p_->get_RegistrationManager(regMgr.GetAddressOf()); FAILED(hr)) return Failed(hr);
    return WrapProxy<RegMgrProxy>(regMgr);
  }
};

class ComOutside final : public addin::OutsideComponents {
 public:
  Result<Ref<QmsIntegrationManager>> GetRunningManager(const std::string& progId) override {
    CLSID clsid;
    std::wstring wide = Utf8ToWide(progId);
    if (HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid); FAILED(hr)) return ErrorFromHresult(hr);
    ComPtr<IUnknown> running;
    if (HRESULT hr = GetActiveObject(clsid, nullptr, &running); FAILED(hr)) return ErrorFromHresult(hr);
    ComPtr<IQmsIntegrationManager> manager;
    if (HRESULT hr = running.As(&manager); FAILED(hr)) return ErrorFromHresult(hr);
    return WrapProxy<ManagerProxy>(manager);
  }

  Result<Ref<QmsIntegrationManager>> CreateManager(const std::string& progId) override {
    CLSID clsid;
    std::wstring wide = Utf8ToWide(progId);
    if (HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid); FAILED(hr)) return ErrorFromHresult(hr);
    ComPtr<IQmsIntegrationManager> manager;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(manager.GetAddressOf()));
    if (FAILED(hr)) return ErrorFromHresult(hr);
    return WrapProxy<ManagerProxy>(manager);
  }

  Result<Ref<QmcDocProject>> CreateDocProject() override {
    ComPtr<IQmcDocProject> project;
    HRESULT hr = CoCreateInstance(CLSID_qmcDocProject, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(project.GetAddressOf()));
    if (FAILED(hr)) return ErrorFromHresult(hr);
    return WrapProxy<DocProjectProxy>(project);
  }
};

}  // namespace

Ref<QmsRegistrationManager> RegistrationManagerProxy(IQmsRegistrationManager* manager) {
  return WrapProxy<RegMgrProxy>(ComPtr<IQmsRegistrationManager>(manager));
}

addin::OutsideComponents& ComOutsideComponents() {
  static ComOutside outside;
  return outside;
}

}  // namespace zandrel::win
