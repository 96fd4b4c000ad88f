#pragma once
// Log lines as the add-in writes them, for tests that compare whole lines.

#include <string>

namespace zandrel::testing_support {

// Log lines as the logger writes them without time stamps.
inline std::string T(const std::string& m) { return " TRACE    DIRUDEVU  " + m; }
inline std::string D(const std::string& m) { return " DEBUG    DIRUDEVU  " + m; }
inline std::string E(const std::string& m) { return " ERROR    DIRUDEVU  " + m; }
inline std::string W(const std::string& m) { return " WARNING  DIRUDEVU  " + m; }

}  // namespace zandrel::testing_support
