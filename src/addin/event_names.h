#pragma once
// The names of the events the solution's sinks queue and HandleEvent matches,
// one each: a name queued that no handler knows is dropped without a word.

namespace zandrel::addin::event_names {

inline constexpr char kSolutionOpened[] = "SolutionOpened";
inline constexpr char kSolutionAfterClosing[] = "SolutionAfterClosing";
inline constexpr char kSolutionRenamed[] = "SolutionRenamed";
inline constexpr char kProjectAdded[] = "ProjectAdded";
inline constexpr char kProjectRemoved[] = "ProjectRemoved";
inline constexpr char kProjectRenamed[] = "ProjectRenamed";

}  // namespace zandrel::addin::event_names
