#include "automation/keyed_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zandrel::automation {
namespace {

std::vector<std::string> Items(const KeyedList<std::string>& list) {
  std::vector<std::string> out;
  for (std::int32_t i = 1; i <= list.Count(); ++i) out.push_back(*list.Item(i));
  return out;
}

TEST(KeyedList, PositionsCountFromOneInInsertionOrder) {
  KeyedList<std::string> list;
  ASSERT_TRUE(list.Add("a").ok());
  ASSERT_TRUE(list.Add("b", "K").ok());
  ASSERT_TRUE(list.Add("c").ok());
  EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(list.Item(0).error().number, errors::kInvalidArgument);
  EXPECT_EQ(list.Item(4).error().number, errors::kInvalidArgument);
}

TEST(KeyedList, KeysIgnoreLetterCase) {
  KeyedList<std::string> list;
  ASSERT_TRUE(list.Add("first", "C:\\Work\\App.vcproj").ok());
  EXPECT_EQ(*list.Item("c:\\work\\APP.VCPROJ"), "first");
  EXPECT_TRUE(list.Contains("C:\\WORK\\app.vcproj"));
  EXPECT_FALSE(list.Item("C:\\Work\\Other.vcproj").ok());
}

TEST(KeyedList, AddOfAPresentKeyFailsAndAddsNothing) {
  KeyedList<std::string> list;
  ASSERT_TRUE(list.Add("first", "Doc").ok());
  Status s = list.Add("second", "DOC");
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error().number, errors::kDuplicateKey);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(*list.Item("doc"), "first");
}

TEST(KeyedList, RemoveOfAMissingKeyFailsAndRemovesNothing) {
  KeyedList<std::string> list;
  ASSERT_TRUE(list.Add("a", "A").ok());
  Status s = list.Remove("B");
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error().number, errors::kInvalidArgument);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_FALSE(list.Remove(2).ok());
}

TEST(KeyedList, RemoveKeepsOrderAndFreesTheKey) {
  KeyedList<std::string> list;
  for (const char* k : {"p1", "p2", "p3", "p4"}) ASSERT_TRUE(list.Add(k, k).ok());
  ASSERT_TRUE(list.Remove("P2").ok());
  ASSERT_TRUE(list.Remove(1).ok());  // p1
  EXPECT_EQ(Items(list), (std::vector<std::string>{"p3", "p4"}));
  ASSERT_TRUE(list.Add("again", "p2").ok());
  EXPECT_EQ(Items(list), (std::vector<std::string>{"p3", "p4", "again"}));
}

TEST(KeyedList, NonAsciiKeysFoldToo) {
  KeyedList<std::string> list;
  ASSERT_TRUE(list.Add("x", "C:\\\xC3\x84RGER\\\xD0\x9F.vcproj").ok());  // ÄRGER, Cyrillic Pe
  EXPECT_TRUE(list.Contains("c:\\\xC3\xA4rger\\\xD0\xBF.VCPROJ"));
}

TEST(KeyedList, WalksAndRandomAccessAgreeOnALargeList) {
  KeyedList<std::string> list;
  constexpr int kCount = 10000;
  for (int i = 0; i < kCount; ++i) ASSERT_TRUE(list.Add(std::to_string(i), "key" + std::to_string(i)).ok());
  for (int i = 0; i < kCount; i += 2) ASSERT_TRUE(list.Remove("KEY" + std::to_string(i)).ok());
  ASSERT_EQ(list.Count(), kCount / 2);
  // Forwards, backwards and jumping about all see the same entries.
  for (std::int32_t p = 1; p <= list.Count(); ++p) ASSERT_EQ(*list.Item(p), std::to_string(2 * p - 1));
  for (std::int32_t p = list.Count(); p >= 1; --p) ASSERT_EQ(*list.Item(p), std::to_string(2 * p - 1));
  for (std::int32_t p : {4000, 3, 4999, 2500, 1, 5000}) EXPECT_EQ(*list.Item(p), std::to_string(2 * p - 1));
}

TEST(KeyedList, CopiesAreIndependent) {
  KeyedList<std::string> a;
  ASSERT_TRUE(a.Add("v", "k").ok());
  KeyedList<std::string> b(a);
  ASSERT_TRUE(b.Remove("k").ok());
  EXPECT_EQ(a.Count(), 1);
  EXPECT_EQ(b.Count(), 0);
}

}  // namespace
}  // namespace zandrel::automation
