// The add-in's identifiers of the IDE (src/shared/envdte.h, and its private
// description of IDTExtensibility2 in src/win/idl/extensibility.idl) held,
// identifier by identifier, against the testbed's independent table of the
// real IDE's (testbed/ide_identifiers.h, transcribed from the public dumps
// of the IDE's type libraries).

#include "shared/envdte.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "ide_identifiers.h"

namespace zandrel::envdte {
namespace {

namespace ide_ids = testbed::ide_ids;

TEST(IdeIdentifiers, InterfacesAndEventSources) {
  struct Row {
    automation::InterfaceId addin;
    ide_ids::Guid ide;
  };
  for (const Row& row : {Row{kDTE, ide_ids::kDTE}, Row{kTextWindow, ide_ids::kTextWindow},
                         Row{kTextSelection, ide_ids::kTextSelection},
                         Row{kDispSolutionEvents, ide_ids::kDispSolutionEvents},
                         Row{kDispCommandEvents, ide_ids::kDispCommandEvents}}) {
    EXPECT_EQ(row.addin.name, row.ide.name);
    EXPECT_EQ(row.addin.guid, row.ide.guid) << row.ide.name;
  }
  EXPECT_EQ(kViewKindPrimary, ide_ids::kViewKindPrimary);
  EXPECT_EQ(kAllCommandsGroup, ide_ids::kNullGuid);
}

TEST(IdeIdentifiers, EventDispatchIds) {
  struct Row {
    std::string_view events;
    std::string_view name;
    std::int32_t addin;
  };
  for (const Row& row : {Row{"_dispSolutionEvents", "Opened", kSolutionOpened},
                         Row{"_dispSolutionEvents", "BeforeClosing", kSolutionBeforeClosing},
                         Row{"_dispSolutionEvents", "AfterClosing", kSolutionAfterClosing},
                         Row{"_dispSolutionEvents", "QueryCloseSolution", kSolutionQueryCloseSolution},
                         Row{"_dispSolutionEvents", "Renamed", kSolutionRenamed},
                         Row{"_dispSolutionEvents", "ProjectAdded", kSolutionProjectAdded},
                         Row{"_dispSolutionEvents", "ProjectRemoved", kSolutionProjectRemoved},
                         Row{"_dispSolutionEvents", "ProjectRenamed", kSolutionProjectRenamed},
                         Row{"_dispCommandEvents", "BeforeExecute", kCommandBeforeExecute},
                         Row{"_dispCommandEvents", "AfterExecute", kCommandAfterExecute}}) {
    EXPECT_EQ(row.addin, ide_ids::EventId(row.events, row.name)) << row.events << "." << row.name;
  }
}

// The arguments the add-in's sinks read, by position in declared order: the
// table's parameters must stand at those positions.
TEST(IdeIdentifiers, EventArgumentOrder) {
  struct Row {
    std::string_view events, name;
    std::size_t position;
    std::string_view parameter, type;
  };
  for (const Row& row : {Row{"_dispSolutionEvents", "Renamed", 0, "OldName", "BSTR"},
                         Row{"_dispSolutionEvents", "ProjectAdded", 0, "Project", "Project*"},
                         Row{"_dispSolutionEvents", "ProjectRemoved", 0, "Project", "Project*"},
                         Row{"_dispSolutionEvents", "ProjectRenamed", 0, "Project", "Project*"},
                         Row{"_dispSolutionEvents", "ProjectRenamed", 1, "OldName", "BSTR"},
                         Row{"_dispCommandEvents", "AfterExecute", 0, "Guid", "BSTR"},
                         Row{"_dispCommandEvents", "AfterExecute", 1, "ID", "long"},
                         Row{"_dispCommandEvents", "AfterExecute", 2, "CustomIn", "VARIANT"},
                         Row{"_dispCommandEvents", "AfterExecute", 3, "CustomOut", "VARIANT"}}) {
    const ide_ids::Event* event = ide_ids::FindEvent(row.events, row.name);
    ASSERT_NE(event, nullptr) << row.name;
    ASSERT_LT(row.position, static_cast<std::size_t>(event->count)) << row.name;
    EXPECT_EQ(event->parameters[row.position].name, row.parameter) << row.name;
    EXPECT_EQ(event->parameters[row.position].type, row.type) << row.name;
    EXPECT_FALSE(event->parameters[row.position].byReference) << row.name;
  }
}

// The add-in's private IDL of IDTExtensibility2: its IID, and its methods in
// vtable order with their dispatch ids.
TEST(IdeIdentifiers, ExtensibilityInterface) {
  std::ifstream in(std::string(ZANDREL_SOURCE_DIR) + "/src/win/idl/extensibility.idl");
  ASSERT_TRUE(in);
  std::stringstream text;
  text << in.rdbuf();
  const std::string idl = text.str();
  const std::string guid(ide_ids::kIDTExtensibility2.guid.substr(1, 36));
  EXPECT_NE(idl.find("uuid(" + guid + "),\n    dual"), std::string::npos) << guid;
  std::vector<std::pair<std::string, std::int32_t>> methods;
  const std::regex method(R"(\[id\((\d+)\)\] HRESULT (\w+)\()");
  for (std::sregex_iterator it(idl.begin(), idl.end(), method), end; it != end; ++it)
    methods.emplace_back((*it)[2], std::stoi((*it)[1]));
  std::vector<std::pair<std::string, std::int32_t>> expected;
  for (const ide_ids::Member& m : ide_ids::kExtensibilityMembers) expected.emplace_back(std::string(m.name), m.dispid);
  EXPECT_EQ(methods, expected);
}

}  // namespace
}  // namespace zandrel::envdte
