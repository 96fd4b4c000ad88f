// The COM boundary: whatever an entry point's body throws is logged at ERROR
// level with the operation's name and comes back as a failure with error
// info, never as an exception, even with no memory left; the IDE's
// notifications succeed and leave no error behind; an object the server made
// keeps the module loaded for as long as anyone holds it.

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>

#include "com_fakes.h"
#include "extensibility.h"
#include "shared/debug_logger.h"
#include "support/fakes.h"
#include "win/com_support.h"
#include "win/connect_com.h"
#include "win/dispatch_object.h"
#include "win/owners.h"
#include "zandrel.h"

// This program's operator new fails on demand: after letting `g_newSkips`
// allocations through, the next `g_newFailures` throw bad_alloc, as under
// real exhaustion; `g_newFailed` counts the failures handed out.
namespace {
std::atomic<int> g_newSkips{0};
std::atomic<int> g_newFailures{0};
std::atomic<int> g_newFailed{0};
}  // namespace

void* operator new(std::size_t size) {
  if (g_newFailures > 0) {
    if (g_newSkips > 0) {
      --g_newSkips;
    } else {
      --g_newFailures;
      ++g_newFailed;
      throw std::bad_alloc();
    }
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace zandrel::win {
namespace {

using test::FakeDispatch;

// While it lives, allocations fail (`failures` of them, after `skips`).
struct MemoryRunsOut {
  explicit MemoryRunsOut(int failures = INT_MAX, int skips = 0) {
    g_newSkips = skips;
    g_newFailed = 0;
    g_newFailures = failures;
  }
  ~MemoryRunsOut() { g_newFailures = 0; }
};

// The add-in's log switched on, every line into C:\boundary.log.
void LogEverything(platform::fake::FakeServices& os) {
  const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + shared::kSettingsKey;
  os.registry.SetDword(key, "Debug", 0x7F004000);
  os.registry.SetString(key, "DebugOutputFile", "C:\\boundary.log");
  os.registry.SetString(key, "SuppressTimeStamps", "true");
  shared::ResetDebugLoggerForTesting();
}

// The description of the error info the thread holds ("" for none).
std::string ErrorInfoText() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.GetAddressOf()) != S_OK) return "";
  UniqueBstr description;
  info->GetDescription(description.put());
  return FromBstr(description.get());
}

struct Thrown {
  const char* name;
  void (*raise)();
  HRESULT hr;
  const char* line;  // after the level and log id
  const char* description;
};

const Thrown kThrown[] = {
    {"OutOfMemory", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY,
     "get_Name: out of memory caught at the COM boundary", "Out of memory"},
    {"StandardException", [] { throw std::runtime_error("no room left"); }, E_UNEXPECTED,
     "get_Name: no room left caught at the COM boundary", "Unexpected failure in zandrel"},
    {"AnythingElse", [] { throw 42; }, E_UNEXPECTED,
     "get_Name: an exception of unknown type caught at the COM boundary", "Unexpected failure in zandrel"},
};

class Boundary : public ::testing::TestWithParam<Thrown> {};

TEST_P(Boundary, ThrownBodyIsLoggedAndFailsWithErrorInfo) {
  platform::fake::FakeServices os;
  LogEverything(os);

  const HRESULT hr = Guarded(IID__Connect, "get_Name", []() -> HRESULT {
    GetParam().raise();
    return S_OK;
  });
  EXPECT_EQ(hr, GetParam().hr);
  EXPECT_EQ(os.files.files["C:\\boundary.log"], std::string(" ERROR    DIRUDEVU  ") + GetParam().line + "\r\n");
  EXPECT_EQ(ErrorInfoText(), GetParam().description);
  shared::ResetDebugLoggerForTesting();
}

// With no memory at all the answer is still the failure with its error info
// (the line cannot be made and is dropped).
TEST_P(Boundary, ThrownWithNoMemoryLeftStillFailsWithErrorInfo) {
  platform::fake::FakeServices os;
  const std::runtime_error made("no room left");  // made while there is room
  HRESULT hr = S_OK;
  {
    MemoryRunsOut oom;
    hr = Guarded(IID__Connect, "get_Name", [&]() -> HRESULT {
      if (GetParam().hr == E_OUTOFMEMORY) throw std::bad_alloc();
      throw made;
    });
  }
  EXPECT_EQ(hr, GetParam().hr);
  EXPECT_EQ(ErrorInfoText(), GetParam().description);
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfThrow, Boundary, ::testing::ValuesIn(kThrown),
                         [](const auto& row) { return std::string(row.param.name); });

// A new zandrel.Connect, asked for `riid`, on the fakes.
template <class I>
ComPtr<I> NewConnect(REFIID riid) {
  ComPtr<I> object;
  EXPECT_EQ(ConnectCom::CreateInstance(riid, reinterpret_cast<void**>(object.GetAddressOf())), S_OK);
  return object;
}

// IDispatch of both faces with no memory left, on the type libraries this
// program embeds as the DLL does. GetTypeInfo and GetIDsOfNames are COM's work
// alone: they answer as ever, without a C++ allocation. Invoke reaches the
// member's body, whose first allocation fails: a _Connect member fails with
// E_OUTOFMEMORY and its error info, which ITypeInfo::Invoke moves into the
// EXCEPINFO of its DISP_E_EXCEPTION; a notification succeeds and leaves no
// error info.
struct Answer {
  ComPtr<ITypeInfo> info;
  DISPID id = DISPID_UNKNOWN;
  EXCEPINFO excep = {};
};

HRESULT CallGetTypeInfo(IDispatch* face, Answer& answer) {
  return face->GetTypeInfo(0, LOCALE_USER_DEFAULT, answer.info.GetAddressOf());
}
template <const wchar_t* kName>
HRESULT CallGetIDsOfNames(IDispatch* face, Answer& answer) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(kName)};
  return face->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &answer.id);
}
HRESULT CallGetName(IDispatch* face, Answer& answer) {
  DISPPARAMS none = {};
  UniqueVariant result;
  return face->Invoke(4, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result.get(), &answer.excep,
                      nullptr);
}
HRESULT CallOnStartupComplete(IDispatch* face, Answer& answer) {
  // One element: reading it into the add-in's own array allocates.
  UniqueSafeArray custom(SafeArrayCreateVector(VT_VARIANT, 0, 1));
  SAFEARRAY* array = custom.get();
  VARIANT argument;
  VariantInit(&argument);
  V_VT(&argument) = VT_ARRAY | VT_VARIANT | VT_BYREF;
  V_ARRAYREF(&argument) = &array;
  DISPPARAMS params = {&argument, nullptr, 1, 0};
  return face->Invoke(4, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &answer.excep, nullptr);
}

constexpr wchar_t kName[] = L"Name";
constexpr wchar_t kOnStartupComplete[] = L"OnStartupComplete";

struct DispatchCall {
  const char* name;
  const IID* face;
  HRESULT (*call)(IDispatch* face, Answer& answer);
  HRESULT hr;
  bool allocates;         // a C++ allocation is reached (and fails)
  DISPID id;              // GetIDsOfNames: the member's
  HRESULT scode;          // Invoke of a failing member: the EXCEPINFO's
  const char* described;  // and its description
};

const DispatchCall kDispatchCalls[] = {
    {"Connect_GetTypeInfo", &IID__Connect, CallGetTypeInfo, S_OK, false, DISPID_UNKNOWN, S_OK, nullptr},
    {"Connect_GetIDsOfNames", &IID__Connect, CallGetIDsOfNames<kName>, S_OK, false, 4, S_OK, nullptr},
    {"Connect_InvokeName", &IID__Connect, CallGetName, DISP_E_EXCEPTION, true, DISPID_UNKNOWN, E_OUTOFMEMORY,
     "Out of memory"},
    {"Extensibility_GetTypeInfo", &IID_IDTExtensibility2, CallGetTypeInfo, S_OK, false, DISPID_UNKNOWN, S_OK,
     nullptr},
    {"Extensibility_GetIDsOfNames", &IID_IDTExtensibility2, CallGetIDsOfNames<kOnStartupComplete>, S_OK, false, 4,
     S_OK, nullptr},
    {"Extensibility_InvokeOnStartupComplete", &IID_IDTExtensibility2, CallOnStartupComplete, S_OK, true,
     DISPID_UNKNOWN, S_OK, nullptr},
};

class FaceDispatch : public ::testing::TestWithParam<DispatchCall> {};

TEST_P(FaceDispatch, WithNoMemoryLeftAnswersAnHresult) {
  platform::fake::FakeServices os;
  const DispatchCall& row = GetParam();
  ComPtr<IDispatch> dispatch = NewConnect<IDispatch>(*row.face);
  ASSERT_TRUE(dispatch);
  SetErrorInfo(0, nullptr);
  Answer answer;
  HRESULT hr = E_FAIL;
  int failed = 0;
  {
    MemoryRunsOut oom;
    hr = row.call(dispatch.Get(), answer);
    failed = g_newFailed;
  }
  EXPECT_EQ(hr, row.hr);
  EXPECT_EQ(failed > 0, row.allocates) << failed << " allocations failed";
  if (row.call == CallGetTypeInfo) {
    ASSERT_TRUE(answer.info);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(answer.info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, *row.face));
    answer.info->ReleaseTypeAttr(attr);
  }
  EXPECT_EQ(answer.id, row.id);
  EXPECT_EQ(answer.excep.scode, row.scode);
  EXPECT_EQ(FromBstr(answer.excep.bstrDescription), row.described ? row.described : "");
  EXPECT_EQ(FromBstr(answer.excep.bstrSource), row.described ? "zandrel.Connect" : "");
  SysFreeString(answer.excep.bstrDescription);
  SysFreeString(answer.excep.bstrSource);
  SysFreeString(answer.excep.bstrHelpFile);
  // What ITypeInfo::Invoke leaves of a failing member's error info is its
  // business; a notification leaves none.
  if (row.call == CallOnStartupComplete) EXPECT_EQ(ErrorInfoText(), "");
}

INSTANTIATE_TEST_SUITE_P(BothFaces, FaceDispatch, ::testing::ValuesIn(kDispatchCalls),
                         [](const auto& row) { return std::string(row.param.name); });

// The IDE's notifications: whatever their body throws, the IDE gets success
// and no error info is left on its thread.
struct Notification {
  const char* name;
  HRESULT (*call)(IDTExtensibility2* addin, SAFEARRAY** custom);
};

const Notification kNotifications[] = {
    {"OnConnection", [](IDTExtensibility2* a, SAFEARRAY** c) { return a->OnConnection(nullptr, 0, nullptr, c); }},
    {"OnDisconnection", [](IDTExtensibility2* a, SAFEARRAY** c) { return a->OnDisconnection(1, c); }},
    {"OnAddInsUpdate", [](IDTExtensibility2* a, SAFEARRAY** c) { return a->OnAddInsUpdate(c); }},
    {"OnStartupComplete", [](IDTExtensibility2* a, SAFEARRAY** c) { return a->OnStartupComplete(c); }},
    {"OnBeginShutdown", [](IDTExtensibility2* a, SAFEARRAY** c) { return a->OnBeginShutdown(c); }},
};

class Notifications : public ::testing::TestWithParam<Notification> {};

TEST_P(Notifications, ThrownBodySucceedsWithoutErrorInfo) {
  platform::fake::FakeServices os;
  LogEverything(os);
  ComPtr<IDTExtensibility2> addin = NewConnect<IDTExtensibility2>(IID_IDTExtensibility2);
  ASSERT_TRUE(addin);
  UniqueSafeArray custom(SafeArrayCreateVector(VT_VARIANT, 0, 1));  // read into a new array: an allocation
  SAFEARRAY* array = custom.get();
  os.files.files.clear();
  SetErrorInfo(0, nullptr);
  HRESULT hr = E_FAIL;
  {
    MemoryRunsOut oom(1);
    hr = GetParam().call(addin.Get(), &array);
  }
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(ErrorInfoText(), "");
  EXPECT_EQ(os.files.files["C:\\boundary.log"],
            std::string(" ERROR    DIRUDEVU  ") + GetParam().name + ": out of memory caught at the COM boundary\r\n");
  addin = nullptr;
  shared::ResetDebugLoggerForTesting();
}

INSTANTIATE_TEST_SUITE_P(AllFive, Notifications, ::testing::ValuesIn(kNotifications),
                         [](const auto& row) { return std::string(row.param.name); });

// An event source that keeps the sink advised to it and, as one that lost
// track of it, fails to let go of it on Unadvise.
class KeepingSource final : public FakeDispatch<KeepingSource, IDispatch, IConnectionPointContainer, IConnectionPoint> {
 public:
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  STDMETHODIMP FindConnectionPoint(REFIID, IConnectionPoint** point) override {
    *point = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP GetConnectionInterface(IID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
  STDMETHODIMP Advise(IUnknown* advised, DWORD* cookie) override {
    sink = advised;
    *cookie = 7;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD) override { return CONNECT_E_NOCONNECTION; }
  STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

  ComPtr<IUnknown> sink;
};

class ThrowingHandler final : public automation::RefCountedBase, public automation::EventSink {
 public:
  automation::Status OnEvent(std::int32_t, std::span<automation::Variant>) override {
    throw std::runtime_error("the handler broke");
  }
};

// A handler whose outgoing call failed and left error info on the thread,
// as a failing IDispatch call of the IDE's may, and which carried on.
class ErrorInfoLeavingHandler final : public automation::RefCountedBase, public automation::EventSink {
 public:
  automation::Status OnEvent(std::int32_t, std::span<automation::Variant>) override {
    ComPtr<ICreateErrorInfo> create;
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(create.GetAddressOf())) && SUCCEEDED(create.As(&info))) {
      create->SetDescription(const_cast<LPOLESTR>(L"an outgoing call failed"));
      SetErrorInfo(0, info.Get());
    }
    return automation::Status::Ok();
  }
};

constexpr automation::InterfaceId kEvents{"_dispSolutionEvents", "{FBCFF1C2-261C-11D1-AB12-00A0C9002A0A}"};

TEST(EventSink, KeptByItsSourceKeepsTheModuleLoaded) {
  platform::fake::FakeServices os;
  ASSERT_EQ(CanUnloadNow(), S_OK);
  ComPtr<KeepingSource> source(new KeepingSource());
  {
    auto object = DispatchObject::Wrap(source.Get());
    auto cookie = object->Advise(kEvents, automation::Ref<automation::EventSink>(new ThrowingHandler()));
    ASSERT_TRUE(cookie);
    EXPECT_FALSE(object->Unadvise(kEvents, *cookie));
  }
  ASSERT_TRUE(source->sink);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  source->sink = nullptr;
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST(EventSink, ThrowingHandlerIsLoggedAndNeverReachesTheSource) {
  platform::fake::FakeServices os;
  LogEverything(os);
  ComPtr<KeepingSource> source(new KeepingSource());
  auto object = DispatchObject::Wrap(source.Get());
  ASSERT_TRUE(object->Advise(kEvents, automation::Ref<automation::EventSink>(new ThrowingHandler())));
  ComPtr<IDispatch> sink;
  ASSERT_EQ(source->sink.As(&sink), S_OK);
  DISPPARAMS none = {};
  EXPECT_EQ(sink->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            E_UNEXPECTED);
  EXPECT_EQ(os.files.files["C:\\boundary.log"],
            " ERROR    DIRUDEVU  EventSink.Invoke: the handler broke caught at the COM boundary\r\n");
  EXPECT_EQ(ErrorInfoText(), "");
  sink = nullptr;
  source->sink = nullptr;
  shared::ResetDebugLoggerForTesting();
}

// The thread's error info as the sink found it: none, or the caller's own.
TEST(EventSink, LeavesTheThreadsErrorInfoAsItFoundIt) {
  platform::fake::FakeServices os;
  ComPtr<KeepingSource> source(new KeepingSource());
  auto object = DispatchObject::Wrap(source.Get());
  ASSERT_TRUE(object->Advise(kEvents, automation::Ref<automation::EventSink>(new ErrorInfoLeavingHandler())));
  ComPtr<IDispatch> sink;
  ASSERT_EQ(source->sink.As(&sink), S_OK);
  DISPPARAMS none = {};
  EXPECT_EQ(sink->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(ErrorInfoText(), "");

  ComPtr<ICreateErrorInfo> create;
  ComPtr<IErrorInfo> callers;
  ASSERT_EQ(CreateErrorInfo(create.GetAddressOf()), S_OK);
  ASSERT_EQ(create.As(&callers), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(L"the caller's own failure"));
  SetErrorInfo(0, callers.Get());
  EXPECT_EQ(sink->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(ErrorInfoText(), "the caller's own failure");
  sink = nullptr;
  source->sink = nullptr;
}

// Timers that note, as each goes, whether the module could be unloaded then.
struct WitnessTimers : platform::Timers {
  struct Timer : platform::WindowTimer {
    explicit Timer(HRESULT& seen) : seen_(seen) {}
    ~Timer() override { seen_ = CanUnloadNow(); }
    automation::Status Set(std::uint32_t, bool) override { return automation::Status::Ok(); }
    HRESULT& seen_;
  };
  std::unique_ptr<platform::WindowTimer> Create(std::function<void()>) override {
    return std::make_unique<Timer>(seenAtDestruction);
  }
  HRESULT seenAtDestruction = E_PENDING;
};

// The add-in's last release destroys its timer (kept, stopped, until the
// add-in goes) with the object still counted: the module stays loaded until
// the object is entirely gone.
TEST(ConnectObject, StaysCountedUntilItsMembersAreGone) {
  platform::fake::FakeServices os;
  WitnessTimers timers;
  platform::ServiceSet services = platform::Services();
  services.timers = &timers;
  platform::Install(services);
  ASSERT_EQ(CanUnloadNow(), S_OK);
  ComPtr<_Connect> connect = NewConnect<_Connect>(IID__Connect);
  ASSERT_TRUE(connect);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  addin::Connect& logic = static_cast<ConnectCom*>(connect.Get())->Logic();
  logic.Events().StartTimer(100);
  logic.Events().StopTimer();
  connect = nullptr;
  EXPECT_EQ(timers.seenAtDestruction, S_FALSE);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace zandrel::win
