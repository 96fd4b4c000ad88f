// The instructions of one RegisterProjects against those of the bare calls,
// counted by callgrind: exact and the same from run to run, where times on a
// shared machine are not. One side of one figure a run; the count is taken
// between the client requests around the measured call (after one run to
// warm up, outside the count).
//
//   valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file=F
//     zandrel_instruction_counts register|stale|others N add-in|bare
//   (one command; the count is the "totals:" line of F.1)

#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "registration_world.h"

namespace {

using namespace zandrel;

int Usage() {
  std::fprintf(stderr, "usage: zandrel_instruction_counts register|stale|others N add-in|bare\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return Usage();
  const std::string figure = argv[1], side = argv[3];
  const int n = std::atoi(argv[2]);
  if (n <= 0 || (figure != "register" && figure != "stale" && figure != "others") || (side != "add-in" && side != "bare")) {
    return Usage();
  }
  bench::World world(n, figure == "others" ? 2 : 0);
  const std::int32_t stale = figure == "stale" ? n / 2 : 0;
  const std::function<void()> run = side == "add-in"
                                        ? std::function<void()>([&] { benchmark::DoNotOptimize(world.connect->RegisterProjects()); })
                                        : std::function<void()>([&] { bench::BareRegistrationCalls(world, stale); });
  for (int pass = 0; pass < 2; ++pass) {
    if (stale > 0) bench::RegisterStaleDocuments(world, stale);
    if (pass == 1) {
      CALLGRIND_ZERO_STATS;
      CALLGRIND_START_INSTRUMENTATION;
    }
    run();
    if (pass == 1) {
      CALLGRIND_STOP_INSTRUMENTATION;
      CALLGRIND_DUMP_STATS;
    }
  }
  return 0;
}
