// zandrel-doctor --log's summary at support's sizes: time and peak memory of
// the native summary of a generated log, beside `wc -l` on the same file
// (benchmarks/log_summary.sh runs it at 20 MB and 200 MB). Figures for the
// notes, never a timed test.
//
//   zandrel_log_summary_figures generate FILE MB   a log of about MB megabytes
//   zandrel_log_summary_figures summarize FILE [OUT]  its summary and page, timed (the summary to OUT)
//   zandrel_log_summary_figures quick FILE         both at 1 MB (the test run)

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "doctor/log_summary.h"

namespace {

// Lines as the add-in writes them, with time stamps: lifetime after lifetime,
// each attaching to the manager, registering, queueing and dispatching events,
// now and then with errors (some texts repeated, some new each time), a
// document withdrawn; the last one without its FinalRelease.
class Generator {
 public:
  explicit Generator(FILE* out) : out_(out) {}

  void Lifetime(int n) {
    const std::string address = std::to_string(13200000 + n * 16), pid = std::to_string(300 + n % 5000);
    Line("TRACE", "FinalConstruct zandrel " + address);
    Line("TRACE", "  ENTER IDTExtensibility2_OnConnection: ConnectMode=1");
    Line("TRACE", "BEGIN DoInitialize");
    Line("DEBUG", "Call GetObject(qmsIM.qmsIntegrationManager)");
    Line("DEBUG", "  RETURN=17445208");
    Line("DEBUG", "Set m_RegMgr = m_IntgMgr.RegistrationManager");
    Line("DEBUG", "m_RegMgr=17448936");
    Line("DEBUG", "m_RegMgr.RegisterApp(" + pid + ") =17454152");
    Line("TRACE", "  END DoInitialize PID=" + pid + "  MainWnd=1006A");
    const int events = 1 + static_cast<int>(random_() % 12);
    for (int e = 0; e < events; ++e) {
      static const char* const kEvents[] = {"SolutionOpened", "ProjectAdded", "ProjectRemoved", "SolutionAfterClosing"};
      Line("TRACE", "BEGIN AddEvent(1)  Event=" + std::string(kEvents[random_() % 4]) + " Delta=100 QCount=0");
      Line("TRACE", "  BEGIN StartTimer Delta=100");
      Line("DEBUG", "    SET StartTimer: Now=1203ms NextFire=1305ms  Interval=100");
      Line("TRACE", "END AddEvent()");
      Line("DEBUG", "BEGIN XeqEvent");
      Line("DEBUG", "  SET XeqEvent: QCount=1   Now=1320ms DeltaFromExpectedFire=" + std::to_string(random_() % 40));
      Line("TRACE", "      BEGIN RegisterProjects");
      for (int d = 0; d < 3; ++d) Line("DEBUG", "      m_RegMgr=17449624 m_IntgMgrApp=17454888");
      if (random_() % 10 == 0) Line("TRACE", "      RegisterProjects: m_RegMgr.UnRegisterDoc(C:\\s\\P" + std::to_string(e) + ".vcproj)");
      if (random_() % 8 == 0) Line("ERROR", "StopTimer ERROR: Object variable not set");
      if (random_() % 16 == 0) Line("ERROR", "ERROR in XeqEvent: Automation error " + std::to_string(random_()));
      Line("TRACE", "      END RegisterProjects(): ");
      Line("DEBUG", "END XeqEvent SolutionOpened");
    }
    if (n % 500 == 7) {  // a lifetime that logs a new error text on every tick
      for (int e = 0; e < 20000; ++e) Line("ERROR", "ERROR in XeqEvent: Automation error at tick " + std::to_string(e));
    }
    Line("TRACE", "FinalRelease zandrel " + address + " PID=" + pid);
  }

  // The last lifetime: its IDE's process ended before the manager let go of the add-in.
  void Unreleased(int n) {
    Line("TRACE", "FinalConstruct zandrel " + std::to_string(13200000 + n * 16));
    Line("DEBUG", "m_RegMgr.RegisterApp(77) =17454152");
  }

  std::size_t bytes() const { return bytes_; }

 private:
  void Line(const char* level, const std::string& message) {
    seconds_ += 0.01;
    if (seconds_ >= 86400) seconds_ = 0;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "12/7/2026 9:22:51 PM (%.2f)  %-8s DIRUDEVU  ", seconds_, level);
    std::fputs(stamp, out_);
    std::fputs(message.c_str(), out_);
    std::fputs("\r\n", out_);
    bytes_ += std::strlen(stamp) + message.size() + 2;
  }

  FILE* out_;
  std::mt19937 random_{7};
  double seconds_ = 30000;
  std::size_t bytes_ = 0;
};

int Generate(const char* path, double megabytes) {
  FILE* out = std::fopen(path, "wb");
  if (!out) return 1;
  Generator generator(out);
  int n = 1;
  for (; generator.bytes() < megabytes * 1e6; ++n) generator.Lifetime(n);
  generator.Unreleased(n);
  return std::fclose(out) == 0 ? 0 : 1;
}

int Summarize(const char* path, const char* textOut) {
  const auto start = std::chrono::steady_clock::now();
  FILE* in = std::fopen(path, "rb");
  if (!in) return 1;
  zandrel::doctor::LogSummarizer summarizer([](std::string_view ansi) { return std::string(ansi); });
  std::vector<char> buffer(1 << 20);
  std::size_t bytes = 0;
  for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0; bytes += n) summarizer.Feed({buffer.data(), n});
  std::fclose(in);
  const auto read = summarizer.Finish();
  const std::string text = zandrel::doctor::SummaryText(read.summary, path);
  const std::string page = zandrel::doctor::SummaryHtml(read.summary, path);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (FILE* out = textOut ? std::fopen(textOut, "wb") : nullptr) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%.1f MB, %zu lines, %zu lifetimes: %.2f s, peak memory %ld kB; summary %zu lines (%zu bytes), page %zu bytes\n",
              bytes / 1e6, read.summary.lines, read.summary.totals.lifetimes, seconds, usage.ru_maxrss,
              static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), text.size(), page.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "generate" && argc == 4) return Generate(argv[2], std::stod(argv[3]));
  if (mode == "summarize" && (argc == 3 || argc == 4)) return Summarize(argv[2], argc == 4 ? argv[3] : nullptr);
  if (mode == "quick" && argc == 3) return Generate(argv[2], 1) || Summarize(argv[2], nullptr);
  std::fprintf(stderr, "usage: zandrel_log_summary_figures generate FILE MB | summarize FILE [OUT] | quick FILE\n");
  return 2;
}
