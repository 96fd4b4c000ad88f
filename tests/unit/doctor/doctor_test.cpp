// zandrel-doctor's report as text and JSON (its findings on the logger's
// settings are in tests/unit/shared/debug_logger.cases; its switch of the log in
// log_switch_test.cpp).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>

#include "doctor/report.h"
#include "support/golden.h"

namespace zandrel::doctor {
namespace {

TEST(DoctorReport, JsonCarriesEveryFindingEscaped) {
  Report report;
  report.Add(Level::Ok, "registration", "class", "C:\\x \"y\"");
  report.Add(Level::Warn, "ide", "AddIns 7.0", "none\tthere", "install");
  report.Add(Level::Fail, "manager", "class", std::string("ctl\x01"), "register it");
  EXPECT_EQ(report.Json(),
            "{\"findings\":[{\"level\":\"OK\",\"area\":\"registration\",\"what\":\"class\",\"reason\":\"C:\\\\x "
            "\\\"y\\\"\",\"fix\":\"\"},{\"level\":\"WARN\",\"area\":\"ide\",\"what\":\"AddIns 7.0\",\"reason\":"
            "\"none\\tthere\",\"fix\":\"install\"},{\"level\":\"FAIL\",\"area\":\"manager\",\"what\":\"class\","
            "\"reason\":\"ctl\\u0001\",\"fix\":\"register it\"}],\"ok\":1,\"warn\":1,\"fail\":1}\n");
  EXPECT_EQ(report.ExitCode(), 1);
  EXPECT_EQ(report.Text(),
            "OK   registration: class: C:\\x \"y\"\nWARN ide: AddIns 7.0: none\tthere\n       fix: install\n"
            "FAIL manager: class: ctl\x01\n       fix: register it\n1 OK, 1 WARN, 1 FAIL\n");
}

std::size_t OpenFiles() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

// The page of --html: written whole, or not at all, and its file closed on
// every way out. A short write is a real one: the process may not make a
// file longer than 1000 bytes (RLIMIT_FSIZE), as a full disk would stop it.
TEST(DoctorPage, IsWrittenWholeOrNotAtAllAndClosedOnEveryWayOut) {
  const std::string page(64 * 1024, 'x');  // more than stdio's buffer
  const std::string folder = ::testing::TempDir();
  struct Row {
    const char* name;
    std::string path;
    rlim_t longest;
    bool written;
  } rows[] = {
      {"written whole", folder + "zandrel_page_whole.html", RLIM_INFINITY, true},
      {"a short write", folder + "zandrel_page_short.html", 1000, false},
      {"no such folder", folder + "no/such/folder/page.html", RLIM_INFINITY, false},
  };
  const auto open = [](const std::string& path) { return std::fopen(path.c_str(), "wb"); };
  const auto remove = [](const std::string& path) { std::remove(path.c_str()); };
  for (const Row& row : rows) {
    std::remove(row.path.c_str());
    const std::size_t filesBefore = OpenFiles();
    rlimit limit{}, old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    limit = old;
    limit.rlim_cur = std::min(row.longest, old.rlim_cur);
    const auto signalWas = signal(SIGXFSZ, SIG_IGN);  // a write past it fails (EFBIG) instead
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool written = WriteWholeFile(row.path, page, open, remove);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, signalWas);
    EXPECT_EQ(written, row.written) << row.name;
    EXPECT_EQ(OpenFiles(), filesBefore) << row.name << ": a file was left open";
    EXPECT_EQ(std::filesystem::exists(row.path), row.written) << row.name;
    if (row.written) {
      EXPECT_EQ(testing_support::ReadFile(row.path), page) << row.name;
    }
    std::remove(row.path.c_str());
  }
}

}  // namespace
}  // namespace zandrel::doctor
