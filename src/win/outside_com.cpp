#include "win/outside_com.h"

#include <wrl/client.h>

#include "qms.h"
#include "win/com_support.h"
#include "win/com_variant.h"
#include "win/dispatch_object.h"
#include "win/text_conv.h"

namespace zandrel::win {

using automation::Ref;
using automation::Result;
using automation::Status;
using automation::Variant;
using Microsoft::WRL::ComPtr;
using namespace registration;

namespace {

// A BSTR owned for the length of one by-reference call.
class BstrArg {
 public:
  explicit BstrArg(const std::string& text) : b_(NewBstr(text)) {}
  ~BstrArg() { SysFreeString(b_); }
  BstrArg(const BstrArg&) = delete;
  BstrArg& operator=(const BstrArg&) = delete;
  BSTR* operator&() { return &b_; }
  BSTR get() const { return b_; }
  // What the callee left in it.
  std::string text() const { return FromBstr(b_); }

 private:
  BSTR b_;
};

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
Ref<typename P::Wrapped> WrapProxy(Interface* p) {
  if (!p) return {};
  return Ref<typename P::Wrapped>(new P(p));
}

class AppProxy final : public Proxy<IQmsApplication>, public QmsApplication {
 public:
  using Wrapped = QmsApplication;
  using Proxy::Proxy;
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(com()); }
  Status SetProcessId(std::string& processId) override {
    BstrArg id(processId);
    if (HRESULT hr = p_->put_ProcessId(&id); FAILED(hr)) return Failed(hr);
    processId = id.text();
    return Status::Ok();
  }
  Result<Ref<automation::Object>> AppObject() override {
    IDispatch* object = nullptr;
    if (HRESULT hr = p_->get_AppObject(&object); FAILED(hr)) return Failed(hr);
    auto wrapped = DispatchObject::Wrap(object);
    if (object) object->Release();
    return wrapped;
  }
};

class DocProxy final : public Proxy<IQmsDocument>, public QmsDocument {
 public:
  using Wrapped = QmsDocument;
  using Proxy::Proxy;
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(com()); }
  Result<std::string> DocName() override {
    BSTR name = nullptr;
    if (HRESULT hr = p_->get_DocName(&name); FAILED(hr)) return Failed(hr);
    std::string text = FromBstr(name);
    SysFreeString(name);
    return text;
  }
  Result<Ref<QmsApplication>> App() override {
    IQmsApplication* app = nullptr;
    if (HRESULT hr = p_->get_App(&app); FAILED(hr)) return Failed(hr);
    auto wrapped = WrapProxy<AppProxy>(app);
    if (app) app->Release();
    return wrapped;
  }
};

class DocsProxy final : public Proxy<IQmsDocuments>, public QmsDocuments {
 public:
  using Wrapped = QmsDocuments;
  using Proxy::Proxy;
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(com()); }
  Result<Ref<QmsDocument>> Item(Variant& index) override {
    VARIANT v;
    VariantInit(&v);
    if (HRESULT hr = ToComVariant(index, &v); FAILED(hr)) return ErrorFromHresult(hr);
    IQmsDocument* doc = nullptr;
    HRESULT hr = p_->Item(&v, &doc);
    VariantClear(&v);
    if (FAILED(hr)) return Failed(hr);
    auto wrapped = WrapProxy<DocProxy>(doc);
    if (doc) doc->Release();
    return wrapped;
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
    VARIANT value;
    VariantInit(&value);
    if (HRESULT hr = ToComVariant(v, &value); FAILED(hr)) return ErrorFromHresult(hr);
    HRESULT hr = p_->put_TimeStamp(&value);
    if (SUCCEEDED(hr)) {
      auto back = FromComVariant(value);
      if (back) v = std::move(*back);
    }
    VariantClear(&value);
    if (FAILED(hr)) return Failed(hr);
    return Status::Ok();
  }
  Status SetContainer(Ref<automation::Object>& container) override {
    IDispatch* object = nullptr;
    if (HRESULT hr = NewDispatch(container, &object); FAILED(hr)) return ErrorFromHresult(hr);
    HRESULT hr = p_->putref_Container(&object);
    if (SUCCEEDED(hr) && !object) container = nullptr;  // the callee let go of it
    if (object) object->Release();
    if (FAILED(hr)) return Failed(hr);
    return Status::Ok();
  }

 private:
  Status PutText(HRESULT (STDMETHODCALLTYPE IQmcDocProject::*put)(BSTR*), std::string& text) {
    BstrArg value(text);
    if (HRESULT hr = (p_.Get()->*put)(&value); FAILED(hr)) return Failed(hr);
    text = value.text();
    return Status::Ok();
  }
};

template <class P, class Interface>
Interface* Underlying(const Ref<typename P::Wrapped>& ref) {
  auto* proxy = dynamic_cast<P*>(ref.get());
  return proxy ? proxy->com() : nullptr;
}

class RegMgrProxy final : public Proxy<IQmsRegistrationManager>, public QmsRegistrationManager {
 public:
  using Wrapped = QmsRegistrationManager;
  using Proxy::Proxy;
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(com()); }

  Result<Ref<QmsApplication>> RegisterApp(std::int16_t& kind, Ref<automation::Object>& application) override {
    short k = kind;
    IDispatch* object = nullptr;
    if (HRESULT hr = NewDispatch(application, &object); FAILED(hr)) return ErrorFromHresult(hr);
    IDispatch* passed = object;
    IQmsApplication* app = nullptr;
    HRESULT hr = p_->RegisterApp(&k, &object, &app);
    kind = k;
    if (object != passed) application = DispatchObject::Wrap(object);  // the callee replaced it
    if (object) object->Release();
    if (FAILED(hr)) return Failed(hr);
    auto wrapped = WrapProxy<AppProxy>(app);
    if (app) app->Release();
    return wrapped;
  }

  Status UnRegisterApp(Ref<QmsApplication>& app, std::int16_t& kind) override {
    short k = kind;
    IQmsApplication* a = Underlying<AppProxy, IQmsApplication>(app);
    if (a) a->AddRef();
    IQmsApplication* passed = a;
    HRESULT hr = p_->UnRegisterApp(&a, &k);
    kind = k;
    if (a != passed) app = WrapProxy<AppProxy>(a);  // the manager may replace the reference
    if (a) a->Release();
    if (FAILED(hr)) return Failed(hr);
    return Status::Ok();
  }

  Result<Ref<QmsDocument>> RegisterDoc(Ref<QmsApplication>& app, std::string& name,
                                       Ref<QmcDocProject>& docProject) override {
    IQmsApplication* a = Underlying<AppProxy, IQmsApplication>(app);
    if (a) a->AddRef();
    BstrArg n(name);
    IDispatch* project = nullptr;
    if (IQmcDocProject* p = Underlying<DocProjectProxy, IQmcDocProject>(docProject)) {
      project = p;
      project->AddRef();
    }
    IQmsDocument* doc = nullptr;
    HRESULT hr = p_->RegisterDoc(&a, &n, &project, &doc);
    if (a) a->Release();
    if (project) project->Release();
    if (FAILED(hr)) return Failed(hr);
    name = FromBstr(n.get());
    auto wrapped = WrapProxy<DocProxy>(doc);
    if (doc) doc->Release();
    return wrapped;
  }

  Status UnRegisterDoc(Ref<QmsDocument>& document, Ref<QmsApplication>& app, std::string& name) override {
    IQmsDocument* d = Underlying<DocProxy, IQmsDocument>(document);
    if (d) d->AddRef();
    IQmsApplication* a = Underlying<AppProxy, IQmsApplication>(app);
    if (a) a->AddRef();
    BstrArg n(name);
    HRESULT hr = p_->UnRegisterDoc(&d, &a, &n);
    if (d) d->Release();
    if (a) a->Release();
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
    BstrArg n(name);
    IQmsDocuments* docs = nullptr;
    HRESULT hr = p_->FindDocuments(&k, &n, &docs);
    kind = k;
    if (FAILED(hr)) return Failed(hr);
    name = FromBstr(n.get());
    auto wrapped = WrapProxy<DocsProxy>(docs);
    if (docs) docs->Release();
    return wrapped;
  }

  Result<Ref<QmsRegistrationManager>> RegistrationManager() override {
    IQmsRegistrationManager* regMgr = nullptr;
    if (HRESULT hr = p_->get_RegistrationManager(&regMgr); FAILED(hr)) return Failed(hr);
    auto wrapped = WrapProxy<RegMgrProxy>(regMgr);
    if (regMgr) regMgr->Release();
    return wrapped;
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
    return WrapProxy<ManagerProxy>(manager.Get());
  }

  Result<Ref<QmsIntegrationManager>> CreateManager(const std::string& progId) override {
    CLSID clsid;
    std::wstring wide = Utf8ToWide(progId);
    if (HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid); FAILED(hr)) return ErrorFromHresult(hr);
    ComPtr<IQmsIntegrationManager> manager;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IQmsIntegrationManager,
                                  reinterpret_cast<void**>(manager.GetAddressOf()));
    if (FAILED(hr)) return ErrorFromHresult(hr);
    return WrapProxy<ManagerProxy>(manager.Get());
  }

  Result<Ref<QmcDocProject>> CreateDocProject() override {
    ComPtr<IQmcDocProject> project;
    HRESULT hr = CoCreateInstance(CLSID_qmcDocProject, nullptr, CLSCTX_SERVER, IID_IQmcDocProject,
                                  reinterpret_cast<void**>(project.GetAddressOf()));
    if (FAILED(hr)) return ErrorFromHresult(hr);
    return WrapProxy<DocProjectProxy>(project.Get());
  }
};

}  // namespace

addin::OutsideComponents& ComOutsideComponents() {
  static ComOutside outside;
  return outside;
}

}  // namespace zandrel::win
