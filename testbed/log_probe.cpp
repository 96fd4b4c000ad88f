// log_probe: writes lines through the add-in's logger, configured from the
// registry exactly as the add-in is (the add-in's settings key under
// HKEY_LOCAL_MACHINE), and reports what the logger did.
//
//   log_probe [--state] [--stats] [LEVEL ID MESSAGE]...
//   log_probe --bench LINES
//
// --state prints the configuration the logger read; --stats prints how many
// 100 ms retry waits the lines cost and how many message boxes were shown
// (there must be none). --bench times LINES TRACE lines of the add-in written
// through the logger (to the file its settings name) against LINES bare
// appends of the same bytes (open, write, close) to a file beside it, five
// rounds in turn, and prints the median cost of a line of each in ns.

#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <vector>
#include <string>

#include "shared/debug_logger.h"
#include "stopwatch.h"
#include "win/text_conv.h"
#include "win/win32_services.h"

namespace {

using namespace zandrel;

// Forwards to the Win32 services and counts what the logger asks of them.
class CountingProcess : public platform::Process {
 public:
  explicit CountingProcess(platform::Process& real) : real_(real) {}
  std::int32_t CurrentProcessId() override { return real_.CurrentProcessId(); }
  void Sleep(std::uint32_t ms) override {
    ++waits;
    waitedMs += ms;
    real_.Sleep(ms);
  }
  int waits = 0;
  std::uint32_t waitedMs = 0;

 private:
  platform::Process& real_;
};

class CountingMessageBoxes : public platform::MessageBoxes {
 public:
  std::int32_t Show(const std::string&, const std::string&, std::uint32_t) override { return ++shown, IDOK; }
  int shown = 0;
};

}  // namespace

namespace {

// Median ns a line: the logger's lines against bare appends of the same bytes.
int Bench(int lines) {
  shared::IsLogEnabled(shared::REZIRUZ_LOGID, shared::TRACE_LOGLEVEL);
  const std::string logFile = shared::CurrentLoggerState().m_strDebugOutputFile;
  if (!shared::IsLogEnabled(shared::REZIRUZ_LOGID, shared::TRACE_LOGLEVEL)) {
    std::fprintf(stderr, "log_probe: the add-in's TRACE lines are switched off\n");
    return 2;
  }
  const std::wstring bareFile = win::Utf8ToWide(logFile + ".bare");
  auto text = [](int i) { return "      RegisterProjects: RegisterDoc(C:\\big\\P" + std::to_string(i) + ".vcproj)"; };
  std::vector<double> logged, bare;
  for (int round = 0; round < 5; ++round) {
    double t0 = testbed::NowMicroseconds();
    for (int i = 0; i < lines; ++i) shared::DebugLog(text(i), shared::REZIRUZ_LOGID, shared::TRACE_LOGLEVEL);
    logged.push_back((testbed::NowMicroseconds() - t0) * 1e3 / lines);
    t0 = testbed::NowMicroseconds();
    for (int i = 0; i < lines; ++i) {
      const std::string line = " TRACE    DIRUDEVU  " + text(i) + "\r\n";
      HANDLE h = CreateFileW(bareFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      DWORD written = 0;
      WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      CloseHandle(h);
    }
    bare.push_back((testbed::NowMicroseconds() - t0) * 1e3 / lines);
  }
  DeleteFileW(bareFile.c_str());
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  auto spread = [](const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end()) - *std::min_element(v.begin(), v.end());
  };
  std::printf("logged line ns: median %.0f spread %.0f\nbare append ns: median %.0f spread %.0f\n", median(logged),
              spread(logged), median(bare), spread(bare));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  platform::ServiceSet services = win::Win32Services();
  CountingProcess process(*services.process);
  CountingMessageBoxes boxes;
  services.process = &process;
  services.messageBoxes = &boxes;
  platform::Install(services);

  if (argc == 3 && std::string(argv[1]) == "--bench") return Bench(std::max(1, std::atoi(argv[2])));

  bool state = false;
  bool stats = false;
  int i = 1;
  for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
    const std::string flag = argv[i];
    if (flag == "--state") state = true;
    else if (flag == "--stats") stats = true;
    else {
      std::fprintf(stderr, "log_probe: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if ((argc - i) % 3 != 0) {
    std::fprintf(stderr, "log_probe: lines are given as LEVEL ID MESSAGE\n");
    return 2;
  }

  const ULONGLONG start = GetTickCount64();
  for (; i + 2 < argc; i += 3) shared::DebugLog(argv[i + 2], std::atoi(argv[i + 1]), std::atoi(argv[i]));
  const ULONGLONG elapsed = GetTickCount64() - start;

  if (state) {
    shared::IsLogEnabled(shared::REZIRUZ_LOGID, shared::TRACE_LOGLEVEL);  // configures on first use
    const shared::LoggerState& s = shared::CurrentLoggerState();
    std::printf("mask=0x%08X file=%s suppress=%s\n", static_cast<unsigned>(s.m_lDebugMask),
                s.m_strDebugOutputFile.c_str(), s.m_strSuppressTimeStamps.c_str());
  }
  if (stats) {
    std::printf("waits=%d waited_ms=%u message_boxes=%d\n", process.waits, process.waitedMs, boxes.shown);
    std::fprintf(stderr, "log_probe: lines took %llu ms\n", static_cast<unsigned long long>(elapsed));
  }
  return 0;
}
