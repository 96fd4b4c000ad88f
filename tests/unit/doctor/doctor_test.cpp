// zandrel-doctor's report as text and JSON (its findings on the logger's
// settings are in tests/unit/cases/settings.cases; its switch of the log in
// log_switch_test.cpp).

#include <gtest/gtest.h>

#include "doctor/report.h"

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

}  // namespace
}  // namespace zandrel::doctor
