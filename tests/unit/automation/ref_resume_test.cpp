#include <gtest/gtest.h>

#include "automation/object.h"
#include "automation/ref.h"
#include "automation/resume_next.h"

namespace zandrel::automation {
namespace {

// Counts live instances, so a test can see every reference come back.
class Counted : public RefCountedBase, public Object {
 public:
  Counted() { ++live; }
  ~Counted() override { --live; }
  Result<Variant> Invoke(std::string_view name, CallKind, std::span<Variant>) override {
    if (name == "Fail") return Error{-2147467259, "Unspecified error"};
    return Variant(std::string(name));
  }
  static inline int live = 0;
};

std::uint32_t RefCountOf(RefCounted* o) {
  o->Retain();
  return o->Drop();
}

TEST(Ref, CountsAndReleasesWhenOverwrittenOrCleared) {
  {
    Ref<Object> a = MakeRef<Counted>();
    EXPECT_EQ(Counted::live, 1);
    EXPECT_EQ(RefCountOf(a.get()), 1u);
    Ref<Object> b = a;
    EXPECT_EQ(RefCountOf(a.get()), 2u);
    EXPECT_EQ(a, b);
    EXPECT_NE(a.Address(), 0);
    b = MakeRef<Counted>();  // overwriting drops the old reference
    EXPECT_EQ(Counted::live, 2);
    EXPECT_EQ(RefCountOf(a.get()), 1u);
    b = nullptr;
    EXPECT_EQ(Counted::live, 1);
    EXPECT_EQ(b.Address(), 0);
  }
  EXPECT_EQ(Counted::live, 0);
}

TEST(ResumeNext, AFailedStepLeavesItsOutputAndRecordsTheError) {
  Ref<Object> o = MakeRef<Counted>();
  ResumeNext err;
  std::string name = "before";
  EXPECT_FALSE(err.Assign(name, ToText(Variant(VariantArray{}))));
  EXPECT_EQ(name, "before");
  EXPECT_EQ(err.Number(), errors::kTypeMismatch);

  Variant v;
  EXPECT_FALSE(err.Assign(v, GetProperty(o, "Fail")));
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_EQ(err.Number(), -2147467259);
  EXPECT_EQ(err.Description(), "Unspecified error");

  // A later success does not clear the pending error; Clear does.
  EXPECT_TRUE(err.Assign(v, GetProperty(o, "Name")));
  EXPECT_EQ(v.AsString(), "Name");
  EXPECT_EQ(err.Number(), -2147467259);
  err.Clear();
  EXPECT_EQ(err.Number(), 0);
  EXPECT_EQ(err.Description(), "");
}

TEST(ResumeNext, AConditionThatFailsCountsAsTrue) {
  ResumeNext err;
  EXPECT_TRUE(err.Condition(Result<bool>(Error{13, "Type mismatch"})));
  EXPECT_EQ(err.Number(), 13);
  EXPECT_FALSE(err.Condition(false));
  EXPECT_TRUE(err.Condition(true));
}

TEST(ResumeNext, CallsOnNothingFailWithObjectNotSet) {
  ResumeNext err;
  Ref<Object> nothing;
  EXPECT_FALSE(err.Do(CallMethod(nothing, "Anything", 1, "two")));
  EXPECT_EQ(err.Number(), errors::kObjectNotSet);
}

}  // namespace
}  // namespace zandrel::automation
