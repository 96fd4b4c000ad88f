#pragma once
// The base of the testbed's portable model objects: members are looked up by
// name (case-insensitively, as IDispatch does), and every instance is counted,
// so that a test can see that the add-in released everything it was handed.

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "automation/object.h"
#include "automation/text.h"

namespace zandrel::testbed {

class ModelObject : public automation::RefCountedBase, public automation::Object {
 public:
  using Member = std::function<automation::Result<automation::Variant>(automation::CallKind, std::span<automation::Variant>)>;

  ModelObject() { ++live_; }
  ~ModelObject() override { --live_; }

  automation::Result<automation::Variant> Invoke(std::string_view name, automation::CallKind kind,
                                                 std::span<automation::Variant> args) override {
    // No reference of its own for the call: as with a COM object, it is the
    // caller's reference that keeps the object alive while its member runs.
    if (onCall) {
      if (auto failure = onCall(name)) return *failure;
    }
    auto member = members_.find(automation::LowerCase(name));
    if (member == members_.end() || !Answers(name)) return automation::errors::MemberNotFound(name);
    return member->second(kind, args);
  }

  // Whether the object has a member of that name (IDispatch's GetIDsOfNames
  // answers DISP_E_UNKNOWNNAME otherwise).
  virtual bool Answers(std::string_view name) const { return members_.contains(automation::LowerCase(name)); }

  // The interface the object answers as, named as in the IDE's type library
  // ("_DTE", "Project"; empty for objects of the testbed's own).
  std::string_view InterfaceName() const { return interface_; }

  // Model objects alive in this process.
  static int Live() { return live_; }

  // Called on entry to every member of every model object (advising and
  // unadvising included), with the member's name: a test sees each call the
  // add-in makes into the IDE, may make it fail by returning an error, or may
  // do anything meanwhile (as a nested message loop would).
  static inline std::function<std::optional<automation::Error>(std::string_view member)> onCall;

 protected:
  explicit ModelObject(std::string_view interfaceName) : ModelObject() { interface_ = interfaceName; }
  void Define(const std::string& name, Member member) { members_[automation::LowerCase(name)] = std::move(member); }

  // A read-only property answered by a function.
  template <class F>
  void Property(const std::string& name, F get) {
    Define(name, [get](automation::CallKind kind, std::span<automation::Variant>) -> automation::Result<automation::Variant> {
      if (kind == automation::CallKind::PropertyPut || kind == automation::CallKind::PropertyPutRef)
        return automation::errors::InvalidArgument();
      return automation::Variant(get());
    });
  }

 private:
  std::map<std::string, Member> members_;
  std::string_view interface_;
  static inline int live_ = 0;
};

// An event source: sinks advised on one dispinterface, fired in order.
class EventSourceObject : public ModelObject {
 public:
  explicit EventSourceObject(automation::InterfaceId events) : events_(events) {}

  automation::Result<std::uint32_t> Advise(const automation::InterfaceId& events,
                                           const automation::Ref<automation::EventSink>& sink) override {
    if (onCall) {
      if (auto failure = onCall("Advise")) return *failure;
    }
    if (events.guid != events_.guid) return automation::Error{-2147220991, "No such connection point"};
    sinks_[++lastCookie_] = sink;
    return lastCookie_;
  }
  automation::Status Unadvise(const automation::InterfaceId& events, std::uint32_t cookie) override {
    if (onCall) {
      if (auto failure = onCall("Unadvise")) return *failure;
    }
    if (events.guid != events_.guid || sinks_.erase(cookie) == 0)
      return automation::Error{-2147220992, "Not connected"};
    return automation::Status::Ok();
  }

  // Calls every sink advised now; a sink may unadvise any of them meanwhile.
  void Fire(std::int32_t dispid, std::vector<automation::Variant> args = {}) {
    auto sinks = sinks_;
    for (auto& [cookie, sink] : sinks)
      if (sinks_.contains(cookie)) (void)sink->OnEvent(dispid, args);
  }
  std::size_t Advised() const { return sinks_.size(); }
  const automation::InterfaceId& Events() const { return events_; }

 private:
  automation::InterfaceId events_;
  std::map<std::uint32_t, automation::Ref<automation::EventSink>> sinks_;
  std::uint32_t lastCookie_ = 0;
};

}  // namespace zandrel::testbed
