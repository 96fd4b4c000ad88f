#pragma once
// Helpers for calling automation objects by name (Object itself is declared
// in variant.h).

#include <array>
#include <span>
#include <string_view>

#include "automation/error.h"
#include "automation/ref.h"
#include "automation/variant.h"

namespace zandrel::automation {

// Calls on a null reference fail with "Object variable not set". Each call
// holds a reference to its target until it returns.
Result<Variant> Invoke(const Ref<Object>& target, std::string_view name, CallKind kind, std::span<Variant> args);

template <class... Args>
Result<Variant> CallMethod(const Ref<Object>& target, std::string_view name, Args&&... args) {
  std::array<Variant, sizeof...(Args)> a{Variant(std::forward<Args>(args))...};
  return Invoke(target, name, CallKind::Method, a);
}

template <class... Args>
Result<Variant> GetProperty(const Ref<Object>& target, std::string_view name, Args&&... args) {
  std::array<Variant, sizeof...(Args)> a{Variant(std::forward<Args>(args))...};
  return Invoke(target, name, CallKind::PropertyGet, a);
}

Status PutProperty(const Ref<Object>& target, std::string_view name, Variant value);
Status PutPropertyRef(const Ref<Object>& target, std::string_view name, Variant value);

// A property get whose result must be an object (null allowed).
Result<Ref<Object>> GetObjectProperty(const Ref<Object>& target, std::string_view name);

}  // namespace zandrel::automation
