#pragma once
// The identifiers of the IDE's automation model (the EnvDTE type library) and
// of the add-in designer's library (IDTExtensibility2), as the real IDE has
// them: transcribed from the public, machine-generated dumps of those type
// libraries, never taken from the add-in's own headers. The stand-in IDE
// answers and fires with these; a test holds the add-in's values against them,
// so that a wrong identifier would have to be written twice, in two
// independent places, to pass.

#include <cstdint>
#include <string_view>

namespace zandrel::testbed::ide_ids {

struct Guid {
  std::string_view name;
  std::string_view guid;
};

// Interfaces (IIDs), source dispinterfaces (DIIDs), coclasses (CLSIDs).
inline constexpr Guid kDTE{"_DTE", "{04A72314-32E9-48E2-9B87-A63603454F3E}"};
inline constexpr Guid kEvents{"Events", "{134170F8-93B1-42DD-9F89-A2AC7010BA07}"};
inline constexpr Guid kSolution{"_Solution", "{26F6CC4B-7A48-4E4D-8AF5-9E960232E05F}"};
inline constexpr Guid kProjects{"Projects", "{E3EC0ADD-31B3-461F-8303-8A5E6931257A}"};
inline constexpr Guid kProject{"Project", "{866311E6-C887-4143-9833-645F5B93F6F1}"};
inline constexpr Guid kItemOperations{"ItemOperations", "{D5DBE57B-C074-4E95-B015-ABEEAA391693}"};
inline constexpr Guid kWindow{"Window", "{0BEAB46B-4C07-4F94-A8D7-1626020E4E53}"};
inline constexpr Guid kTextWindow{"TextWindow", "{2FC54DC9-922B-44EB-8CC0-BA182584DC4B}"};
inline constexpr Guid kTextPane{"TextPane", "{0A3BF283-05F8-4669-9BCB-A84B6423349A}"};
inline constexpr Guid kTextPoint{"TextPoint", "{7F59E94E-4939-40D2-9F7F-B7651C25905D}"};
inline constexpr Guid kEditPoint{"EditPoint", "{C1FFE800-028B-4475-A907-14F51F19BB7D}"};
inline constexpr Guid kDocument{"Document", "{63EB5C39-CA8F-498E-9A66-6DD4A27AC95B}"};
inline constexpr Guid kTextSelection{"TextSelection", "{1FA0E135-399A-4D2C-A4FE-D21E2480F921}"};
inline constexpr Guid kSolutionEventsIncoming{"_SolutionEvents", "{BF8BBF37-5415-46A9-940D-594CAD9DEC26}"};
inline constexpr Guid kCommandEventsIncoming{"_CommandEvents", "{A79FC678-0D0A-496A-B9DC-0D5B9E1CA9FC}"};
inline constexpr Guid kDispSolutionEvents{"_dispSolutionEvents", "{FBCFF1C2-261C-11D1-AE5E-00A0C90F26F4}"};
inline constexpr Guid kDispCommandEvents{"_dispCommandEvents", "{FF2D5C12-FEEA-11D0-BBC8-00A0C90F2744}"};
inline constexpr Guid kDTEClass{"DTE", "{3C9CFE1E-389F-4118-9FAD-365385190329}"};
inline constexpr Guid kSolutionClass{"Solution", "{B35CAA8C-77DE-4AB3-8E5A-F038E3FC6056}"};
inline constexpr Guid kSolutionEventsClass{"SolutionEvents", "{88AC98C7-B38C-404B-BD86-D2A4F2E89DCA}"};
inline constexpr Guid kCommandEventsClass{"CommandEvents", "{1DED92B5-9A46-4B29-93EF-B5E07016659E}"};
inline constexpr Guid kEnvDteLibrary{"EnvDTE", "{80CC9F66-E7D8-4DDD-85B6-D9E6CD0E93E2}"};
// The add-in designer's library and its interface (named _IDTExtensibility2
// there); dual.
inline constexpr Guid kIDTExtensibility2{"IDTExtensibility2", "{B65AD801-ABAF-11D0-BB8B-00A0C90F2744}"};
inline constexpr Guid kAddInDesignerLibrary{"AddInDesignerObjects", "{AC0714F2-3D04-11D1-AE7D-00A0C90F26F4}"};

// A member of an interface and its dispatch id.
struct Member {
  std::string_view interfaceName;
  std::string_view name;
  std::int32_t dispid;
};

// Every member the stand-in IDE implements that the type library has.
inline constexpr Member kMembers[] = {
    {"_DTE", "Name", 0},
    {"_DTE", "Version", 100},
    {"_DTE", "Events", 111},
    {"_DTE", "MainWindow", 204},
    {"_DTE", "Solution", 209},
    {"_DTE", "GetObject", 211},
    {"_DTE", "ItemOperations", 233},
    {"Events", "CommandEvents", 300},
    {"Events", "SolutionEvents", 302},
    {"_Solution", "FullName", 28},
    {"Projects", "Item", 0},
    {"Projects", "Count", 10},
    {"Project", "Name", 0},
    {"Project", "FullName", 209},
    {"ItemOperations", "OpenFile", 3},
    {"Window", "Visible", 106},
    {"Window", "WindowState", 109},
    {"Window", "Object", 123},
    {"Window", "Document", 128},
    {"Window", "Activate", 131},
    {"TextWindow", "ActivePane", 4},
    {"TextPane", "StartPoint", 9},
    {"TextPane", "TryToShow", 11},
    {"TextPoint", "CreateEditPoint", 34},
    {"EditPoint", "CreateEditPoint", 34},
    {"EditPoint", "MoveToLineAndOffset", 171},
    {"Document", "Selection", 131},
    {"TextSelection", "MoveToPoint", 38},
    {"TextSelection", "MoveToLineAndOffset", 39},
};

// An event of a source dispinterface: its dispatch id and its parameters in
// declared order (the event's arguments arrive last first in DISPPARAMS).
// A parameter marked by reference arrives as VT_BYREF.
struct Parameter {
  std::string_view name;
  std::string_view type;  // "BSTR", "long", "VARIANT", "Project*", "VARIANT_BOOL*"
  bool byReference;
};
struct Event {
  std::string_view interfaceName;
  std::string_view name;
  std::int32_t dispid;
  Parameter parameters[5];
  int count;
};

inline constexpr Event kEvents_[] = {
    {"_dispSolutionEvents", "Opened", 1, {}, 0},
    {"_dispSolutionEvents", "BeforeClosing", 2, {}, 0},
    {"_dispSolutionEvents", "AfterClosing", 3, {}, 0},
    {"_dispSolutionEvents", "QueryCloseSolution", 4, {{"fCancel", "VARIANT_BOOL*", true}}, 1},
    {"_dispSolutionEvents", "Renamed", 5, {{"OldName", "BSTR", false}}, 1},
    {"_dispSolutionEvents", "ProjectAdded", 6, {{"Project", "Project*", false}}, 1},
    {"_dispSolutionEvents", "ProjectRemoved", 7, {{"Project", "Project*", false}}, 1},
    {"_dispSolutionEvents", "ProjectRenamed", 8, {{"Project", "Project*", false}, {"OldName", "BSTR", false}}, 2},
    {"_dispCommandEvents",
     "BeforeExecute",
     1,
     {{"Guid", "BSTR", false},
      {"ID", "long", false},
      {"CustomIn", "VARIANT", false},
      {"CustomOut", "VARIANT", false},
      {"CancelDefault", "VARIANT_BOOL*", true}},
     5},
    {"_dispCommandEvents",
     "AfterExecute",
     2,
     {{"Guid", "BSTR", false}, {"ID", "long", false}, {"CustomIn", "VARIANT", false}, {"CustomOut", "VARIANT", false}},
     4},
};

// IDTExtensibility2's methods, in vtable order after IDispatch's seven slots;
// the dispatch ids follow the same order.
inline constexpr Member kExtensibilityMembers[] = {
    {"IDTExtensibility2", "OnConnection", 1},     {"IDTExtensibility2", "OnDisconnection", 2},
    {"IDTExtensibility2", "OnAddInsUpdate", 3},   {"IDTExtensibility2", "OnStartupComplete", 4},
    {"IDTExtensibility2", "OnBeginShutdown", 5},
};

// ext_ConnectMode and ext_DisconnectMode.
inline constexpr std::int32_t ext_cm_AfterStartup = 0;
inline constexpr std::int32_t ext_cm_Startup = 1;
inline constexpr std::int32_t ext_dm_HostShutdown = 0;
inline constexpr std::int32_t ext_dm_UserClosed = 1;

// The view kind of a file's primary view; the null command group (every
// command).
inline constexpr std::string_view kViewKindPrimary = "{00000000-0000-0000-0000-000000000000}";

// The view kinds (the vsViewKind constants) that ItemOperations.OpenFile
// knows, by the name the testbed shows. The public reference lists these
// constants but not what the IDE answers to any other GUID: the stand-in
// refuses one (E_INVALIDARG), its own choice, so that a wrong view kind is
// seen at all (the add-in ignores the failure either way).
inline constexpr Guid kViewKinds[] = {
    {"primary", kViewKindPrimary},
    {"debugging", "{7651A700-06E5-11D1-8EBD-00A0C90F26EA}"},
    {"code", "{7651A701-06E5-11D1-8EBD-00A0C90F26EA}"},
    {"designer", "{7651A702-06E5-11D1-8EBD-00A0C90F26EA}"},
    {"text", "{7651A703-06E5-11D1-8EBD-00A0C90F26EA}"},
    {"any", "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
};
inline constexpr std::string_view kNullGuid = "{00000000-0000-0000-0000-000000000000}";

// Lookups in the tables above.
constexpr const Member* FindMember(std::string_view interfaceName, std::string_view name) {
  for (const Member& m : kMembers)
    if (m.interfaceName == interfaceName && m.name == name) return &m;
  return nullptr;
}
constexpr const Event* FindEvent(std::string_view interfaceName, std::string_view name) {
  for (const Event& e : kEvents_)
    if (e.interfaceName == interfaceName && e.name == name) return &e;
  return nullptr;
}
constexpr std::int32_t EventId(std::string_view interfaceName, std::string_view name) {
  const Event* e = FindEvent(interfaceName, name);
  return e ? e->dispid : -1;
}

}  // namespace zandrel::testbed::ide_ids
