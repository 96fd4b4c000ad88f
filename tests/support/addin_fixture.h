#pragma once
// A Connect object among native stand-ins: the platform fakes, the stand-in
// IDE's model and the stand-in integration manager's model, with the log
// switched fully on (mask 0x7F004000, no time stamps) into an in-memory file.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/native_connect.h"
#include "ide/ide_model.h"
#include "manager/manager_model.h"
#include "support/fakes.h"
#include "shared/debug_logger.h"
#include "shared/names.h"

namespace zandrel::testing_support {

// Where the add-in finds the manager: running, registered but not running, or
// not registered at all.
class StandInOutside : public addin::OutsideComponents {
 public:
  explicit StandInOutside(testbed::ManagerModel& manager) : manager_(manager) {}

  automation::Result<automation::Ref<registration::QmsIntegrationManager>> GetRunningManager(
      const std::string& progId) override {
    calls.push_back("GetObject " + progId);
    if (onCall) {
      if (auto failure = onCall("GetObject")) return *failure;
    }
    if (!running) return automation::Error{-2147221021, "Operation unavailable"};
    return manager_.Manager();
  }
  automation::Result<automation::Ref<registration::QmsIntegrationManager>> CreateManager(
      const std::string& progId) override {
    calls.push_back("CreateObject " + progId);
    if (onCall) {
      if (auto failure = onCall("CreateObject")) return *failure;
    }
    if (!registered) return automation::Error{-2147221005, "Invalid class string"};
    running = true;
    return manager_.Manager();
  }
  automation::Result<automation::Ref<registration::QmcDocProject>> CreateDocProject() override {
    ++docProjectsCreated;
    if (onCall) {
      if (auto failure = onCall("CreateDocProject")) return *failure;
    }
    if (docProjectFailsOn == docProjectsCreated) return automation::Error{-2147221164, "Class not registered"};
    return automation::Ref<registration::QmcDocProject>(new testbed::DocProjectModel());
  }

  // Called on entry to each of the three (with "GetObject", "CreateObject" or
  // "CreateDocProject"): may fail the call, or do anything meanwhile.
  std::function<std::optional<automation::Error>(const char* call)> onCall;
  bool registered = true;
  bool running = true;
  int docProjectsCreated = 0;
  int docProjectFailsOn = 0;
  std::vector<std::string> calls;

 private:
  testbed::ManagerModel& manager_;
};

class AddinFixture : public ::testing::Test {
 protected:
  static constexpr char kKey[] = "HKEY_LOCAL_MACHINE\\" ZANDREL_SETTINGS_KEY;
  static constexpr char kLog[] = "C:\\zandrel.log";

  AddinFixture() : outside(manager) {
    shared::ResetDebugLoggerForTesting();
    os.registry.SetDword(kKey, "Debug", 0x7F004000);
    os.registry.SetString(kKey, "DebugOutputFile", kLog);
    os.registry.SetString(kKey, "SuppressTimeStamps", "true");
    os.process.pid = 1234;
    os.windows.topLevel = {{0x10010, 999, "IDEOwner", "Another IDE"},
                           {0x10020, 1234, "Palette", "Tools"},
                           {0x10030, 1234, "IDEOwner", "Stand-in IDE"}};
  }
  ~AddinFixture() override {
    // The IDE's shutdown for the add-ins the test kept: an armed timer form and
    // the application object hold the add-in until it is disconnected.
    for (auto& connect : kept_) {
      automation::VariantArray custom;
      connect->OnBeginShutdown(custom);
    }
    kept_.clear();
    manager.ReleaseApplicationObjects();  // add-ins never disconnected go now
    shared::ResetDebugLoggerForTesting();
  }

  // The log's lines so far (CR LF removed), and forgetting them.
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    std::string& text = os.files.files[kLog];
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
      lines.push_back(text.substr(start, end - start));
    return lines;
  }
  std::vector<std::string> TakeLines() {
    auto lines = LogLines();
    os.files.files[kLog].clear();
    return lines;
  }
  static std::string WithoutAddresses(const std::string& line) {
    static const std::regex address(R"((zandrel |RETURN=|m_RegMgr=|m_IntgMgrApp=|\) =|TimerFrm\.\w+\(|StartTimer\()-?[1-9][0-9]*)");
    return std::regex_replace(line, address, "$1<addr>");
  }
  // The lines with addresses and elapsed times replaced, for comparing whole
  // transcripts.
  std::vector<std::string> Normalised(std::vector<std::string> lines) {
    static const std::regex elapsed(R"(-?[0-9]+ms)");
    static const std::regex late(R"(DeltaFromExpectedFire=-?[0-9]+)");
    for (std::string& line : lines) {
      line = std::regex_replace(WithoutAddresses(line), elapsed, "<t>ms");
      line = std::regex_replace(line, late, "DeltaFromExpectedFire=<late>");
    }
    return lines;
  }

  // Connects a new add-in to the stand-in IDE as the IDE does; the IDE shuts
  // it down at the end of the test unless told not to keep it.
  testing_support::AddInRef Connected(bool keep = true) {
    auto connect = testing_support::AddInRef::Create(&outside);
    automation::VariantArray custom;
    connect->OnConnection(ide.Root(), 1, ide.AddIn(), custom);
    if (keep) kept_.push_back(connect);
    return connect;
  }
  void Keep(const testing_support::AddInRef& connect) { kept_.push_back(connect); }

  // Lets the timers tick until none is armed (at most n ticks).
  void Drain(int n = 100) {
    for (int i = 0; i < n; ++i) {
      bool armed = false;
      for (auto* timer : os.timers.live) armed = armed || (timer->enabled && timer->interval != 0);
      if (!armed) break;
      os.timers.TickAll();
    }
  }

  platform::fake::FakeServices os;
  testbed::IdeModel ide;
  testbed::ManagerModel manager;
  StandInOutside outside;

 private:
  std::vector<testing_support::AddInRef> kept_;
};

}  // namespace zandrel::testing_support
