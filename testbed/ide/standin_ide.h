#pragma once
// The stand-in IDE of standin_ide, in three parts that share this class:
//   standin_ide.cpp    the program, its own steps (the rest of the scenario
//                      language is testbed/scenario_verbs), loading and
//                      connecting the add-in, calls into the add-in;
//   manager_steps.cpp  the stand-in integration manager, as a client of it
//                      (the `manager` steps);
//   bench_steps.cpp    the benchmarks and the long session (`bench-register`,
//                      `bench-open`, `churn`), each with its JSON line.

#include <windows.h>
#include <psapi.h>

#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <iostream>
#include <sstream>
#include <string>

#include "automation/text.h"
#include "com/exported_object.h"
#include "ide/ide_extensibility.h"
#include "ide/ide_model.h"
#include "qms.h"
#include "model_object.h"
#include "scenario_verbs.h"
#include "shared/debug_logger.h"
#include "stopwatch.h"
#include "win/owners.h"
#include "win/com_support.h"
#include "win/com_variant.h"
#include "win/dispatch_object.h"
#include "win/text_conv.h"
#include "zandrel.h"

namespace zandrel::testbed::standin {

using automation::Ref;
using automation::Variant;
using Microsoft::WRL::ComPtr;

// One line of the transcript (standard output), with the run's label.
void Say(const std::string& line);
std::string Hex(HWND window);
// Pumps this thread's messages for the time given.
void Pump(DWORD milliseconds);
// Whether the loaded zandrel.dll answers S_OK to DllCanUnloadNow.
bool AddinCanUnload();

// The stand-in manager's dump, read once: its applications' process ids,
// its documents with their owners' process ids, the timing of the last
// registration (first-call-us, last-registerdoc-us, registerdocs) and the
// references held on its objects from outside (-1: not read).
struct ManagerView {
  struct Document {
    std::string name;
    std::string pid;
  };
  std::vector<std::string> appPids;
  std::vector<Document> documents;
  std::map<std::string, double> timing;
  long references = -1;
  static ManagerView Parse(const std::string& dump);
};

class StandInIde : public testbed::ScenarioPlayer {
 public:
  StandInIde();
  ~StandInIde() override;

  bool Run(const testbed::Step& step);

  // The steps a scenario may use (the parser checks their arguments' count).
  std::vector<testbed::Verb> Verbs() const { return verbs_.Verbs(); }

  // The scenario language's calls (testbed/scenario_verbs.h).
  testbed::IdeModel& Ide() override { return ide_; }
  void Show(const std::string& line) override { Say("  " + line); }
  bool Start(const testbed::Step& step) override;
  bool Call(const testbed::Step& step, automation::CallKind kind) override;
  // One notification of IDTExtensibility2 on its own (the add-in stays loaded).
  bool Notify(const testbed::Step& step) override;
  bool Shutdown() override { return Shutdown(true); }
  bool Release() override;
  bool Wait(const testbed::Step& step) override;  // `wait MS` pumps messages; `settle [MS]`: Settle
  // The stand-in integration manager, as a client of it.
  bool Manager(const testbed::Step& step) override;

 private:
  std::vector<testbed::VerbRow> OwnVerbs();

  // Creates the add-in by its ProgID and connects it as the IDE does:
  // OnConnection with the IDE's root object, then OnStartupComplete.
  bool Load(const std::wstring& progId, LONG mode, bool wrongApplication = false);
 public:
  // The IDE's own loading rule at start-up: the add-ins registered for its
  // version under HKLM, then HKCU (in the registry view of this process's
  // bitness), whose LoadBehavior has the start-up bit (0x2), each created by
  // its ProgID (the key's name) and connected with ext_cm_Startup. This
  // stand-in holds one add-in: the first one loaded; a later one is named and
  // left out.
  bool LoadAddIns(const std::string& version);
 private:
  ComPtr<testbed::IdeExtensibility2> Extensibility();

  bool Shutdown(bool report);

  // A step run later by a window timer of this thread: it happens whenever the
  // thread pumps messages, also inside the add-in's outgoing calls.
  bool Later(const testbed::Step& step);
  static void CALLBACK RunLater(HWND, UINT, UINT_PTR id, DWORD);

  // Pumps messages until the add-in's event queue is empty, at most
  // `milliseconds`. A step runs from the top of the message loop, never inside
  // a handler, so every event queued before it has then been worked off,
  // however slow the machine.
  bool Settle(DWORD milliseconds);

  bool VtableCall(const std::string& member);

  // The manager's dump, read; empty when it cannot be read.
  ManagerView ReadManager();

  // The manager's documents of IDEs (FindDocuments of kind 3, every name),
  // and their count.
  ComPtr<IQmsDocuments> EveryDocument(long& count);

  // The IDE's project list (GetObject("VCProjects")) and its count, through
  // the IDE's automation root.
  static automation::Result<automation::Ref<automation::Object>> ProjectList(automation::Object& root, long& count);

  static long Median(std::vector<double> v);
  static std::string Range(const std::vector<double>& v);

  // The add-in's RegisterProjects (through its vtable) against the bare
  // sequence of the same calls made from here, in turn, REPS times each: the
  // manager's documents with their owner test and name, then the projects'
  // full paths. The solution must be open and registered, the manager
  // started by this IDE. Also times the parts of the bare sequence: the calls
  // into the manager, the calls back into the IDEs for MSDEVPid, the IDE's
  // own objects.
  bool BenchRegister(int reps);

  // A solution of N projects opened, REPS times, against the bare sequence of
  // the calls its first registration makes, made from here in turn. The
  // opening is timed by the manager on the machine's performance counter
  // (shared by every process): from the Opened event to the first call into
  // the manager (the event waits in the queue for the timer) and to the end of
  // the last RegisterDoc. The bare sequence, on a manager without the add-in's
  // documents (withdrawn from here first): the manager's documents, the
  // project list, and for each project its full path, a new document object
  // with its properties, the project's name, and RegisterDoc (under an
  // application of this IDE's own, withdrawn again outside the timing). The
  // manager must be started by this IDE, no solution open.
  bool BenchOpen(int n, int reps);

  // A long IDE session in little time: EVENTS project events (a project
  // "Churn" added, then removed, and again), each worked off at once by
  // calling the add-in's Timer member as its timer form does (arming and
  // disarming the window timer each time, as ever); every EVERY events one is
  // left to the real timer tick instead. Every EVERY events the process's
  // counters are printed: private bytes, handles, GDI and USER objects.
  bool Churn(long events, long every);

  static BOOL CALLBACK CountWindow(HWND, LPARAM count);

  // The process's counters. Private bytes are the committed private memory
  // (PagefileUsage, which Windows keeps equal to PrivateUsage; Wine fills only
  // the former). Where GetProcessHandleCount answers 0 (Wine), the handles are
  // counted by asking each handle value for its information. GDI and USER
  // objects are GetGuiResources' (0 under Wine); windows counts this thread's
  // top-level and message-only windows, which USER objects the add-in makes.
  static std::string Counters();

  // A call of the add-in into one of the IDE's objects (on the IDE's thread,
  // inside the add-in's outgoing COM call).
  std::optional<automation::Error> OnModelCall(std::string_view member);

  // The lines in the add-in's log file now (the file its settings name).
  static long LogLines();


  // Whether the add-in is loaded; says so when it is not.
  bool Loaded() { return addin_ || (Say("  ! the add-in is not loaded"), false); }
  bool CanUnload();

  testbed::IdeModel ide_;
  HWND others_[2] = {};
  HWND main_ = nullptr;
  ComPtr<_Connect> addin_;
  ComPtr<IQmsIntegrationManager> manager_;
  std::string disturbance_;  // "fail" or "shutdown", at the call numbered disturbAt_
  long disturbAt_ = 0;
  long calls_ = 0;
  std::string disturbed_;
  bool shutDownInside_ = false;
  long managerBaseline_ = -1;  // the manager's references from outside when this IDE started it
  std::map<UINT_PTR, testbed::Step> pending_;
  static inline StandInIde* current_ = nullptr;
  testbed::Interpreter verbs_{*this, OwnVerbs()};
};

}  // namespace zandrel::testbed::standin
