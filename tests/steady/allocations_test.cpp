// A long IDE session natively: projects added and removed again and again,
// each event queued, worked off by a timer tick and registered with the
// manager. The add-in's allocations per event stay the same from the first
// thousands of events to the last: nothing accumulates. This program counts
// every allocation of the process (its own operator new), so it is a program
// of its own.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "automation/keyed_list.h"
#include "support/addin_fixture.h"

namespace {
std::atomic<long long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace zandrel::addin {
namespace {

class SteadyState : public testing_support::AddinFixture {};

TEST_F(SteadyState, AllocationsPerEventStayTheSame) {
  os.registry.SetDword(kKey, "Debug", 0);  // a user's IDE: nothing logged
  shared::ResetDebugLoggerForTesting();
  auto connect = Connected();
  ide.OpenSolution("C:\\s\\a.sln", {{"A", "C:\\s\\A.vcproj"}, {"B", "C:\\s\\B.vcproj"}});
  Drain();
  auto allocationsOver = [&](int events, int& done) {
    const long long before = g_allocations;
    for (int i = 0; i < events; ++i, ++done) {
      if (done % 2 == 0) ide.AddProject({"Churn", "C:\\s\\Churn.vcproj"});
      else ide.RemoveProject("Churn");
      Drain();
      // What the stand-ins record of every call is theirs, not the add-in's.
      os.registry.calls.clear();
      os.windows.reads.clear();
      ide.asked.clear();
    }
    return g_allocations - before;
  };
  int done = 0;
  (void)allocationsOver(1000, done);  // the first events grow what a session keeps
  const long long early = allocationsOver(2000, done);
  (void)allocationsOver(14000, done);
  const long long late = allocationsOver(2000, done);
  std::printf("        allocations for 2000 events: %lld after 1000 events, %lld after 17000\n", early, late);
  EXPECT_GT(early, 2000);  // every event allocates: the count means something
  EXPECT_LE(std::llabs(late - early), early / 100) << early << " then " << late;
  EXPECT_EQ(manager.Documents().size(), 2u);  // and the session did its work to the end
}

// What the keyed list promises about memory: room reserved for n entries with
// keys of a given length takes them without one allocation, and a key refused
// as a duplicate leaves nothing behind (once the keys' text has grown to hold
// it for the comparison, refusals allocate nothing).
TEST(KeyedListMemory, ReservedRoomAndRefusedKeysAllocateNothing) {
  automation::KeyedList<int> list;
  list.Reserve(100, 8);
  char key[16];
  const long long before = g_allocations;
  for (int i = 0; i < 100; ++i) {
    std::snprintf(key, sizeof key, "key%05d", i);
    ASSERT_TRUE(list.Add(i, key));
  }
  EXPECT_EQ(g_allocations - before, 0);
  auto refusals = [&](int n) {
    const long long start = g_allocations;
    for (int i = 0; i < n; ++i) EXPECT_FALSE(list.Add(0, "KEY00007"));
    return g_allocations - start;
  };
  (void)refusals(1);
  EXPECT_EQ(refusals(500), 0);
}

// A queue of keyed entries taken from the front as fast as it is fed stays
// small: once it has grown to its working size, a hundred thousand more
// entries through it allocate nothing (gaps left at the front are closed up,
// keys' room is reused).
TEST(KeyedListMemory, AQueueTakenFromTheFrontStaysSmall) {
  automation::KeyedList<int> queue;
  char key[24];  // "event" and any int
  auto feed = [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      std::snprintf(key, sizeof key, "event%06d", i);
      ASSERT_TRUE(queue.Add(i, key));
      if (i >= 10) {
        ASSERT_TRUE(queue.Remove(1).ok());
      }
    }
  };
  feed(0, 20000);
  const long long before = g_allocations;
  feed(20000, 120000);
  EXPECT_EQ(g_allocations - before, 0);
  EXPECT_EQ(queue.Count(), 10);
  EXPECT_EQ(*queue.Item(1), 119990);
}

}  // namespace
}  // namespace zandrel::addin
