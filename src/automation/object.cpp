#include "automation/object.h"

namespace zandrel::automation {

Result<Ref<Object>> Object::As(const InterfaceId&) { return errors::NoInterface(); }
Result<std::uint32_t> Object::Advise(const InterfaceId&, const Ref<EventSink>&) { return errors::NoInterface(); }
Status Object::Unadvise(const InterfaceId&, std::uint32_t) { return errors::NoInterface(); }

Result<Variant> Invoke(const Ref<Object>& target, std::string_view name, CallKind kind, std::span<Variant> args) {
  // The call holds its own reference: `target` is often a field that a nested
  // message loop may clear while the call is in progress.
  Ref<Object> held = target;
  if (!held) return errors::ObjectNotSet();
  return held->Invoke(name, kind, args);
}

Status PutProperty(const Ref<Object>& target, std::string_view name, Variant value) {
  auto r = Invoke(target, name, CallKind::PropertyPut, std::span<Variant>(&value, 1));
  if (!r) return r.error();
  return Status::Ok();
}

Status PutPropertyRef(const Ref<Object>& target, std::string_view name, Variant value) {
  auto r = Invoke(target, name, CallKind::PropertyPutRef, std::span<Variant>(&value, 1));
  if (!r) return r.error();
  return Status::Ok();
}

Result<Ref<Object>> GetObjectProperty(const Ref<Object>& target, std::string_view name) {
  auto r = Invoke(target, name, CallKind::PropertyGet, {});
  if (!r) return r.error();
  return ToObject(*r);
}

}  // namespace zandrel::automation
