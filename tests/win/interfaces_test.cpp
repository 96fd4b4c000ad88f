// The integration manager's interfaces as the type library describes them:
// every member the add-in calls sits at its vtable slot and takes every
// argument by reference (its result aside), property puts included.

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "qms.h"

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
