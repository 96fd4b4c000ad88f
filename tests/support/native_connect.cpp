#include "support/native_connect.h"

#include <memory>

#include "automation/text.h"

namespace zandrel::testing_support {

using automation::CallKind;
using automation::Result;
using automation::Variant;
using automation::VariantArray;

class NativeConnect final : public automation::Object {
 public:
  explicit NativeConnect(addin::OutsideComponents* outside) : connect_(*this, outside) {}

  std::uint32_t Retain() override { return ++count_; }
  std::uint32_t Drop() override {
    const std::uint32_t left = --count_;
    if (left == 0) {
      count_ = automation::kReleasing;
      connect_.FinalRelease();
      delete this;
    }
    return left;
  }

  Result<Variant> Invoke(std::string_view member, CallKind kind, std::span<Variant> args) override;

  addin::Connect connect_;

 private:
  std::uint32_t count_ = 0;
};

namespace {

template <class T>
Result<Variant> Wrap(Result<T> r) {
  if (!r) return r.error();
  return Variant(*r);
}

}  // namespace

// _Connect's members as the COM class's type library offers them to a
// late-bound caller.
Result<Variant> NativeConnect::Invoke(std::string_view member, CallKind kind, std::span<Variant> args) {
  addin::Connect& c = connect_;
  const std::string name = automation::LowerCase(member);
  const bool put = kind == CallKind::PropertyPut;
  auto arg = [&](std::size_t i) -> Variant& { return args[i]; };

  if (name == "description" && !put) return Variant(c.Description());
  if (name == "ping" && !put) return c.Ping(), Variant();
  if (name == "dte" && !put) return Variant(c.DTE());
  if (name == "name" && !put) return Variant(c.Name());
  if (name == "msdevpid" && !put) return Variant(c.MSDEVPid());
  if (name == "msdevmainwnd" && !put) return Wrap(c.MSDEVMainWnd());
  if (name == "registerprojects" && !put) return Variant(c.RegisterProjects());
  if (name == "timer" && !put) return c.Timer(), Variant();
  if (name == "eventqueuecount" && !put) return Wrap(c.EventQueueCount());
  if (name == "rteserver") {
    if (!put) return Variant(c.RTEServer());
    if (args.size() != 1) return automation::errors::InvalidArgument();
    auto value = automation::ToBoolean(arg(0));
    if (!value) return value.error();
    c.RTEServer(*value);
    return Variant();
  }
  if (name == "doinitialize" && !put) {
    Variant event = args.empty() ? Variant() : arg(0);
    c.DoInitialize(event);
    return Variant();
  }
  if (name == "newworkspace" && !put) return Variant(c.NewWorkspace());
  if (name == "currentbuilderrors" && !put) return Variant(c.CurrentBuildErrors());
  if (name == "currentbuildwarnings" && !put) return Variant(c.CurrentBuildWarnings());
  if (name == "executeextendedcommand" && !put) {
    if (args.size() != 2) return automation::errors::InvalidArgument();
    auto command = automation::ToText(arg(0));
    if (!command) return command.error();
    // As the type library's dispatch: a list that is no array is refused (a
    // script client gets "Type mismatch"; only a vtable caller can pass none).
    if (arg(1).type() != automation::VarType::Array) return automation::errors::TypeMismatch();
    VariantArray list = arg(1).AsArray();
    c.ExecuteExtendedCommand(*command, list);
    return Variant();
  }
  if (name == "activeproject") {
    if (!put) return Variant(c.ActiveProject());
    if (args.size() != 1) return automation::errors::InvalidArgument();
    auto path = automation::ToText(arg(0));
    if (!path) return path.error();
    c.ActiveProject(*path);
    return Variant();
  }
  return automation::errors::MemberNotFound(member);
}

AddInRef AddInRef::Create(addin::OutsideComponents* outside) {
  auto* face = new NativeConnect(outside);
  AddInRef added;
  added.face_ = automation::Ref<automation::Object>(face);
  added.connect_ = &face->connect_;
  face->connect_.FinalConstruct();
  return added;
}

}  // namespace zandrel::testing_support
