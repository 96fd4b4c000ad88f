#pragma once
// A COM IDispatch reference seen as an automation::Object: members are called
// by name (GetIDsOfNames, then Invoke), as late binding does. The values it
// converts go through its bridge, when it has one (the program's own objects
// exported and imported), and so do those of the objects it hands out.

#include <oaidl.h>
#include <ocidl.h>

#include "automation/object.h"
#include "win/com_variant.h"
#include "win/owners.h"

namespace zandrel::win {

class DispatchObject : public automation::RefCountedBase, public automation::Object {
 public:
  static automation::Ref<automation::Object> Wrap(IDispatch* dispatch, const ObjectBridge* bridge = nullptr);

  automation::Result<automation::Variant> Invoke(std::string_view name, automation::CallKind kind,
                                                 std::span<automation::Variant> args) override;
  automation::Result<automation::Ref<automation::Object>> As(const automation::InterfaceId& iid) override;
  automation::Result<std::uint32_t> Advise(const automation::InterfaceId& events,
                                           const automation::Ref<automation::EventSink>& sink) override;
  automation::Status Unadvise(const automation::InterfaceId& events, std::uint32_t cookie) override;
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(dispatch_.Get()); }

  IDispatch* dispatch() const { return dispatch_.Get(); }

 private:
  DispatchObject(IDispatch* dispatch, const ObjectBridge* bridge) : dispatch_(dispatch), bridge_(bridge) {}
  automation::Result<ComPtr<IConnectionPoint>> PointOf(const automation::InterfaceId& events, IID* iid);
  ComPtr<IDispatch> dispatch_;
  const ObjectBridge* bridge_;  // static, or null
};

}  // namespace zandrel::win
