// The COM boundary: whatever an entry point's body throws is logged at ERROR
// level with the operation's name and comes back as a failure with error
// info, never as an exception.

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "shared/debug_logger.h"
#include "support/fakes.h"
#include "win/com_support.h"
#include "win/owners.h"
#include "zandrel.h"

namespace zandrel::win {
namespace {

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
  const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + shared::kSettingsKey;
  os.registry.SetDword(key, "Debug", 0x7F004000);
  os.registry.SetString(key, "DebugOutputFile", "C:\\boundary.log");
  os.registry.SetString(key, "SuppressTimeStamps", "true");
  shared::ResetDebugLoggerForTesting();

  const HRESULT hr = Guarded(IID__Connect, "get_Name", []() -> HRESULT {
    GetParam().raise();
    return S_OK;
  });
  EXPECT_EQ(hr, GetParam().hr);
  EXPECT_EQ(os.files.files["C:\\boundary.log"], std::string(" ERROR    DIRUDEVU  ") + GetParam().line + "\r\n");
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.GetAddressOf()), S_OK);
  UniqueBstr description;
  ASSERT_TRUE(SUCCEEDED(info->GetDescription(description.put())));
  EXPECT_EQ(FromBstr(description.get()), GetParam().description);
  shared::ResetDebugLoggerForTesting();
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfThrow, Boundary, ::testing::ValuesIn(kThrown),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace zandrel::win
