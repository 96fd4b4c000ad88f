#pragma once
// Errors of the automation layer: a number and a description, the way an
// automation client sees a failure. A failed COM call becomes an Error whose
// number is its HRESULT as a signed 32-bit value; the layer's own failures use
// the fixed numbers below (docs/errors.md lists them).

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace zandrel::automation {

struct Error {
  std::int32_t number = 0;
  std::string description;

  friend bool operator==(const Error&, const Error&) = default;
};

namespace errors {
inline constexpr std::int32_t kInvalidArgument = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kMemberNotFound = 438;
inline constexpr std::int32_t kObjectNotSet = 91;
inline constexpr std::int32_t kInvalidPropertyValue = 380;
// E_NOINTERFACE and REGDB_E_CLASSNOTREG, as the numbers of failed COM calls.
inline constexpr std::int32_t kNoInterface = -2147467262;
inline constexpr std::int32_t kClassNotRegistered = -2147221164;

Error InvalidArgument();
Error Overflow();
Error SubscriptOutOfRange();
Error TypeMismatch();
Error MemberNotFound(std::string_view member);
Error ObjectNotSet();
Error InvalidPropertyValue();
Error NoInterface();
// What creating an object of a class nobody registered fails with.
Error ClassNotRegistered();
}  // namespace errors

// The outcome of a step that yields a value: the value, or the Error.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

// The outcome of a step that yields nothing.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)) {}  // NOLINT: implicit by design
  static Status Ok() { return {}; }

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return *error_; }

 private:
  std::optional<Error> error_;
};

}  // namespace zandrel::automation
