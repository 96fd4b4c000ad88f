// Extended commands from the integration manager, and the status properties.

#include <gtest/gtest.h>

#include <cstdio>

#include "support/addin_fixture.h"
#include "support/case_name.h"
#include "support/connect_probe.h"

namespace zandrel::addin {
namespace {

using namespace testing_support;
using automation::Variant;
using automation::VariantArray;
using Lines = std::vector<std::string>;

class Commands : public AddinFixture {
 protected:
  Commands() {
    connect = Connected();
    TakeLines();
  }
  // The first line a command wrote.
  std::string Run(std::string word, VariantArray args) {
    connect->ExecuteExtendedCommand(word, args);
    const Lines lines = TakeLines();
    return lines.empty() ? std::string() : lines[0];
  }
  automation::Ref<Connect> connect;
};

struct OpenFileCase {
  const char* name;
  VariantArray args;
  const char* line;
};

class OpenFileArguments : public Commands, public ::testing::WithParamInterface<OpenFileCase> {};

TEST_P(OpenFileArguments, AreTakenFromTheLowerBound) {
  EXPECT_EQ(Run("openfile", GetParam().args), T(std::string("    BEGIN DoOpenFile ") + GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenFileArguments,
    ::testing::Values(
        OpenFileCase{"LowerBoundZero", {0, {Variant("C:\\a.cpp"), Variant(12), Variant(3)}}, "\"C:\\a.cpp\", 12, 3"},
        OpenFileCase{"LowerBoundOne", {1, {Variant("C:\\a.cpp"), Variant(12), Variant(3)}}, "\"C:\\a.cpp\", 12, 3"},
        OpenFileCase{"LowerBoundNegative", {-4, {Variant("x.h"), Variant(1), Variant(1)}}, "\"x.h\", 1, 1"},
        OpenFileCase{"TextDigits", {0, {Variant("a.cpp"), Variant("40"), Variant(" 7 ")}}, "\"a.cpp\", 40, 7"},
        OpenFileCase{"FractionalLineHalfToEven", {0, {Variant("a.cpp"), Variant(2.5), Variant(3.5)}}, "\"a.cpp\", 2, 4"},
        OpenFileCase{"MissingElements", {0, {Variant("a.cpp")}}, "\"a.cpp\", 0, 0"},
        OpenFileCase{"EmptyList", {0, {}}, "\"\", 0, 0"},
        OpenFileCase{"Unconvertible", {0, {Variant(VariantArray{}), Variant("ten"), Variant(true)}}, "\"\", 0, -1"},
        // lower bound + 1 is past the Long range: those steps fail with Overflow.
        OpenFileCase{"LowerBoundAtTheTopOfTheLongRange",
                     {2147483647, {Variant("x.h"), Variant(1), Variant(1)}}, "\"x.h\", 0, 0"},
        OpenFileCase{"AnUnsupportedElementAfterTheThree",
                     {0, {Variant("C:\\a.cpp"), Variant(12), Variant(3), Variant(automation::Unsupported{})}},
                     "\"C:\\a.cpp\", 12, 3"},
        OpenFileCase{"AnUnsupportedLine",
                     {0, {Variant("C:\\a.cpp"), Variant(automation::Unsupported{}), Variant(3)}},
                     "\"C:\\a.cpp\", 0, 3"}),
    CaseName());

TEST_F(Commands, TheWordIgnoresLetterCaseButNotBlanks) {
  VariantArray args{0, {Variant("a.cpp"), Variant(1), Variant(1)}};
  EXPECT_EQ(Run("OPENFILE", args), T("    BEGIN DoOpenFile \"a.cpp\", 1, 1"));
  EXPECT_EQ(Run("OpenFile", args), T("    BEGIN DoOpenFile \"a.cpp\", 1, 1"));
  EXPECT_EQ(Run(" openfile", args), E("UNKNOWN Extended Command\" openfile\""));
  EXPECT_EQ(Run("Build", args), E("UNKNOWN Extended Command\"Build\""));
}

TEST_F(Commands, ANonTextFileWritesOnlyTheBeginLine) {
  std::string word = "openfile";
  VariantArray args{0, {Variant("C:\\missing.cpp")}};
  connect->ExecuteExtendedCommand(word, args);
  EXPECT_EQ(TakeLines(), Lines{T("    BEGIN DoOpenFile \"C:\\missing.cpp\", 0, 0")});
}

// A file of the native file system, for the stand-in's editor.
std::string TempFile(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fputs(text.c_str(), f);
  std::fclose(f);
  return path;
}

TEST_F(Commands, OpenFilePutsTheCaretAtTheLineAndColumn) {
  const std::string path = TempFile("zandrel_open.cpp", "int a;\r\nint b;\r\n  return b;\r\n");
  Run("openfile", VariantArray{1, {Variant(path), Variant("3"), Variant(3)}});
  EXPECT_EQ(ide.ActiveCaret().file, path);
  EXPECT_EQ(ide.ActiveCaret().line, 3);
  EXPECT_EQ(ide.ActiveCaret().column, 3);
  EXPECT_EQ(ide.ActiveCaret().shownLine, 3);
  EXPECT_EQ(ide.ActiveCaret().shownWith, "0, Integer 0");  // centred; the Integer 0
  // A line beyond the file: the move fails and is skipped, the later steps
  // still run with the edit point where it was made, at the file's start.
  EXPECT_EQ(Run("openfile", VariantArray{0, {Variant(path), Variant(40), Variant(1)}}),
            T("    BEGIN DoOpenFile \"" + path + "\", 40, 1"));
  EXPECT_EQ(ide.ActiveCaret().line, 1);
  EXPECT_EQ(ide.ActiveCaret().column, 1);
}

TEST_F(Commands, AMissingOrNonTextFileWritesOnlyTheBeginLine) {
  const std::string image = TempFile("zandrel_icon.ico", "binary");
  for (const std::string& path : {::testing::TempDir() + "no_such_file.cpp", image}) {
    EXPECT_EQ(Run("openfile", VariantArray{0, {Variant(path), Variant(1), Variant(1)}}),
              T("    BEGIN DoOpenFile \"" + path + "\", 1, 1"));
    EXPECT_EQ(LogLines(), Lines{});
  }
  EXPECT_EQ(ide.ActiveCaret().line, 0);
  EXPECT_EQ(ide.OpenedFiles(), Lines{image});
}

struct ActivateCase {
  const char* name;
  std::int32_t before;
  std::int32_t after;
};

class Activate : public Commands, public ::testing::WithParamInterface<ActivateCase> {};

TEST_P(Activate, RestoresTheWindowState) {
  ide.windowState = GetParam().before;
  ide.active = false;
  EXPECT_EQ(Run("activate", {}), T("    BEGIN DoActivate"));
  EXPECT_EQ(ide.windowState, GetParam().after);
  EXPECT_TRUE(ide.active);
  EXPECT_TRUE(ide.visible);
}

INSTANTIATE_TEST_SUITE_P(States, Activate,
                         ::testing::Values(ActivateCase{"Normal", 0, 0}, ActivateCase{"Minimized", 1, 0},
                                           ActivateCase{"Maximized", 2, 2}),
                         CaseName());

TEST_F(Commands, ActivateLogsAndReadsTheIdeAfreshForEachAccess) {
  std::string word = "Activate";
  VariantArray none;
  connect->ExecuteExtendedCommand(word, none);
  const Lines lines = TakeLines();
  EXPECT_EQ(lines.front(), T("    BEGIN DoActivate"));
  EXPECT_EQ(lines.back(), T("      END DoActivate()"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), T("Get MSDevApp:  Entering...")), 5);
}

// Minimized, active, visible, then back to the saved state: normal when the
// IDE was normal or minimized, maximized when it was maximized.
TEST_F(Commands, ActivateMinimizesThenRestoresTheSavedState) {
  for (const auto& [from, back] : {std::pair{0, "0"}, std::pair{1, "0"}, std::pair{2, "2"}}) {
    ide.windowState = from;
    ide.windowChanges.clear();
    Run("activate", {});
    EXPECT_EQ(ide.windowChanges, (Lines{"WindowState=1", "Active=True", "Visible=True", std::string("WindowState=") + back}))
        << "from " << from;
  }
}

TEST_F(Commands, ActivateWithoutAnIde) {
  automation::VariantArray custom;
  connect->OnDisconnection(0, custom);
  TakeLines();
  std::string word = "activate";
  VariantArray none;
  connect->ExecuteExtendedCommand(word, none);
  const Lines lines = TakeLines();
  EXPECT_EQ(lines.back(), T("      END DoActivate()"));  // every step skipped, the END line written
}

// Every public member by name, as the native stand-ins call them: the same
// answers as the members themselves, and the errors of late binding.
TEST_F(Commands, EveryMemberByName) {
  using automation::CallKind;
  const auto Get = CallKind::PropertyGet, Put = CallKind::PropertyPut, Call = CallKind::Method;
  VariantArray list;
  list.elements = {Variant(std::string("ignored"))};
  struct Row {
    const char* member;
    CallKind kind;
    std::vector<Variant> args;
    const char* answer;  // the value as text, "(object)", or "Error N"
  };
  const Row rows[] = {
      {"Description", Get, {}, "Veltrane Orvelle Visual Studio .NET AddIn"},
      {"NAME", Get, {}, "<Stand-in IDE 7.10 PID=1234>"},
      {"MSDEVPid", Get, {}, "1234"},
      {"MSDEVMainWnd", Get, {}, "65584"},
      {"DTE", Get, {}, "(object)"},
      {"EventQueueCount", Get, {}, "0"},
      {"RTEServer", Get, {}, "False"},
      {"RTEServer", Put, {Variant(std::string("True"))}, ""},
      {"rteserver", Get, {}, "True"},
      {"RTEServer", Put, {}, "Error 5"},
      {"RTEServer", Put, {Variant(std::string("maybe"))}, "Error 13"},
      {"NewWorkspace", Get, {}, "False"},
      {"CurrentBuildErrors", Get, {}, "0"},
      {"CurrentBuildWarnings", Get, {}, "0"},
      {"ActiveProject", Get, {}, ""},
      {"ActiveProject", Put, {Variant(std::string("D:\\x\\X.vcproj"))}, ""},
      {"ActiveProject", Get, {}, "D:\\x\\X.vcproj"},
      {"ActiveProject", Put, {}, "Error 5"},
      {"RegisterProjects", Call, {}, "True"},
      {"Timer", Call, {}, ""},
      {"ExecuteExtendedCommand", Call, {Variant(std::string("nosuchword")), Variant(list)}, ""},
      {"ExecuteExtendedCommand", Call, {Variant(std::string("nosuchword"))}, "Error 5"},
      {"ExecuteExtendedCommand", Call, {Variant(std::string("nosuchword")), Variant(std::int32_t{1})}, "Error 13"},
      {"Name", Put, {Variant(std::string("x"))}, "Error 438"},
      {"Description", Put, {Variant(std::string("x"))}, "Error 438"},
      {"Timer", Put, {Variant(std::string("x"))}, "Error 438"},
      {"Elsewhere", Get, {}, "Error 438"},
  };
  for (const Row& row : rows) {
    std::vector<Variant> args = row.args;
    auto r = connect->Invoke(row.member, row.kind, args);
    std::string answer = !r ? "Error " + std::to_string(r.error().number)
                         : r->type() == automation::VarType::Object ? "(object)"
                                                                    : *automation::ToText(*r);
    EXPECT_EQ(answer, row.answer) << row.member << " " << static_cast<int>(row.kind) << " with " << row.args.size();
  }
  EXPECT_EQ(connect->Invoke("DTE", Get, {})->AsObject().Address(), ide.Root().Address());
  // Ping shows its message box; DoInitialize runs start-up again.
  ASSERT_TRUE(connect->Invoke("Ping", Call, {}).ok());
  ASSERT_EQ(os.messageBoxes.shown.size(), 1u);
  EXPECT_EQ(os.messageBoxes.shown[0].text, "qmcIDEAddin zandrel.Ping");
  TakeLines();
  for (std::vector<Variant> args : {std::vector<Variant>{}, std::vector<Variant>{Variant(std::string("again"))}}) {
    ASSERT_TRUE(connect->Invoke("DoInitialize", Call, args).ok());
    EXPECT_EQ(TakeLines().at(0), T("BEGIN DoInitialize"));
  }
}

}  // namespace
}  // namespace zandrel::addin
