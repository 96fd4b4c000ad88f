// The public members by name, for callers that reach the add-in by late
// binding without COM (the native stand-ins, the timer form in native builds).
// On Windows the COM class answers by name through its type library instead.

#include "addin/connect.h"
#include "automation/text.h"

namespace zandrel::addin {

using automation::CallKind;

namespace {

template <class T>
Result<Variant> Wrap(Result<T> r) {
  if (!r) return r.error();
  return Variant(*r);
}

}  // namespace

Result<Variant> Connect::Invoke(std::string_view member, CallKind kind, std::span<Variant> args) {
  const std::string name = automation::LowerCase(member);
  const bool put = kind == CallKind::PropertyPut;
  auto arg = [&](std::size_t i) -> Variant& { return args[i]; };

  if (name == "description" && !put) return Variant(Description());
  if (name == "ping" && !put) return Ping(), Variant();
  if (name == "dte" && !put) return Variant(DTE());
  if (name == "name" && !put) return Variant(Name());
  if (name == "msdevpid" && !put) return Variant(MSDEVPid());
  if (name == "msdevmainwnd" && !put) return Wrap(MSDEVMainWnd());
  if (name == "registerprojects" && !put) return Variant(RegisterProjects());
  if (name == "timer" && !put) return Timer(), Variant();
  if (name == "eventqueuecount" && !put) return Wrap(EventQueueCount());
  if (name == "rteserver") {
    if (!put) return Variant(RTEServer());
    if (args.size() != 1) return automation::errors::InvalidArgument();
    auto value = automation::ToBoolean(arg(0));
    if (!value) return value.error();
    RTEServer(*value);
    return Variant();
  }
  if (name == "doinitialize" && !put) {
    Variant event = args.empty() ? Variant() : arg(0);
    DoInitialize(event);
    return Variant();
  }
  if (name == "newworkspace" && !put) return Variant(NewWorkspace());
  if (name == "currentbuilderrors" && !put) return Variant(CurrentBuildErrors());
  if (name == "currentbuildwarnings" && !put) return Variant(CurrentBuildWarnings());
  if (name == "executeextendedcommand" && !put) {
    if (args.size() != 2) return automation::errors::InvalidArgument();
    auto command = automation::ToText(arg(0));
    if (!command) return command.error();
    if (arg(1).type() != automation::VarType::Array) return automation::errors::TypeMismatch();
    VariantArray list = arg(1).AsArray();
    ExecuteExtendedCommand(*command, list);
    return Variant();
  }
  if (name == "activeproject") {
    if (!put) return Variant(ActiveProject());
    if (args.size() != 1) return automation::errors::InvalidArgument();
    auto path = automation::ToText(arg(0));
    if (!path) return path.error();
    ActiveProject(*path);
    return Variant();
  }
  return automation::errors::MemberNotFound(member);
}

}  // namespace zandrel::addin
