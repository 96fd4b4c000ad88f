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
    if (HRESULT hr = p_->putref_Container(InOut(object)); FAILED(hr)) return Failed(hr);
    if (!object) container = nullptr;  // the callee let go of it
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

// The COM object behind a proxy, as a new reference (none for another object).
template <class P, class Interface>
ComPtr<Interface> Underlying(const Ref<typename P::Wrapped>& ref) {
  auto* proxy = dynamic_cast<P*>(ref.get());
  return ComPtr<Interface>(proxy ? proxy->com() : nullptr);
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
    IDispatch* passed = object.Get();
    ComPtr<IQmsApplication> app;
    HRESULT hr = p_->RegisterApp(&k, InOut(object), app.GetAddressOf());
    kind = k;
    if (object.Get() != passed) application = DispatchObject::Wrap(object.Get());  // the callee replaced it
    if (FAILED(hr)) return Failed(hr);
    return WrapProxy<AppProxy>(app);
  }

  Status UnRegisterApp(Ref<QmsApplication>& app, std::int16_t& kind) override {
    short k = kind;
    ComPtr<IQmsApplication> a = Underlying<AppProxy, IQmsApplication>(app);
    IQmsApplication* passed = a.Get();
    HRESULT hr = p_->UnRegisterApp(InOut(a), &k);
    kind = k;
    if (a.Get() != passed) app = WrapProxy<AppProxy>(a);  // the manager may replace the reference
    if (FAILED(hr)) return Failed(hr);
    return Status::Ok();
  }

  Result<Ref<QmsDocument>> RegisterDoc(Ref<QmsApplication>& app, std::string& name,
                                       Ref<QmcDocProject>& docProject) override {
    ComPtr<IQmsApplication> a = Underlying<AppProxy, IQmsApplication>(app);
    UniqueBstr n(NewBstr(name));
    ComPtr<IDispatch> project = Underlying<DocProjectProxy, IQmcDocProject>(docProject);
    ComPtr<IQmsDocument> doc;
    if (HRESULT hr = p_->RegisterDoc(InOut(a), n.InOut(), InOut(project), doc.GetAddressOf()); FAILED(hr))
      return Failed(hr);
    name = FromBstr(n.get());
    return WrapProxy<DocProxy>(doc);
  }

  Status UnRegisterDoc(Ref<QmsDocument>& document, Ref<QmsApplication>& app, std::string& name) override {
    ComPtr<IQmsDocument> d = Underlying<DocProxy, IQmsDocument>(document);
    ComPtr<IQmsApplication> a = Underlying<AppProxy, IQmsApplication>(app);
    UniqueBstr n(NewBstr(name));
    if (HRESULT hr = p_->UnRegisterDoc(InOut(d), InOut(a), n.InOut()); FAILED(hr)) return Failed(hr);
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
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IQmsIntegrationManager,
                                  reinterpret_cast<void**>(manager.GetAddressOf()));
    if (FAILED(hr)) return ErrorFromHresult(hr);
    return WrapProxy<ManagerProxy>(manager);
  }

  Result<Ref<QmcDocProject>> CreateDocProject() override {
    ComPtr<IQmcDocProject> project;
    HRESULT hr = CoCreateInstance(CLSID_qmcDocProject, nullptr, CLSCTX_SERVER, IID_IQmcDocProject,
                                  reinterpret_cast<void**>(project.GetAddressOf()));
    if (FAILED(hr)) return ErrorFromHresult(hr);
    return WrapProxy<DocProjectProxy>(project);
  }
};

}  // namespace

addin::OutsideComponents& ComOutsideComponents() {
  static ComOutside outside;
  return outside;
}

}  // namespace zandrel::win
