// The owners' moves: a value handed from one owner to another is released
// once, by the owner that holds it last, and an owner given another value
// releases the one it held.

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <utility>

#include "com_fakes.h"
#include "win/owners.h"

namespace zandrel::win::test {
namespace {

class Held final : public FakeDispatch<Held, IDispatch> {};

// An owner of a VARIANT holding its own reference to `object`.
UniqueVariant Holding(IDispatch* object) {
  UniqueVariant held;
  V_VT(held.put()) = VT_DISPATCH;
  V_DISPATCH(held.get()) = object;
  object->AddRef();
  return held;
}

TEST(UniqueVariant, AMovedValueIsReleasedOnceByItsLastOwner) {
  ComPtr<IDispatch> moved(new Held), replaced(new Held);
  {
    UniqueVariant first = Holding(moved.Get());
    UniqueVariant second(std::move(first));
    EXPECT_EQ(V_VT(first.get()), VT_EMPTY);  // NOLINT(bugprone-use-after-move): moved from, empty by design
    UniqueVariant third = Holding(replaced.Get());
    third = std::move(second);
    EXPECT_EQ(RefCount(replaced.Get()), 1u) << "the value an owner held before a move into it";
    EXPECT_EQ(V_DISPATCH(third.get()), moved.Get());
    EXPECT_EQ(RefCount(moved.Get()), 2u);
  }
  EXPECT_EQ(RefCount(moved.Get()), 1u) << "released once, by the last of its three owners";
}

}  // namespace
}  // namespace zandrel::win::test
