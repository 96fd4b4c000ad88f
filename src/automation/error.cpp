#include "automation/error.h"

namespace zandrel::automation::errors {

Error InvalidArgument() { return {kInvalidArgument, "Invalid procedure call or argument"}; }
Error Overflow() { return {kOverflow, "Overflow"}; }
Error SubscriptOutOfRange() { return {kSubscriptOutOfRange, "Subscript out of range"}; }
Error TypeMismatch() { return {kTypeMismatch, "Type mismatch"}; }
Error MemberNotFound(std::string_view member) {
  return {kMemberNotFound, "Object doesn't support this property or method: " + std::string(member)};
}
Error ObjectNotSet() { return {kObjectNotSet, "Object variable not set"}; }

Error InvalidPropertyValue() { return {kInvalidPropertyValue, "Invalid property value"}; }
Error NoInterface() { return {kNoInterface, "No such interface supported"}; }
Error ClassNotRegistered() { return {kClassNotRegistered, "Class not registered"}; }

}  // namespace zandrel::automation::errors
