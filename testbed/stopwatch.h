#pragma once
// The testbed's clock for timings: microseconds from QueryPerformanceCounter.

#include <windows.h>

namespace zandrel::testbed {

inline double NowMicroseconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1e6 / frequency;
}

}  // namespace zandrel::testbed
