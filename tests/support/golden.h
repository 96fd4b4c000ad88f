#pragma once
// Golden files: a whole transcript compared with the file that holds it.
// ZANDREL_UPDATE_GOLDEN=1 writes the file anew instead, to be read (git diff)
// before it is committed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace zandrel::testing_support {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Whether ZANDREL_UPDATE_GOLDEN asks for the files to be written anew: only in
// the test program run alone, since shards side by side would each write back
// whole case files and lose one another's changes.
inline bool UpdatingGolden() {
  if (!std::getenv("ZANDREL_UPDATE_GOLDEN")) return false;
  if (!std::getenv("GTEST_TOTAL_SHARDS")) return true;
  ADD_FAILURE() << "golden files are written anew by the test program run alone, not by ctest's shards";
  return false;
}

inline void ExpectGolden(const std::string& path, const std::string& transcript) {
  if (UpdatingGolden()) std::ofstream(path, std::ios::binary) << transcript;
  else EXPECT_EQ(transcript, ReadFile(path)) << path;
}

}  // namespace zandrel::testing_support
