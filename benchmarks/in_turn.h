#pragma once
// Two things timed in turn in one benchmark: every iteration times one and
// then the other back to back (which goes first alternates), so that the
// machine's slower and faster spells, which move both alike, cancel out in
// their ratio or difference. The figures are medians over the iterations.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <utility>
#include <vector>

namespace zandrel::bench {

// (time of a, time of b) for each iteration, in microseconds; `before` runs
// ahead of each timing, outside it.
template <class A, class B, class Before>
std::vector<std::pair<double, double>> TimedInTurn(benchmark::State& state, A&& a, B&& b, Before&& before) {
  using Clock = std::chrono::steady_clock;
  auto timed = [&](auto& run) {
    before();
    const auto t0 = Clock::now();
    run();
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
  };
  std::vector<std::pair<double, double>> times;
  bool aFirst = true;
  for (auto _ : state) {
    double ta = 0, tb = 0;
    if (aFirst) {
      ta = timed(a);
      tb = timed(b);
    } else {
      tb = timed(b);
      ta = timed(a);
    }
    aFirst = !aFirst;
    times.emplace_back(ta, tb);
  }
  return times;
}

template <class A, class B>
std::vector<std::pair<double, double>> TimedInTurn(benchmark::State& state, A&& a, B&& b) {
  return TimedInTurn(state, a, b, [] {});
}

inline double Median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// The medians of a/b, a and b, as the counters named.
inline void CountRatio(benchmark::State& state, const std::vector<std::pair<double, double>>& times, const char* ratio,
                       const char* aName, const char* bName, double scale = 1.0) {
  std::vector<double> ratios, as, bs;
  for (const auto& [ta, tb] : times) {
    ratios.push_back(ta / tb);
    as.push_back(ta * scale);
    bs.push_back(tb * scale);
  }
  state.counters[ratio] = Median(ratios);
  state.counters[aName] = Median(as);
  state.counters[bName] = Median(bs);
}

}  // namespace zandrel::bench
