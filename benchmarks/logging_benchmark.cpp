// The logger's cost. A line switched off (its log id or its level) against
// building the same text alone; a line written to a real file against a bare
// open, append and close of the same bytes.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "in_turn.h"
#include "support/fakes.h"
#include "shared/debug_logger.h"

namespace {

using namespace zandrel;

const std::string kKey = std::string("HKEY_LOCAL_MACHINE\\") + shared::kSettingsKey;

// The text of a typical line, built as the add-in builds it.
std::string LineText(int i) { return "      RegisterProjects: RegisterDoc(C:\\big\\P" + std::to_string(i) + ".vcproj)"; }

struct LoggerOn {
  explicit LoggerOn(const std::string& file = "C:\\log.txt") {
    os.registry.SetDword(kKey, "Debug", 0x12004000);  // ERROR and TRACE of the add-in's id
    os.registry.SetString(kKey, "DebugOutputFile", file);
    os.registry.SetString(kKey, "SuppressTimeStamps", "true");
    shared::ResetDebugLoggerForTesting();
    shared::IsLogEnabled(shared::REZIRUZ_LOGID, shared::TRACE_LOGLEVEL);  // configured now
  }
  ~LoggerOn() { shared::ResetDebugLoggerForTesting(); }
  platform::fake::FakeServices os;
};

void TextOnly(benchmark::State& state) {
  LoggerOn logger;
  int i = 0;
  for (auto _ : state) {
    std::string text = LineText(++i & 1023);
    benchmark::DoNotOptimize(text);
  }
}

// The DEBUG level is off in the mask: nothing is written.
void LineLevelOff(benchmark::State& state) {
  LoggerOn logger;
  int i = 0;
  for (auto _ : state) shared::DebugLog(LineText(++i & 1023), shared::REZIRUZ_LOGID, shared::DEBUG_LOGLEVEL);
}

// The log id is never switched on (UNKNOWN): nothing is written.
void LineIdOff(benchmark::State& state) {
  LoggerOn logger;
  int i = 0;
  for (auto _ : state) shared::DebugLog(LineText(++i & 1023), shared::UNKNOWN_LOGID, shared::TRACE_LOGLEVEL);
}

std::string ScratchFile() {
  static const std::string path = "/tmp/zandrel-bench-" + std::to_string(getpid()) + ".log";
  return path;
}

// The logger writing to a real file, emptied before and removed after.
struct LoggingToFile {
  LoggingToFile() : logger(ScratchFile()) {
    platform::ServiceSet set = platform::Services();
    set.files = &files;
    platform::Install(set);
    std::remove(ScratchFile().c_str());
  }
  ~LoggingToFile() { std::remove(ScratchFile().c_str()); }
  LoggerOn logger;
  platform::fake::PosixFileSystem files;
};

void WriteLine(int i) { shared::DebugLog(LineText(i & 1023), shared::REZIRUZ_LOGID, shared::TRACE_LOGLEVEL); }

// The same bytes as a written line, with a bare open, append and close.
void AppendBare(int i) {
  const std::string line = " TRACE    DIRUDEVU  " + LineText(i & 1023) + "\r\n";
  std::FILE* f = std::fopen(ScratchFile().c_str(), "ab");
  std::fwrite(line.data(), 1, line.size(), f);
  std::fclose(f);
}

// A line written: the logger opens the file, appends, closes, every line.
void LineWritten(benchmark::State& state) {
  LoggingToFile log;
  int i = 0;
  for (auto _ : state) WriteLine(++i);
}

// The same bytes with a bare open, append and close.
void BareAppend(benchmark::State& state) {
  std::remove(ScratchFile().c_str());
  int i = 0;
  for (auto _ : state) AppendBare(++i);
  std::remove(ScratchFile().c_str());
}

// The same figures in turn: every iteration times a batch of lines of one
// kind and a batch of the other back to back (which goes first alternates);
// the figure is the median over the iterations, where the machine's slower
// and faster spells cancel out. A line switched off (0: its level, 1: its log
// id) against its text alone: counter "extra_ns" a line. A line written
// against a bare append of the same bytes: counter "ratio".
// Batches of lines of each kind, a line's time in nanoseconds.
template <class Line>
auto Batch(int lines, Line line) {
  return [lines, line] {
    for (int k = 0; k < lines; ++k) line(k);
  };
}

void InTurnLineOff(benchmark::State& state) {
  LoggerOn logger;
  const std::int32_t id = state.range(0) ? shared::UNKNOWN_LOGID : shared::REZIRUZ_LOGID;
  const std::int32_t level = state.range(0) ? shared::TRACE_LOGLEVEL : shared::DEBUG_LOGLEVEL;
  constexpr int kLines = 256;
  auto times = bench::TimedInTurn(state, Batch(kLines, [&](int k) { shared::DebugLog(LineText(k), id, level); }),
                                  Batch(kLines, [](int k) {
                                    std::string t = LineText(k);
                                    benchmark::DoNotOptimize(t);
                                  }));
  std::vector<double> extra;
  for (const auto& [line, text] : times) extra.push_back((line - text) * 1000 / kLines);
  bench::CountRatio(state, times, "ratio", "line_ns", "text_ns", 1000.0 / kLines);
  state.counters["extra_ns"] = bench::Median(extra);
}

void InTurnLineWritten(benchmark::State& state) {
  LoggingToFile log;
  constexpr int kLines = 16;
  auto times = bench::TimedInTurn(state, Batch(kLines, WriteLine), Batch(kLines, AppendBare));
  bench::CountRatio(state, times, "ratio", "line_ns", "bare_ns", 1000.0 / kLines);
}

BENCHMARK(InTurnLineOff)->Arg(0)->Arg(1);
BENCHMARK(InTurnLineWritten);
BENCHMARK(TextOnly);
BENCHMARK(LineLevelOff);
BENCHMARK(LineIdOff);
BENCHMARK(LineWritten);
BENCHMARK(BareAppend);

}  // namespace
