#pragma once
// The continue-on-error rule, made explicit.
//
// An operation that runs under the rule makes one ResumeNext and passes every
// step's outcome through it. A step that failed is recorded as the pending
// error and leaves its outputs unassigned; the operation goes on with its next
// step and decides by testing values or the pending error's number. Nothing is
// thrown and nothing reaches the operation's caller.
//
//   ResumeNext err;
//   std::string name;                       // stays "" when the read fails
//   err.Assign(name, ToText(...));
//   if (err.Condition(SomeTest())) ...      // a failing test counts as true
//   if (err.Number() != 0) ...

#include <cstdint>
#include <string>
#include <utility>

#include "automation/error.h"

namespace zandrel::automation {

class ResumeNext {
 public:
  // A step that yields a value: on success it is assigned to `out`.
  template <class T, class Out>
  bool Assign(Out& out, Result<T> outcome) {
    if (!outcome) {
      Record(outcome.error());
      return false;
    }
    out = std::move(outcome).value();
    return true;
  }

  // A step whose value, if any, is not kept.
  template <class T>
  bool Do(const Result<T>& outcome) {
    if (!outcome) Record(outcome.error());
    return outcome.ok();
  }
  bool Do(const Status& outcome) {
    if (!outcome) Record(outcome.error());
    return outcome.ok();
  }

  // A condition: one whose evaluation fails counts as true, so the steps it
  // guards run.
  bool Condition(const Result<bool>& outcome) {
    if (!outcome) {
      Record(outcome.error());
      return true;
    }
    return *outcome;
  }

  void Record(Error error) { pending_ = std::move(error); }
  void Clear() {
    pending_.number = 0;
    pending_.description.clear();
  }

  std::int32_t Number() const { return pending_.number; }
  const std::string& Description() const { return pending_.description; }
  const Error& Pending() const { return pending_; }

 private:
  Error pending_;
};

}  // namespace zandrel::automation
