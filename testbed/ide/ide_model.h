#pragma once
// The stand-in IDE's automation model, portable: the root object (DTE) with
// Name, Version, Events, Solution, ItemOperations, GetObject("VCProjects"),
// MainWindow (WindowState, Visible, Activate), and (the testbed's extension,
// which the real root lacks) WindowState, Active and Visible; the solution and its Visual C++ projects;
// the solution and command event sources. Each operation of the model fires
// the events the IDE fires for it.
//
// The Windows stand-in IDE (standin_ide.exe) puts a COM shell around this
// model; native tests use it directly.

#include <memory>
#include <string>
#include <vector>

#include "automation/object.h"
#include "model_object.h"

namespace zandrel::testbed {

struct ProjectInfo {
  std::string name;
  std::string fullName;

  // A scenario's NAME=PATH; a word without "=" is both.
  static ProjectInfo FromArgument(const std::string& text) {
    const auto eq = text.find('=');
    return {text.substr(0, eq), eq == std::string::npos ? text : text.substr(eq + 1)};
  }
};

class IdeModel {
 public:
  IdeModel(std::string name = "Stand-in IDE", std::string version = "7.10");
  ~IdeModel();
  IdeModel(const IdeModel&) = delete;
  IdeModel& operator=(const IdeModel&) = delete;

  // The root object (it answers the _DTE interface) and this add-in's AddIn
  // object (which does not).
  automation::Ref<automation::Object> Root() const;
  automation::Ref<automation::Object> AddIn() const;

  // The solution. A solution opened without a name reports an empty FullName
  // (as while the IDE is still opening it) until NameSolution.
  void OpenSolution(const std::string& fullName, std::vector<ProjectInfo> projects, bool named = true);
  void NameSolution();
  void AddProject(ProjectInfo project);
  bool RemoveProject(const std::string& name);
  bool RenameProject(const std::string& name, ProjectInfo renamed);
  void RenameSolution(const std::string& fullName);
  void CloseSolution();
  // A command completes (fires AfterExecute to the command-event sources that
  // select it).
  void ExecuteCommand(const std::string& guid, std::int32_t id);

  bool SolutionOpen() const { return solutionOpen_; }
  const std::string& SolutionFullName() const { return solutionName_; }
  const std::vector<ProjectInfo>& Projects() const { return projects_; }

  // The IDE's window state: 0 normal, 1 minimized, 2 maximized.
  std::int32_t windowState = 0;
  bool active = false;
  bool visible = true;
  // Every change of the three, in order, as "Name=value" (through the root)
  // or "MainWindow.Name=value" and "MainWindow.Activate()".
  std::vector<std::string> windowChanges;
  // Calls whose arguments the real IDE reads loosely, as the caller passed
  // them: "VCProjects.Item(Integer 1)" (any whole number is a position), and
  // "Events.CommandEvents(String {...}, Long 0)" (with the null group, any ID
  // means every command). They answer the same whatever was passed; this is
  // only what a case can hold.
  std::vector<std::string> asked;
  // Whether the root answers WindowState, Active and Visible by name (the
  // testbed's extension, on by default); off, it answers as the real IDE's
  // root does: no such member.
  bool rootWindowProperties = true;
  // Whether the root answers Name and Version (an IDE that hangs does not).
  bool responsive = true;
  // Whether GetObject("VCProjects") answers (an IDE without the C++ package
  // does not).
  bool vcProjectsAvailable = true;
  // Whether Events.CommandEvents gives an event source (off: Nothing).
  bool commandEventSources = true;

  // The editor: files opened by ItemOperations.OpenFile ("PATH (KIND view)"),
  // and where the caret
  // of the active text document is (line and column from 1; line 0: none).
  struct Caret {
    std::string file;
    std::int32_t line = 0;
    std::int32_t column = 0;
    std::int32_t shownLine = 0;  // the line the pane was last asked to show
    // How it was last asked: the show mode and the point-or-count argument,
    // with that argument's kind ("0, Integer 0").
    std::string shownWith;
  };
  const Caret& ActiveCaret() const { return caret_; }
  std::vector<std::string> OpenedFiles() const { return opened_; }

  // One event of the solution events, or of every command-event source handed
  // out, by its name in the type library (as the IDE fires it on its own).
  void FireSolution(std::string_view event, std::vector<automation::Variant> args = {});
  void FireCommands(std::string_view event, std::vector<automation::Variant> args);

  // Sinks advised on the solution events; command-event sources handed out.
  std::size_t SolutionSinks() const;
  std::size_t CommandSinks() const;

 private:
  class RootObject;
  friend class RootObject;
  automation::Ref<automation::Object> MakeProject(const ProjectInfo& info) const;

  friend class EditorAccess;
  Caret caret_;
  std::vector<std::string> opened_;

  std::string name_;
  std::string version_;
  bool solutionOpen_ = false;
  bool solutionNamed_ = false;
  std::string solutionName_;
  std::string pendingName_;
  std::vector<ProjectInfo> projects_;
  automation::Ref<automation::Object> root_;
  automation::Ref<automation::Object> addIn_;
  automation::Ref<EventSourceObject> solutionEvents_;
  std::vector<std::pair<std::pair<std::string, std::int32_t>, automation::Ref<EventSourceObject>>> commandEvents_;
};

}  // namespace zandrel::testbed
