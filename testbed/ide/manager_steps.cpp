// The stand-in integration manager as the stand-in IDE's client: the
// `manager` steps, and what the other parts read of the manager (its dump,
// its documents, its references from outside).

#include "ide/standin_ide.h"

namespace zandrel::testbed::standin {

namespace {

bool Running() {
  ComPtr<IUnknown> running;
  return SUCCEEDED(GetActiveObject(CLSID_qmsIntegrationManager, nullptr, &running));
}

}  // namespace

ManagerView ManagerView::Parse(const std::string& dump) {
  ManagerView view;
  std::istringstream lines(dump);
  bool inDocuments = false;
  const auto field = [](const std::string& line, const char* key, std::size_t end = std::string::npos) {
    const auto at = line.find(key);
    if (at == std::string::npos) return std::string();
    const auto from = at + std::strlen(key);
    return line.substr(from, (end == std::string::npos || end < from ? line.find(' ', from) : end) - from);
  };
  static const std::string kReferences = "references from outside: ";
  for (std::string line; std::getline(lines, line);) {
    if (line == "documents:") {
      inDocuments = true;
    } else if (line.rfind("  app ", 0) == 0) {
      view.appPids.push_back(field(line, " pid="));
    } else if (inDocuments && line.rfind("  ", 0) == 0 && line.find(" kind=") != std::string::npos) {
      view.documents.push_back({line.substr(2, line.find(" kind=") - 2), field(line, " pid=", line.find(" project="))});
    } else if (line.rfind("timing:", 0) == 0) {
      inDocuments = false;
      std::istringstream pairs(line.substr(7));
      for (std::string pair; pairs >> pair;)
        if (const auto eq = pair.find('='); eq != std::string::npos)
          view.timing[pair.substr(0, eq)] = std::strtod(pair.c_str() + eq + 1, nullptr);
    } else if (line.rfind(kReferences, 0) == 0) {
      view.references = std::strtol(line.c_str() + kReferences.size(), nullptr, 10);
    }
  }
  return view;
}

// The `manager` steps: each with whether it needs the running manager
// attached first, and its handler.
bool StandInIde::Manager(const testbed::Step& managerStep) {
  using S = const testbed::Step&;
  struct ManagerStep {
    const char* name;
    std::size_t arguments;  // at least, after the step's name
    bool attached;
    bool (*run)(StandInIde& ide, S step);
  };
  // Reports a failed call to the manager; true on success.
  static constexpr auto done = [](StandInIde& ide, HRESULT hr) {
    if (FAILED(hr)) Say("  ! error " + win::ErrorFromCall(hr, ide.manager_.Get(), IID_IQmsIntegrationManager).description);
    return SUCCEEDED(hr);
  };
  static const ManagerStep kSteps[] = {
      {"start", 0, false,
       [](StandInIde& ide, S) {
         HRESULT hr = CoCreateInstance(CLSID_qmsIntegrationManager, nullptr, CLSCTX_LOCAL_SERVER,
                                       IID_IQmsIntegrationManager,
                                       reinterpret_cast<void**>(ide.manager_.ReleaseAndGetAddressOf()));
         Say(SUCCEEDED(hr) ? "  manager started"
                           : "  ! the manager could not be started: " + win::ErrorFromHresult(hr).description);
         if (SUCCEEDED(hr)) ide.managerBaseline_ = ide.ReadManager().references;
         return SUCCEEDED(hr);
       }},
      {"running", 0, false,
       [](StandInIde&, S) { return Say(std::string("  manager running: ") + (Running() ? "yes" : "no")), true; }},
      {"wait-gone", 0, false,
       [](StandInIde&, S step) {
         // Pumps messages until no manager is running, at most MS milliseconds.
         const DWORD limit = step.args.size() > 1 ? std::strtoul(step.args[1].text.c_str(), nullptr, 10) : 20000;
         const ULONGLONG begin = GetTickCount64();
         for (;;) {
           const ULONGLONG waited = GetTickCount64() - begin;
           if (!Running()) return Say("  manager gone within " + std::to_string((waited + 999) / 1000) + " s"), true;
           if (waited >= limit) return Say("  ! manager still running after " + std::to_string(limit) + " ms"), false;
           Pump(100);
         }
       }},
      {"release", 0, false, [](StandInIde& ide, S) { return ide.manager_.Reset(), Say("  manager released"), true; }},
      {"balanced", 0, true,
       [](StandInIde& ide, S) {
         // The references held on the manager's objects from outside are what
         // they were when this IDE started it: the add-in kept none.
         const long now = ide.ReadManager().references;
         Say("  manager references from outside: " + std::to_string(now) + " (at its start: " +
             std::to_string(ide.managerBaseline_) + ")");
         return now == ide.managerBaseline_;
       }},
      {"show", 0, true,
       [](StandInIde& ide, S) {
         // In plain words: each document and the IDE process that owns it.
         win::UniqueBstr text;
         const HRESULT hr = ide.manager_->get_Dump(text.put());
         const ManagerView view = ManagerView::Parse(win::FromBstr(text.get()));
         const std::size_t n = view.documents.size();
         Say("  the manager holds " + std::to_string(n) + (n == 1 ? " document" : " documents") + (n ? ":" : ""));
         for (const auto& d : view.documents) Say("    " + d.name + "  (owned by the IDE with process id " + d.pid + ")");
         Say("  (this IDE is process " + std::to_string(GetCurrentProcessId()) + ")");
         return done(ide, hr);
       }},
      {"dump", 0, true,
       [](StandInIde& ide, S) {
         win::UniqueBstr text;
         const HRESULT hr = ide.manager_->get_Dump(text.put());
         std::istringstream lines(win::FromBstr(text.get()));
         for (std::string line; std::getline(lines, line);) Say("  " + line);
         return done(ide, hr);
       }},
      {"stop", 0, true,
       [](StandInIde& ide, S) {
         const HRESULT hr = ide.manager_->Shutdown();
         ide.manager_.Reset();
         Say("  manager stopped");
         return done(ide, hr);
       }},
      {"clear-faults", 0, true, [](StandInIde& ide, S) { return done(ide, ide.manager_->ClearFaults()); }},
      {"fault", 1, true,
       [](StandInIde& ide, S step) {
         win::UniqueBstr name(win::NewBstr(step.args[1].text));
         win::UniqueBstr text(win::NewBstr(step.args.size() > 3 ? step.args[3].text : ""));
         const long value = step.args.size() > 2 ? std::strtol(step.args[2].text.c_str(), nullptr, 0) : 1;
         return done(ide, ide.manager_->SetFault(name.get(), value, text.get()));
       }},
      {"command", 3, true,
       [](StandInIde& ide, S step) {
         // An extended command sent by the manager to an IDE: this one (self),
         // the first other one (other), or the IDE with that process id.
         std::string target = step.args[1].text;
         if (target == "self" || target == "other") {
           const std::string mine = std::to_string(GetCurrentProcessId());
           std::string found;
           for (const std::string& pid : ide.ReadManager().appPids)
             if ((target == "self") == (pid == mine) && found.empty()) found = pid;
           target = found;
         }
         automation::VariantArray list;
         list.lowerBound = std::atoi(step.args[3].text.c_str());
         for (std::size_t i = 4; i < step.args.size(); ++i) list.elements.push_back(testbed::ArgumentValue(step.args[i]));
         win::UniqueVariant args;
         win::ToComVariant(Variant(list), args.get());
         win::UniqueBstr pid(win::NewBstr(target));
         win::UniqueBstr word(win::NewBstr(step.args[2].text));
         const HRESULT hr = ide.manager_->SendExtendedCommand(pid.get(), word.get(), *args);
         if (SUCCEEDED(hr)) Say("  sent to the IDE with process id " + target);
         return done(ide, hr);
       }},
      {"bench", 1, true,
       [](StandInIde& ide, S step) {
         // The time of one cross-process call, median of N.
         const int n = std::atoi(step.args[1].text.c_str());
         std::vector<double> us;
         LARGE_INTEGER f, a, b;
         QueryPerformanceFrequency(&f);
         HRESULT hr = S_OK;
         for (int i = 0; i < n; ++i) {
           LONG count = 0;
           QueryPerformanceCounter(&a);
           hr = ide.manager_->get_ApplicationCount(&count);
           QueryPerformanceCounter(&b);
           us.push_back(1e6 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart));
         }
         std::sort(us.begin(), us.end());
         if (!us.empty()) {
           char line[128];
           std::snprintf(line, sizeof line, "  cross-process call: median %.0f us, 95th percentile %.0f us (%d calls)",
                         us[us.size() / 2], us[us.size() * 95 / 100], n);
           Say(line);
         }
         return done(ide, hr);
       }},
  };
  const std::string& what = managerStep.args[0].text;
  for (const ManagerStep& entry : kSteps) {
    if (what != entry.name || managerStep.args.size() < entry.arguments + 1) continue;
    if (entry.attached && !manager_) {
      ComPtr<IUnknown> running;
      if (FAILED(GetActiveObject(CLSID_qmsIntegrationManager, nullptr, &running)) || FAILED(running.As(&manager_)))
        return Say("  ! no running manager"), false;
    }
    return entry.run(*this, managerStep);
  }
  Say("  ! unknown manager step " + what);
  return false;
}

// The manager's dump, read; empty when it cannot be read.
ManagerView StandInIde::ReadManager() {
  win::UniqueBstr text;
  if (!manager_ || FAILED(manager_->get_Dump(text.put()))) return {};
  return ManagerView::Parse(win::FromBstr(text.get()));
}

// The manager's documents of IDEs (FindDocuments of kind 3, every name),
// and their count.
ComPtr<IQmsDocuments> StandInIde::EveryDocument(long& count) {
  SHORT kind = 3;
  win::UniqueBstr all(win::NewBstr(""));
  ComPtr<IQmsDocuments> docs;
  manager_->FindDocuments(&kind, all.InOut(), &docs);
  count = 0;
  if (docs) docs->get_Count(&count);
  return docs;
}

}  // namespace zandrel::testbed::standin
