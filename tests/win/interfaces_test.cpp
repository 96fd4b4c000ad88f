// The integration manager's interfaces as the type library describes them:
// every member the add-in calls sits at its vtable slot and takes every
// argument by reference (its result aside), property puts included; and the
// add-in's proxy of the registration manager keeps whatever reference the
// manager hands back in an [in, out] argument.

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "com_fakes.h"
#include "qms.h"
#include "win/dispatch_object.h"
#include "win/outside_com.h"
#include "win/owners.h"

namespace {

struct Member {
  const char* interfaceName;
  const IID* iid;
  int slot;  // 1-based, after IUnknown's and IDispatch's seven entries
  const wchar_t* name;
  INVOKEKIND kind;
  int arguments;  // besides an [out, retval] result
};

const Member kMembers[] = {
    {"IQmsIntegrationManager", &IID_IQmsIntegrationManager, 3, L"FindDocuments", INVOKE_FUNC, 2},
    {"IQmsIntegrationManager", &IID_IQmsIntegrationManager, 9, L"RegistrationManager", INVOKE_PROPERTYGET, 0},
    {"IQmsRegistrationManager", &IID_IQmsRegistrationManager, 1, L"RegisterApp", INVOKE_FUNC, 2},
    {"IQmsRegistrationManager", &IID_IQmsRegistrationManager, 2, L"UnRegisterApp", INVOKE_FUNC, 2},
    {"IQmsRegistrationManager", &IID_IQmsRegistrationManager, 3, L"RegisterDoc", INVOKE_FUNC, 3},
    {"IQmsRegistrationManager", &IID_IQmsRegistrationManager, 4, L"UnRegisterDoc", INVOKE_FUNC, 3},
    {"IQmsApplication", &IID_IQmsApplication, 2, L"ProcessId", INVOKE_PROPERTYPUT, 1},
    {"IQmsApplication", &IID_IQmsApplication, 6, L"AppObject", INVOKE_PROPERTYGET, 0},
    {"IQmsDocuments", &IID_IQmsDocuments, 1, L"Item", INVOKE_FUNC, 1},
    {"IQmsDocuments", &IID_IQmsDocuments, 2, L"Count", INVOKE_PROPERTYGET, 0},
    {"IQmsDocument", &IID_IQmsDocument, 3, L"DocName", INVOKE_PROPERTYGET, 0},
    {"IQmsDocument", &IID_IQmsDocument, 5, L"App", INVOKE_PROPERTYGET, 0},
    {"IQmcDocProject", &IID_IQmcDocProject, 2, L"Name", INVOKE_PROPERTYPUT, 1},
    {"IQmcDocProject", &IID_IQmcDocProject, 4, L"FullName", INVOKE_PROPERTYPUT, 1},
    {"IQmcDocProject", &IID_IQmcDocProject, 7, L"Container", INVOKE_PROPERTYPUTREF, 1},
    {"IQmcDocProject", &IID_IQmcDocProject, 9, L"Comment", INVOKE_PROPERTYPUT, 1},
    {"IQmcDocProject", &IID_IQmcDocProject, 12, L"TimeStamp", INVOKE_PROPERTYPUT, 1},
};

std::string Narrow(const wchar_t* w) { return std::string(w, w + wcslen(w)); }

// The library the stand-in manager carries, beside this program.
ITypeLib* LoadQmsLibrary() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring file(path);
  file = file.substr(0, file.find_last_of(L'\\') + 1) + L"standin_im.exe";
  ITypeLib* library = nullptr;
  LoadTypeLibEx(file.c_str(), REGKIND_NONE, &library);
  return library;
}

class IntegrationManagerInterfaces : public ::testing::TestWithParam<Member> {};

TEST_P(IntegrationManagerInterfaces, MemberAtItsSlotTakesEveryArgumentByReference) {
  const Member& m = GetParam();
  ITypeLib* library = LoadQmsLibrary();
  ASSERT_NE(library, nullptr);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(library->GetTypeInfoOfGuid(*m.iid, &info), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  const SHORT offset = static_cast<SHORT>((6 + m.slot) * sizeof(void*));
  bool found = false;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* f = nullptr;
    if (FAILED(info->GetFuncDesc(i, &f))) continue;
    if (f->oVft == offset) {
      found = true;
      BSTR name = nullptr;
      info->GetDocumentation(f->memid, &name, nullptr, nullptr, nullptr);
      EXPECT_STREQ(name, m.name);
      SysFreeString(name);
      EXPECT_EQ(f->invkind, m.kind);
      int arguments = 0;
      for (SHORT p = 0; p < f->cParams; ++p) {
        const ELEMDESC& e = f->lprgelemdescParam[p];
        const USHORT flags = e.paramdesc.wParamFlags;
        if (flags & PARAMFLAG_FRETVAL) continue;
        ++arguments;
        EXPECT_EQ(e.tdesc.vt, VT_PTR) << "argument " << p + 1 << " is not a pointer";
        EXPECT_TRUE((flags & PARAMFLAG_FIN) && (flags & PARAMFLAG_FOUT)) << "argument " << p + 1 << " is not [in, out]";
      }
      EXPECT_EQ(arguments, m.arguments);
    }
    info->ReleaseFuncDesc(f);
  }
  EXPECT_TRUE(found) << "no member at slot " << m.slot;
  info->ReleaseTypeAttr(attr);
  info->Release();
  library->Release();
}

INSTANTIATE_TEST_SUITE_P(EveryMemberTheAddinCalls, IntegrationManagerInterfaces, ::testing::ValuesIn(kMembers),
                         [](const ::testing::TestParamInfo<Member>& param) {
                           return std::string(param.param.interfaceName) + "_" + Narrow(param.param.name) + "_" +
                                  std::to_string(param.param.slot);
                         });

}  // namespace

namespace zandrel::win {
namespace {

using automation::Ref;
using test::FakeDispatch;
using test::RefCount;

class FakeApp final : public FakeDispatch<FakeApp, IQmsApplication> {
 public:
  STDMETHODIMP get_ProcessId(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP put_ProcessId(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Kind(short*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Registered(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Index(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP get_AppObject(IDispatch**) override { return E_NOTIMPL; }
};

class FakeDoc final : public FakeDispatch<FakeDoc, IQmsDocument> {
 public:
  STDMETHODIMP get_Kind(short*) override { return E_NOTIMPL; }
  STDMETHODIMP get_DocProject(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_DocName(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Registered(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP get_App(IQmsApplication**) override { return E_NOTIMPL; }
};

// Puts `replacement` where the caller's [in, out] reference was, as a
// manager may (the old one released, the new one counted for the caller).
template <class I>
void Replace(I** argument, I* replacement) {
  if (*argument) (*argument)->Release();
  *argument = replacement;
  replacement->AddRef();
}

// A registration manager that registers `app` and `doc` and, once `replacing`,
// hands back the replacements in every [in, out] interface argument.
class FakeRegistrationManager final : public FakeDispatch<FakeRegistrationManager, IQmsRegistrationManager> {
 public:
  STDMETHODIMP RegisterApp(short*, IDispatch** application, IQmsApplication** result) override {
    if (replacing) Replace<IDispatch>(application, newApplication.Get());
    *result = app.Get();
    app->AddRef();
    return S_OK;
  }
  STDMETHODIMP UnRegisterApp(IQmsApplication** a, short*) override {
    if (replacing) Replace<IQmsApplication>(a, newApp.Get());
    return S_OK;
  }
  STDMETHODIMP RegisterDoc(IQmsApplication** a, BSTR*, IDispatch**, IQmsDocument** result) override {
    if (replacing) Replace<IQmsApplication>(a, newApp.Get());
    *result = doc.Get();
    doc->AddRef();
    return S_OK;
  }
  STDMETHODIMP UnRegisterDoc(IQmsDocument** d, IQmsApplication** a, BSTR*) override {
    if (replacing) {
      Replace<IQmsDocument>(d, newDoc.Get());
      Replace<IQmsApplication>(a, newApp.Get());
    }
    return S_OK;
  }

  bool replacing = false;
  ComPtr<FakeApp> app{new FakeApp()}, newApp{new FakeApp()}, newApplication{new FakeApp()};
  ComPtr<FakeDoc> doc{new FakeDoc()}, newDoc{new FakeDoc()};
};

// What the add-in holds across the calls.
struct Held {
  Ref<registration::QmsApplication> app;
  Ref<registration::QmsDocument> doc;
  Ref<automation::Object> application;
};

struct InOutCall {
  const char* name;
  void (*call)(registration::QmsRegistrationManager& manager, Held& held);
  bool app, doc, application;  // which of the held references the manager replaces
};

const InOutCall kInOutCalls[] = {
    {"RegisterApp",
     [](registration::QmsRegistrationManager& m, Held& h) {
       std::int16_t kind = 3;
       (void)m.RegisterApp(kind, h.application);
     },
     false, false, true},
    {"UnRegisterApp",
     [](registration::QmsRegistrationManager& m, Held& h) {
       std::int16_t kind = 3;
       (void)m.UnRegisterApp(h.app, kind);
     },
     true, false, false},
    {"RegisterDoc",
     [](registration::QmsRegistrationManager& m, Held& h) {
       std::string name = "model.mdl";
       Ref<registration::QmcDocProject> project;
       (void)m.RegisterDoc(h.app, name, project);
     },
     true, false, false},
    {"UnRegisterDoc",
     [](registration::QmsRegistrationManager& m, Held& h) {
       std::string name = "model.mdl";
       (void)m.UnRegisterDoc(h.doc, h.app, name);
     },
     true, true, false},
};

std::intptr_t IdentityOf(IUnknown* object, REFIID riid) {
  ComPtr<IUnknown> asked;
  object->QueryInterface(riid, reinterpret_cast<void**>(asked.GetAddressOf()));
  return reinterpret_cast<std::intptr_t>(asked.Get());
}

class InOutArguments : public ::testing::TestWithParam<InOutCall> {};

TEST_P(InOutArguments, TheAddinKeepsWhatTheManagerHandsBack) {
  const InOutCall& row = GetParam();
  ComPtr<FakeRegistrationManager> fake(new FakeRegistrationManager());
  ComPtr<FakeApp> ideObject(new FakeApp());
  {
    auto manager = RegistrationManagerProxy(fake.Get());
    Held held;
    held.application = DispatchObject::Wrap(ideObject.Get());
    std::int16_t kind = 3;
    auto app = manager->RegisterApp(kind, held.application);
    ASSERT_TRUE(app);
    held.app = std::move(*app);
    std::string name = "model.mdl";
    Ref<registration::QmcDocProject> project;
    auto doc = manager->RegisterDoc(held.app, name, project);
    ASSERT_TRUE(doc);
    held.doc = std::move(*doc);

    fake->replacing = true;
    row.call(*manager, held);
    EXPECT_EQ(held.app->Identity(), IdentityOf(row.app ? fake->newApp.Get() : fake->app.Get(), IID_IQmsApplication));
    EXPECT_EQ(held.doc->Identity(), IdentityOf(row.doc ? fake->newDoc.Get() : fake->doc.Get(), IID_IQmsDocument));
    EXPECT_EQ(held.application->Identity(),
              IdentityOf(row.application ? fake->newApplication.Get() : ideObject.Get(), IID_IDispatch));
    // The references the add-in now holds are counted once, the ones it let
    // go of not at all (the test's own aside).
    EXPECT_EQ(RefCount(fake->newApp.Get()), row.app ? 2u : 1u);
    EXPECT_EQ(RefCount(fake->newDoc.Get()), row.doc ? 2u : 1u);
    EXPECT_EQ(RefCount(fake->app.Get()), row.app ? 1u : 2u);
  }
  // Everything handed over is released again.
  for (FakeApp* app : {fake->app.Get(), fake->newApp.Get(), fake->newApplication.Get(), ideObject.Get()})
    EXPECT_EQ(RefCount(app), 1u);
  for (FakeDoc* doc : {fake->doc.Get(), fake->newDoc.Get()}) EXPECT_EQ(RefCount(doc), 1u);
  EXPECT_EQ(RefCount(fake.Get()), 1u);
}

INSTANTIATE_TEST_SUITE_P(AllFourCalls, InOutArguments, ::testing::ValuesIn(kInOutCalls),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace zandrel::win
