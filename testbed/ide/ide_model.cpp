#include "ide/ide_model.h"

#include "ide_identifiers.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <type_traits>

namespace zandrel::testbed {

using automation::CallKind;
using automation::Ref;
using automation::Result;
using automation::Variant;

namespace {

// A value as a call record shows it: its kind, then its text.
std::string KindAndText(const Variant& value) {
  static const char* kKinds[] = {"Empty", "Boolean", "Integer", "Long", "Single", "Double",
                                 "Date", "String", "Object", "Array", "Unsupported"};
  auto text = automation::ToText(value);
  return kKinds[static_cast<int>(value.type())] + std::string(" ") + (text ? *text : "?");
}

std::string ArgumentsOf(std::span<Variant> args) {
  std::string out;
  for (const Variant& arg : args) out += (out.empty() ? "" : ", ") + KindAndText(arg);
  return out;
}

class ProjectObject : public ModelObject {
 public:
  explicit ProjectObject(ProjectInfo info) : ModelObject("Project"), info_(std::move(info)) {
    Property("FullName", [this] { return info_.fullName; });
    Property("Name", [this] { return info_.name; });
  }

 private:
  ProjectInfo info_;
};

// A snapshot of the solution's projects, as the IDE's collection is: Count and
// a 1-based Item.
class ProjectsObject : public ModelObject {
 public:
  ProjectsObject(std::vector<Ref<automation::Object>> projects, std::vector<std::string>& asked)
      : ModelObject("Projects"), projects_(std::move(projects)) {
    Property("Count", [this] { return static_cast<std::int32_t>(projects_.size()); });
    Define("Item", [this, &asked](CallKind, std::span<Variant> args) -> Result<Variant> {
      asked.push_back("VCProjects.Item(" + ArgumentsOf(args) + ")");
      if (args.size() != 1) return automation::errors::InvalidArgument();
      auto index = automation::ToLong(args[0]);
      if (!index) return index.error();
      if (*index < 1 || *index > static_cast<std::int32_t>(projects_.size()))
        return automation::Error{-2147024809, "The parameter is incorrect."};
      return Variant(projects_[static_cast<std::size_t>(*index - 1)]);
    });
  }

 private:
  std::vector<Ref<automation::Object>> projects_;
};

class SolutionObject : public ModelObject {
 public:
  explicit SolutionObject(const IdeModel& ide) : ModelObject("_Solution") {
    Property("FullName", [&ide] { return ide.SolutionFullName(); });
  }
};

class EventsObject : public ModelObject {
 public:
  using CommandEventsFactory = std::function<Ref<automation::Object>(const std::string&, std::int32_t)>;
  EventsObject(Ref<automation::Object> solutionEvents, CommandEventsFactory commandEvents, std::vector<std::string>& asked)
      : ModelObject("Events") {
    Property("SolutionEvents", [solutionEvents] { return solutionEvents; });
    Define("CommandEvents", [commandEvents, &asked](CallKind, std::span<Variant> args) -> Result<Variant> {
      asked.push_back("Events.CommandEvents(" + ArgumentsOf(args) + ")");
      std::string guid(ide_ids::kNullGuid);
      std::int32_t id = 0;
      if (!args.empty() && !args[0].IsEmpty()) {
        auto text = automation::ToText(args[0]);
        if (!text) return text.error();
        guid = *text;
      }
      if (args.size() > 1 && !args[1].IsEmpty()) {
        auto value = automation::ToLong(args[1]);
        if (!value) return value.error();
        id = *value;
      }
      return Variant(commandEvents(guid, id));
    });
  }
};

}  // namespace

// The editor objects reach the model's caret through this.
class EditorAccess {
 public:
  static IdeModel::Caret& Caret(IdeModel& ide) { return ide.caret_; }
  static void Opened(IdeModel& ide, const std::string& file) { ide.opened_.push_back(file); }
};

namespace {

Result<Variant> InvalidArgument() { return automation::Error{-2147024809, "The parameter is incorrect."}; }

// A text file as the editor holds it: its lines.
struct TextBuffer {
  std::string path;
  std::vector<std::string> lines;
};

// A point in a text buffer: TextPoint, and EditPoint, which can move.
class PointObject : public ModelObject {
 public:
  PointObject(std::shared_ptr<TextBuffer> buffer, std::int32_t line, std::int32_t column)
      : ModelObject("EditPoint"), buffer_(std::move(buffer)), line_(line), column_(column) {
    Property("Line", [this] { return line_; });
    Property("LineCharOffset", [this] { return column_; });
    Define("CreateEditPoint", [this](CallKind, std::span<Variant>) -> Result<Variant> {
      return Variant(Ref<automation::Object>(new PointObject(buffer_, line_, column_)));
    });
    Define("MoveToLineAndOffset", [this](CallKind, std::span<Variant> args) -> Result<Variant> {
      if (args.size() != 2) return InvalidArgument();
      auto toLine = automation::ToLong(args[0]);
      auto toColumn = automation::ToLong(args[1]);
      if (!toLine || !toColumn) return InvalidArgument();
      const auto lines = static_cast<std::int32_t>(buffer_->lines.size());
      if (*toLine < 1 || *toLine > std::max(lines, 1)) return InvalidArgument();
      const auto length =
          lines == 0 ? 0 : static_cast<std::int32_t>(buffer_->lines[static_cast<std::size_t>(*toLine - 1)].size());
      if (*toColumn < 1 || *toColumn > length + 1) return InvalidArgument();
      line_ = *toLine;
      column_ = *toColumn;
      return Variant();
    });
  }
  std::int32_t line() const { return line_; }
  std::int32_t column() const { return column_; }
  const std::shared_ptr<TextBuffer>& buffer() const { return buffer_; }

 private:
  std::shared_ptr<TextBuffer> buffer_;
  std::int32_t line_;
  std::int32_t column_;
};

const PointObject* AsPoint(const Variant& v) {
  return v.IsObject() ? dynamic_cast<const PointObject*>(v.AsObject().get()) : nullptr;
}

class PaneObject : public ModelObject {
 public:
  PaneObject(IdeModel& ide, std::shared_ptr<TextBuffer> buffer) : ModelObject("TextPane"), buffer_(std::move(buffer)) {
    Define("StartPoint", [this](CallKind, std::span<Variant>) -> Result<Variant> {
      return Variant(Ref<automation::Object>(new PointObject(buffer_, 1, 1)));
    });
    Define("TryToShow", [&ide](CallKind, std::span<Variant> args) -> Result<Variant> {
      const PointObject* point = args.empty() ? nullptr : AsPoint(args[0]);
      if (!point) return InvalidArgument();
      EditorAccess::Caret(ide).shownLine = point->line();
      std::string with;
      for (std::size_t i = 1; i < args.size(); ++i) {
        auto text = automation::ToText(args[i]);
        with += (i > 1 ? ", " : "") + (i == 2 ? KindAndText(args[i]) : text ? *text : "?");
      }
      EditorAccess::Caret(ide).shownWith = with;
      return Variant(true);
    });
  }
  Result<Ref<automation::Object>> As(const automation::InterfaceId& iid) override {
    if (iid.guid == ide_ids::kTextPane.guid) return Ref<automation::Object>(this);
    return automation::errors::NoInterface();
  }

 private:
  std::shared_ptr<TextBuffer> buffer_;
};

class SelectionObject : public ModelObject {
 public:
  SelectionObject(IdeModel& ide, std::shared_ptr<TextBuffer> buffer) : ModelObject("TextSelection") {
    Define("MoveToPoint", [&ide, buffer](CallKind, std::span<Variant> args) -> Result<Variant> {
      const PointObject* point = args.empty() ? nullptr : AsPoint(args[0]);
      if (!point || point->buffer() != buffer) return InvalidArgument();
      auto& caret = EditorAccess::Caret(ide);
      caret.file = buffer->path;
      caret.line = point->line();
      caret.column = point->column();
      return Variant();
    });
  }
  Result<Ref<automation::Object>> As(const automation::InterfaceId& iid) override {
    if (iid.guid == ide_ids::kTextSelection.guid) return Ref<automation::Object>(this);
    return automation::errors::NoInterface();
  }
};

// A window of the editor: a text window (its Object is a TextWindow) or a
// window of another kind (an image, a resource) whose Object is not.
class WindowObject : public ModelObject {
 public:
  WindowObject(IdeModel& ide, std::shared_ptr<TextBuffer> text) : ModelObject("Window") {
    if (text) {
      Ref<automation::Object> pane(new PaneObject(ide, text));
      Ref<automation::Object> textWindow(new TextWindowObject(pane));
      Ref<automation::Object> selection(new SelectionObject(ide, text));
      Ref<automation::Object> document(new DocumentObject(selection));
      object_ = textWindow;
      document_ = document;
    } else {
      object_ = Ref<automation::Object>(new OtherViewObject());
    }
    Property("Object", [this] { return object_; });
    Property("Document", [this] { return document_; });
  }

 private:
  class TextWindowObject : public ModelObject {
   public:
    explicit TextWindowObject(Ref<automation::Object> pane) : ModelObject("TextWindow") { Property("ActivePane", [pane] { return pane; }); }
    Result<Ref<automation::Object>> As(const automation::InterfaceId& iid) override {
      if (iid.guid == ide_ids::kTextWindow.guid) return Ref<automation::Object>(this);
      return automation::errors::NoInterface();
    }
  };
  class DocumentObject : public ModelObject {
   public:
    explicit DocumentObject(Ref<automation::Object> selection) : ModelObject("Document") {
      Property("Selection", [selection] { return selection; });
    }
  };
  class OtherViewObject : public ModelObject {};

  Ref<automation::Object> object_;
  Ref<automation::Object> document_;
};

bool IsTextFile(const std::string& path) {
  static const char* kText[] = {".cpp", ".c", ".cxx", ".cc", ".h", ".hpp", ".idl", ".txt", ".def", ".rc", ".vcproj", ".sln"};
  std::string lower = automation::LowerCase(path);
  for (const char* ext : kText)
    if (lower.size() >= std::strlen(ext) && lower.compare(lower.size() - std::strlen(ext), std::string::npos, ext) == 0)
      return true;
  return false;
}

class ItemOperationsObject : public ModelObject {
 public:
  explicit ItemOperationsObject(IdeModel& ide) : ModelObject("ItemOperations") {
    // OpenFile(FileName, ViewKind): the file must exist; a text file opens in a
    // text window, any other in a window of its own kind. The view kind (the
    // primary view when left out) must be one the IDE knows.
    Define("OpenFile", [&ide](CallKind, std::span<Variant> args) -> Result<Variant> {
      if (args.empty()) return InvalidArgument();
      auto path = automation::ToText(args[0]);
      if (!path || path->empty()) return InvalidArgument();
      auto kind = args.size() > 1 ? automation::ToText(args[1]) : Result<std::string>(std::string(ide_ids::kViewKindPrimary));
      if (!kind) return InvalidArgument();
      const auto view = std::find_if(std::begin(ide_ids::kViewKinds), std::end(ide_ids::kViewKinds), [&](const auto& k) {
        return automation::LowerCase(k.guid) == automation::LowerCase(*kind);
      });
      if (view == std::end(ide_ids::kViewKinds)) return InvalidArgument();
      // The path is UTF-8 text: opened as such (a narrow path would be read
      // in the ANSI code page on Windows).
      std::ifstream in(std::filesystem::path(std::u8string(path->begin(), path->end())), std::ios::binary);
      if (!in) return automation::Error{-2147024894, "The system cannot find the file specified."};
      std::shared_ptr<TextBuffer> text;
      if (IsTextFile(*path)) {
        text = std::make_shared<TextBuffer>();
        text->path = *path;
        for (std::string line; std::getline(in, line);) {
          if (!line.empty() && line.back() == '\r') line.pop_back();
          text->lines.push_back(line);
        }
      }
      EditorAccess::Opened(ide, *path + " (" + std::string(view->name) + " view)");
      return Variant(Ref<automation::Object>(new WindowObject(ide, text)));
    });
  }
};

class AddInObject : public ModelObject {
 public:
  AddInObject() { Property("ProgID", [] { return std::string("zandrel.Connect"); }); }
};

// A member over the IDE's window: WindowState (0 normal, 1 minimized, 2
// maximized) or a Boolean (Active, Visible). Every change is recorded in the
// model as "LABEL=value".
template <class T>
ModelObject::Member WindowMember(IdeModel& ide, std::string label, T& field) {
  return [&ide, label, &field](CallKind kind, std::span<Variant> args) -> Result<Variant> {
    if (kind != CallKind::PropertyPut) return Variant(field);
    if (args.size() != 1) return automation::errors::InvalidArgument();
    if constexpr (std::is_same_v<T, bool>) {
      auto value = automation::ToBoolean(args[0]);
      if (!value) return value.error();
      field = *value;
    } else {
      auto value = automation::ToLong(args[0]);
      if (!value) return value.error();
      if (*value < 0 || *value > 2) return automation::Error{-2147024809, "The parameter is incorrect."};
      field = *value;
    }
    auto shown = automation::ToText(args[0]);
    ide.windowChanges.push_back(label + "=" + (shown ? *shown : "?"));
    return Variant();
  };
}

// The IDE's main window (_DTE.MainWindow, a Window): the same window the
// root's extension members act on. Activate makes it the active one.
class MainWindowObject : public ModelObject {
 public:
  explicit MainWindowObject(IdeModel& ide) : ModelObject("Window") {
    Define("WindowState", WindowMember(ide, "MainWindow.WindowState", ide.windowState));
    Define("Visible", WindowMember(ide, "MainWindow.Visible", ide.visible));
    Define("Activate", [&ide](CallKind, std::span<Variant>) -> Result<Variant> {
      ide.active = true;
      ide.windowChanges.push_back("MainWindow.Activate()");
      return Variant();
    });
  }
};

}  // namespace

class IdeModel::RootObject : public ModelObject {
 public:
  explicit RootObject(IdeModel& ide) : ModelObject("_DTE"), ide_(ide) {
    auto text = [this](const std::string& value) -> Result<Variant> {
      if (!ide_.responsive) return automation::Error{-2147417848, "The object invoked has disconnected from its clients."};
      return Variant(value);
    };
    Define("Name", [this, text](CallKind, std::span<Variant>) { return text(ide_.name_); });
    Define("Version", [this, text](CallKind, std::span<Variant>) { return text(ide_.version_); });
    Property("Events", [this] { return events_; });
    Property("ItemOperations", [this] { return itemOperations_; });
    Property("Solution", [this] { return solution_; });
    Define("GetObject", [this](CallKind, std::span<Variant> args) -> Result<Variant> {
      if (args.size() != 1) return automation::errors::InvalidArgument();
      auto name = automation::ToText(args[0]);
      if (!name) return name.error();
      if (*name != "VCProjects" || !ide_.vcProjectsAvailable)
        return automation::Error{-2147024809, "The parameter is incorrect."};
      std::vector<Ref<automation::Object>> projects;
      if (ide_.solutionOpen_)
        for (const ProjectInfo& p : ide_.projects_) projects.push_back(ide_.MakeProject(p));
      return Variant(Ref<automation::Object>(new ProjectsObject(std::move(projects), ide_.asked)));
    });
    // For the testbed: another process (the stand-in manager, inside a call
    // it holds) closes the solution, as a user would while the add-in waits.
    Define("CloseSolution", [this](CallKind, std::span<Variant>) -> Result<Variant> {
      ide_.CloseSolution();
      return Variant();
    });
    Define("WindowState", WindowMember(ide_, "WindowState", ide_.windowState));
    Define("Active", WindowMember(ide_, "Active", ide_.active));
    Define("Visible", WindowMember(ide_, "Visible", ide_.visible));
    Property("MainWindow", [this] { return Ref<automation::Object>(new MainWindowObject(ide_)); });
  }

  // WindowState, Active and Visible are the testbed's extension of the root:
  // the real root has none of them (they belong to its MainWindow, and no
  // object has Active).
  bool Answers(std::string_view name) const override {
    if (!ide_.rootWindowProperties) {
      for (const char* extension : {"windowstate", "active", "visible"})
        if (automation::LowerCase(name) == extension) return false;
    }
    return ModelObject::Answers(name);
  }

  Result<Ref<automation::Object>> As(const automation::InterfaceId& iid) override {
    if (iid.guid == ide_ids::kDTE.guid) return Ref<automation::Object>(this);
    return automation::errors::NoInterface();
  }

  void Attach(Ref<automation::Object> events, Ref<automation::Object> solution) {
    events_ = std::move(events);
    solution_ = std::move(solution);
    itemOperations_ = Ref<automation::Object>(new ItemOperationsObject(ide_));
  }

 private:
  IdeModel& ide_;
  Ref<automation::Object> events_;
  Ref<automation::Object> solution_;
  Ref<automation::Object> itemOperations_;
};

IdeModel::IdeModel(std::string name, std::string version) : name_(std::move(name)), version_(std::move(version)) {
  auto root = new RootObject(*this);
  root_ = Ref<automation::Object>(root);
  addIn_ = Ref<automation::Object>(new AddInObject());
  solutionEvents_ = Ref<EventSourceObject>(new EventSourceObject({ide_ids::kDispSolutionEvents.name, ide_ids::kDispSolutionEvents.guid}));
  auto commandEvents = [this](const std::string& guid, std::int32_t id) -> Ref<automation::Object> {
    if (!commandEventSources) return {};
    Ref<EventSourceObject> source(new EventSourceObject({ide_ids::kDispCommandEvents.name, ide_ids::kDispCommandEvents.guid}));
    commandEvents_.push_back({{guid, id}, source});
    return source;
  };
  root->Attach(Ref<automation::Object>(new EventsObject(solutionEvents_, commandEvents, asked)),
               Ref<automation::Object>(new SolutionObject(*this)));
}

IdeModel::~IdeModel() = default;

Ref<automation::Object> IdeModel::Root() const { return root_; }
Ref<automation::Object> IdeModel::AddIn() const { return addIn_; }

Ref<automation::Object> IdeModel::MakeProject(const ProjectInfo& info) const {
  return Ref<automation::Object>(new ProjectObject(info));
}

void IdeModel::FireSolution(std::string_view event, std::vector<Variant> args) {
  solutionEvents_->Fire(ide_ids::EventId(ide_ids::kDispSolutionEvents.name, event), std::move(args));
}

void IdeModel::OpenSolution(const std::string& fullName, std::vector<ProjectInfo> projects, bool named) {
  solutionOpen_ = true;
  solutionNamed_ = named;
  solutionName_ = named ? fullName : std::string();
  pendingName_ = fullName;
  projects_ = std::move(projects);
  FireSolution("Opened");
}

void IdeModel::NameSolution() {
  solutionNamed_ = true;
  solutionName_ = pendingName_;
}

void IdeModel::AddProject(ProjectInfo project) {
  projects_.push_back(project);
  FireSolution("ProjectAdded", {Variant(MakeProject(project))});
}

bool IdeModel::RemoveProject(const std::string& name) {
  for (auto it = projects_.begin(); it != projects_.end(); ++it) {
    if (it->name != name) continue;
    ProjectInfo removed = *it;
    projects_.erase(it);
    FireSolution("ProjectRemoved", {Variant(MakeProject(removed))});
    return true;
  }
  return false;
}

bool IdeModel::RenameProject(const std::string& name, ProjectInfo renamed) {
  for (ProjectInfo& p : projects_) {
    if (p.name != name) continue;
    p = renamed;
    FireSolution("ProjectRenamed", {Variant(MakeProject(renamed)), Variant(name)});
    return true;
  }
  return false;
}

void IdeModel::RenameSolution(const std::string& fullName) {
  const std::string oldName = solutionName_;
  solutionName_ = fullName;
  pendingName_ = fullName;
  FireSolution("Renamed", {Variant(oldName)});
}

void IdeModel::CloseSolution() {
  // The IDE first asks whether the close may go on (a sink may veto it through
  // its by-reference argument; the add-in never does), then closes.
  FireSolution("QueryCloseSolution", {Variant(false)});
  FireSolution("BeforeClosing");
  solutionOpen_ = false;
  solutionNamed_ = false;
  solutionName_.clear();
  projects_.clear();
  FireSolution("AfterClosing");
}

void IdeModel::ExecuteCommand(const std::string& guid, std::int32_t id) {
  auto sources = commandEvents_;
  for (auto& [filter, source] : sources) {
    const bool allGroups = filter.first == ide_ids::kNullGuid;
    if (!allGroups && (filter.first != guid || (filter.second != 0 && filter.second != id))) continue;
    // Before the command runs (CancelDefault, by reference, may cancel it),
    // then after.
    source->Fire(ide_ids::EventId(ide_ids::kDispCommandEvents.name, "BeforeExecute"),
                 {Variant(guid), Variant(id), Variant(), Variant(), Variant(false)});
    source->Fire(ide_ids::EventId(ide_ids::kDispCommandEvents.name, "AfterExecute"),
                 {Variant(guid), Variant(id), Variant(), Variant()});
  }
}

void IdeModel::FireCommands(std::string_view event, std::vector<Variant> args) {
  auto sources = commandEvents_;
  for (auto& [filter, source] : sources) source->Fire(ide_ids::EventId(ide_ids::kDispCommandEvents.name, event), args);
}

std::size_t IdeModel::SolutionSinks() const { return solutionEvents_->Advised(); }

std::size_t IdeModel::CommandSinks() const {
  std::size_t n = 0;
  for (const auto& [filter, source] : commandEvents_) n += source->Advised();
  return n;
}

}  // namespace zandrel::testbed
