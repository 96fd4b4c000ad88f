#pragma once
// Identifiers of the IDE's automation model (EnvDTE) that the add-in needs by
// value: the interfaces it asks objects for, the event dispinterfaces and their
// dispatch ids. Members are otherwise called by name.

#include <cstdint>

#include "automation/variant.h"

namespace zandrel::envdte {

inline constexpr automation::InterfaceId kDTE{"_DTE", "{04A72314-32E9-48E2-9B87-A63603454F3E}"};
inline constexpr automation::InterfaceId kTextWindow{"TextWindow", "{2FC54DC9-922B-44EB-8CC0-BA182584DC4B}"};
inline constexpr automation::InterfaceId kTextSelection{"TextSelection", "{1FA0E135-399A-4D2C-A4FE-D21E2480F921}"};
inline constexpr automation::InterfaceId kDispSolutionEvents{"_dispSolutionEvents",
                                                             "{FBCFF1C2-261C-11D1-AE5E-00A0C90F26F4}"};
inline constexpr automation::InterfaceId kDispCommandEvents{"_dispCommandEvents",
                                                            "{FF2D5C12-FEEA-11D0-BBC8-00A0C90F2744}"};

// _dispSolutionEvents
inline constexpr std::int32_t kSolutionOpened = 1;
inline constexpr std::int32_t kSolutionBeforeClosing = 2;
inline constexpr std::int32_t kSolutionAfterClosing = 3;
inline constexpr std::int32_t kSolutionQueryCloseSolution = 4;
inline constexpr std::int32_t kSolutionRenamed = 5;
inline constexpr std::int32_t kSolutionProjectAdded = 6;
inline constexpr std::int32_t kSolutionProjectRemoved = 7;
inline constexpr std::int32_t kSolutionProjectRenamed = 8;
// _dispCommandEvents
inline constexpr std::int32_t kCommandBeforeExecute = 1;
inline constexpr std::int32_t kCommandAfterExecute = 2;

// The view kind that opens a file in its primary view; the command group and id
// that select every command.
inline constexpr char kViewKindPrimary[] = "{00000000-0000-0000-0000-000000000000}";
inline constexpr char kAllCommandsGroup[] = "{00000000-0000-0000-0000-000000000000}";

}  // namespace zandrel::envdte
