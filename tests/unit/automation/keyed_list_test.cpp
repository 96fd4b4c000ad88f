#include "automation/keyed_list.h"
#include "automation/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace zandrel::automation {
namespace {

// Keys of nine to sixteen bytes (a word and a tail) that differ only in their
// first or ninth byte are different keys, at the front of the list too; the
// same key in other letter case is the same.
TEST(KeyedList, KeysDifferingInTheFirstByteOrTheFirstAfterAWordStayApart) {
  for (const std::string key : {"C:\\s\\P1.v", "C:\\s\\P1.vcp", "C:\\s\\P1.vcproj", "C:\\s\\P1.vcproj.x"}) {
    KeyedList<int> list;
    ASSERT_TRUE(list.Add(1, key));
    std::string other = key;
    other[key.size() % 2 ? 0 : 8] = 'X';  // the first byte of the odd-sized, the ninth of the others
    EXPECT_FALSE(list.Remove(other).ok()) << key;
    EXPECT_FALSE(list.Contains(other)) << key;
    EXPECT_EQ(list.Count(), 1) << key;
    EXPECT_TRUE(list.Remove(LowerCase(key)).ok()) << key;
  }
}

TEST(KeyedList, NonAsciiKeysFoldToo) {
  KeyedList<std::string> list;
  ASSERT_TRUE(list.Add("x", "C:\\\xC3\x84RGER\\\xD0\x9F.vcproj"));  // ÄRGER, Cyrillic Pe
  EXPECT_TRUE(list.Contains("c:\\\xC3\xA4rger\\\xD0\xBF.VCPROJ"));
}

TEST(KeyedList, WalksAndRandomAccessAgreeOnALargeList) {
  KeyedList<std::string> list;
  constexpr int kCount = 10000;
  for (int i = 0; i < kCount; ++i) ASSERT_TRUE(list.Add(std::to_string(i), "key" + std::to_string(i)));
  for (int i = 0; i < kCount; i += 2) ASSERT_TRUE(list.Remove("KEY" + std::to_string(i)).ok());
  ASSERT_EQ(list.Count(), kCount / 2);
  // Forwards, backwards and jumping about all see the same entries.
  for (std::int32_t p = 1; p <= list.Count(); ++p) ASSERT_EQ(*list.Item(p), std::to_string(2 * p - 1));
  for (std::int32_t p = list.Count(); p >= 1; --p) ASSERT_EQ(*list.Item(p), std::to_string(2 * p - 1));
  for (std::int32_t p : {4000, 3, 4999, 2500, 1, 5000}) EXPECT_EQ(*list.Item(p), std::to_string(2 * p - 1));
}

TEST(KeyedList, CopiesAreIndependent) {
  KeyedList<std::string> a;
  ASSERT_TRUE(a.Add("v", "k"));
  KeyedList<std::string> b(a);
  ASSERT_TRUE(b.Remove("k").ok());
  EXPECT_EQ(a.Count(), 1);
  EXPECT_EQ(b.Count(), 0);
}

// Every operation, at random, against a plain list of (key, value) pairs: the
// gaps, the closing-up, the index and the remembered position must never show.
TEST(KeyedList, AgreesWithAPlainListUnderRandomOperations) {
  std::mt19937 random(20261206);
  for (int round = 0; round < 40; ++round) {
    KeyedList<std::shared_ptr<int>> list;
    std::vector<std::pair<std::string, std::shared_ptr<int>>> model;  // "" for no key
    const int keys = round % 2 ? 8 : 400;  // few keys: many duplicates
    for (int step = 0; step < 3000; ++step) {
      const int op = static_cast<int>(random() % 10);
      // Keys of every length around a word's eight bytes, some outside ASCII,
      // asked for in any mix of cases; the model keeps them folded.
      const auto n = static_cast<int>(random() % keys);
      static const char* const kTails[] = {"", ".H", "\\Src\\P.vcproj", "\xC3\x89t\xC3\xA9", "\\Caf\xC3\xA9.VCPROJ"};
      const std::string upper = "K" + std::to_string(n) + kTails[n % 5];
      std::string asked = upper;
      for (char& c : asked) {
        if (c >= 'A' && c <= 'Z' && random() % 2) c = static_cast<char>(c + 32);
      }
      const std::string folded = LowerCase(upper);
      const auto count = static_cast<std::int32_t>(model.size());
      if (op < 3) {
        auto value = std::make_shared<int>(step);
        const bool present = std::any_of(model.begin(), model.end(), [&](auto& m) { return m.first == folded; });
        ASSERT_EQ(list.Add(value, asked), !present) << "and nothing is added";
        if (!present) model.emplace_back(folded, value);
      } else if (op < 4) {
        auto value = std::make_shared<int>(step);
        ASSERT_TRUE(list.Add(value).ok());
        model.emplace_back("", value);
      } else if (op < 6 && count > 0) {
        // From the front (as a queue), the back, or anywhere.
        const std::int32_t p = op == 4 ? 1 : static_cast<std::int32_t>(random() % count) + 1;
        std::weak_ptr<int> gone = model[p - 1].second;
        model.erase(model.begin() + (p - 1));
        ASSERT_TRUE(list.Remove(p).ok());
        ASSERT_TRUE(gone.expired()) << "a removed value is let go";
      } else if (op < 8) {
        auto found = std::find_if(model.begin(), model.end(), [&](auto& m) { return m.first == folded; });
        const Status removed = list.Remove(asked);
        ASSERT_EQ(removed.ok(), found != model.end());
        if (found != model.end()) model.erase(found);
        else ASSERT_EQ(removed.error().number, errors::kInvalidArgument) << "and nothing is removed";
      } else if (count > 0) {
        const auto p = static_cast<std::int32_t>(random() % count) + 1;
        ASSERT_EQ(*list.Item(p), model[p - 1].second);
        auto found = std::find_if(model.begin(), model.end(), [&](auto& m) { return m.first == folded; });
        ASSERT_EQ(list.Contains(asked), found != model.end());
        if (found != model.end()) ASSERT_EQ(*list.Item(asked), found->second);
        else ASSERT_FALSE(list.Item(asked).ok());
      }
      ASSERT_EQ(list.Count(), static_cast<std::int32_t>(model.size()));
      if (step % 500 == 0) {
        for (std::int32_t p = 1; p <= list.Count(); ++p) ASSERT_EQ(*list.Item(p), model[p - 1].second);
        for (std::int32_t p = list.Count(); p >= 1; --p) ASSERT_EQ(*list.Item(p), model[p - 1].second);
        // A copy and a move see the same; the moved-from list is empty.
        KeyedList<std::shared_ptr<int>> copy(list);
        KeyedList<std::shared_ptr<int>> moved(std::move(copy));
        ASSERT_EQ(copy.Count(), 0);
        ASSERT_EQ(moved.Count(), list.Count());
        for (std::int32_t p = 1; p <= moved.Count(); ++p) ASSERT_EQ(*moved.Item(p), model[p - 1].second);
        for (const auto& [k, v] : model) {
          if (!k.empty()) {
            ASSERT_EQ(*moved.Item(k), v);
          }
        }
      }
    }
    for (std::int32_t p = 1; p <= list.Count(); ++p) ASSERT_EQ(*list.Item(p), model[p - 1].second);
    EXPECT_EQ(list.Item(0).error().number, errors::kInvalidArgument);
    EXPECT_EQ(list.Item(list.Count() + 1).error().number, errors::kInvalidArgument);
    EXPECT_FALSE(list.Remove(list.Count() + 1).ok());
  }
}

// Enough keys that some of them share a 32-bit hash: each is still its own,
// and a hint of room (any count, any key length) changes nothing.
TEST(KeyedList, DistinctKeysStayDistinctWhateverTheirHashes) {
  KeyedList<std::string> list;
  list.Reserve(-1, 10);
  list.Reserve(0);
  list.Reserve(300000, 12);
  for (int i = 0; i < 300000; ++i) ASSERT_TRUE(list.Add(std::to_string(i), "Key" + std::to_string(i))) << i;
  ASSERT_EQ(list.Count(), 300000);
  for (int i = 0; i < 300000; ++i) ASSERT_EQ(*list.Item("KEY" + std::to_string(i)), std::to_string(i)) << i;
}

// With 16-bit offsets the keys' text holds 65535 bytes, and a key is taken
// only when it fits even if each of its bytes grew fourfold when folded.
TEST(KeyedList, AKeyThatMightOutgrowTheOffsetsIsRefused) {
  KeyedList<int, std::uint16_t> list;
  EXPECT_FALSE(list.Add(1, std::string(16384, 'a')));
  EXPECT_TRUE(list.Add(1, std::string(16383, 'a')));
  EXPECT_FALSE(list.Add(2, std::string(12289, 'b')));
  EXPECT_TRUE(list.Add(2, std::string(12288, 'b')));
  EXPECT_EQ(*list.Item(2), 2);
}

// Most entries removed from the middle: the list closes the gaps (it compacts
// itself) and every entry left keeps its position, key and value; keys that
// differ in one bit of one byte stay apart.
TEST(KeyedList, ManyRemovalsFromTheMiddleKeepEveryOtherEntry) {
  KeyedList<int> list;
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(list.Add(i, "k" + std::to_string(i)));
  for (int i = 0; i < 900; ++i) ASSERT_TRUE(list.Remove(2).ok());
  ASSERT_EQ(list.Count(), 100);
  EXPECT_EQ(*list.Item(1), 0);
  for (std::int32_t p = 2; p <= 100; ++p) ASSERT_EQ(*list.Item(p), 899 + p) << p;
  EXPECT_EQ(*list.Item("K950"), 950);
  EXPECT_FALSE(list.Contains("k5"));
  ASSERT_TRUE(list.Add(-1, "b"));
  EXPECT_FALSE(list.Contains("c"));
  EXPECT_TRUE(list.Add(-2, "c"));
  // Keys added after the closing-up take the room after the keys kept.
  EXPECT_EQ(*list.Item("k0"), 0);
  for (int i = 901; i < 1000; ++i) ASSERT_EQ(*list.Item("k" + std::to_string(i)), i) << i;
}

// A queue's order and contents hold while gaps pile up at its front (its
// memory: tests/steady).
TEST(KeyedList, AQueueTakenFromTheFrontKeepsItsOrder) {
  KeyedList<int> queue;
  for (int i = 0; i < 100000; ++i) {
    ASSERT_TRUE(queue.Add(i).ok());
    if (i % 3 != 2) continue;
    ASSERT_EQ(*queue.Item(1), i / 3);
    ASSERT_TRUE(queue.Remove(1).ok());
  }
  EXPECT_EQ(queue.Count(), 100000 - 33333);
  EXPECT_EQ(*queue.Item(1), 33333);
  EXPECT_EQ(*queue.Item(queue.Count()), 99999);
}

// Bytes outside ASCII must never go through the eight-bytes-at-once folding of
// ASCII: there a 0xC1 carries into the next byte and would make "@" look like
// the "`" after it.
TEST(KeyedList, BytesOutsideAsciiAreNeverFoldedAsAscii) {
  for (const std::string prefix : {"", "123456", "12345678"}) {
    KeyedList<int> list;
    ASSERT_TRUE(list.Add(1, prefix + "\xC1`"));
    ASSERT_TRUE(list.Add(2, prefix + "\xC1`x"));
    EXPECT_FALSE(list.Contains(prefix + "\xC1@")) << prefix;
    EXPECT_FALSE(list.Remove(prefix + "\xC1@").ok()) << prefix;
    EXPECT_TRUE(list.Add(3, prefix + "\xC1@")) << prefix;
    EXPECT_EQ(*list.Item(prefix + "\xC1`"), 1);
    EXPECT_EQ(*list.Item(prefix + "\xC1@"), 3);
  }
}

}  // namespace
}  // namespace zandrel::automation
