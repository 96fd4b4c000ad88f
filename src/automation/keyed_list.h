#pragma once
// The keyed list: an ordered list of values, each with an optional text key.
//
// Positions count from 1. Keys are compared without regard to letter case. Add
// with a key already present adds nothing and answers false (no one asks
// why); Remove of a key that is not present fails and removes nothing. A removed value is let go before
// Remove returns.
//
// A document set is built and emptied again on every project event of a
// solution that may hold thousands of projects, so the list costs little:
// - entries sit in one array in the order they were added; a removed entry
//   stays behind as a gap until there are twice as many gaps as entries, when
//   the array is closed up (an entry is moved half a time a removal, on
//   average, at most); the gaps at the front, left by a list emptied in order,
//   may grow to four times the entries and a thousand more, and vanish
//   without a move when the list is empty;
// - the folded keys sit end to end in one text, so adding allocates nothing
//   once the array, the text and the index have grown; an entry holds its
//   key's offset and length there as an Offset (a key that might not fit is
//   refused);
// - the index is an open-addressing hash table of entry numbers, looked up by
//   key in O(1) on average;
// - a position is found in O(1) while there are no gaps, and otherwise by a
//   walk from the nearest of the front, the back and the last position asked
//   for, so that walking the positions in order costs O(1) a step.

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/error.h"
#include "automation/text.h"

namespace zandrel::automation {

template <class T, class Offset = std::uint32_t>
class KeyedList {
 public:
  KeyedList() = default;
  KeyedList(const KeyedList& other) { *this = other; }
  KeyedList& operator=(const KeyedList& other) {
    if (this == &other) return *this;
    KeyedList copy;
    for (std::size_t e = other.front_; e < other.entries_.size(); ++e) {
      const Entry& entry = other.entries_[e];
      if (!entry.live) continue;
      if (entry.keyed) copy.Add(entry.value, other.KeyOf(entry));  // folds to itself
      else (void)copy.Add(entry.value);
    }
    *this = std::move(copy);
    return *this;
  }
  KeyedList(KeyedList&& other) noexcept { *this = std::move(other); }
  KeyedList& operator=(KeyedList&& other) noexcept {
    if (this == &other) return *this;
    entries_ = std::exchange(other.entries_, {});
    keys_ = std::exchange(other.keys_, {});
    slots_ = std::exchange(other.slots_, {});
    front_ = std::exchange(other.front_, 0);
    gaps_ = std::exchange(other.gaps_, 0);
    live_ = std::exchange(other.live_, 0);
    keyed_ = std::exchange(other.keyed_, 0);
    cursor_ = std::exchange(other.cursor_, kNone);
    cursorPosition_ = std::exchange(other.cursorPosition_, 0);
    return *this;
  }

  std::int32_t Count() const { return static_cast<std::int32_t>(live_); }

  // Room for count more entries with keys of about keyLength bytes, so that
  // adding them grows nothing.
  void Reserve(std::int32_t count, std::size_t keyLength = 0) {
    if (count <= 0) return;
    const auto n = static_cast<std::size_t>(count);
    entries_.reserve(entries_.size() + n);
    keys_.reserve(keys_.size() + n * keyLength);
    std::size_t slots = std::max<std::size_t>(16, slots_.size());
    while (TooFull(keyed_ + n, slots)) slots *= 2;
    if (slots != slots_.size()) Rehash(slots);
  }

  Status Add(T value) {
    entries_.push_back(Entry{std::move(value), 0, 0, 0, true, false});
    ++live_;
    return Status::Ok();
  }

  // Whether the value was added: not when the key is present already, nor when
  // the keys' text might outgrow an Offset (a folded character takes at most
  // three bytes more than it did).
  bool Add(T value, std::string_view key) {
    if (key.size() > (std::numeric_limits<Offset>::max() - keys_.size()) / 4) return false;
    const std::size_t offset = keys_.size();
    AppendLowerCase(keys_, key);
    const std::string_view folded(keys_.data() + offset, keys_.size() - offset);
    const std::uint32_t hash = Hash(folded);
    if (FindSlot(folded, hash) != kNone) {
      keys_.resize(offset);
      return false;
    }
    if (TooFull(keyed_ + 1, slots_.size())) Rehash(std::max<std::size_t>(16, slots_.size() * 2));
    entries_.push_back(
        Entry{std::move(value), static_cast<Offset>(offset), static_cast<Offset>(folded.size()), hash, true, true});
    ++live_;
    ++keyed_;
    Place(entries_.size() - 1, hash);
    return true;
  }

  // Removes everything and keeps the room it took, for the next filling. The
  // values are let go in order, as when the list itself goes.
  void Clear() {
    const std::size_t end = entries_.size();
    live_ = keyed_ = 0;
    std::fill(slots_.begin(), slots_.end(), Slot{});
    for (std::size_t e = front_; e < end; ++e) entries_[e].value = T{};
    Empty();
  }

  Result<T> Item(std::int32_t position) const {
    const std::size_t e = Find(position);
    if (e == kNone) return errors::InvalidArgument();
    return entries_[e].value;
  }

  Result<T> Item(std::string_view key) const {
    const std::size_t slot = Lookup(key);
    if (slot == kNone) return errors::InvalidArgument();
    return entries_[slots_[slot].entry].value;
  }

  bool Contains(std::string_view key) const { return Lookup(key) != kNone; }

  Status Remove(std::int32_t position) {
    const std::size_t e = Find(position);
    if (e == kNone) return errors::InvalidArgument();
    if (entries_[e].keyed) Unplace(SlotOfEntry(e));
    Erase(e);
    return Status::Ok();
  }

  Status Remove(std::string_view key) {
    // Lists are often emptied in the order they were filled: the first entry
    // is tried before the key is hashed.
    if (live_ > 0 && entries_[front_].keyed && IsFoldOf(KeyOf(entries_[front_]), key)) {
      Unplace(SlotOfEntry(front_));
      Erase(front_);
      return Status::Ok();
    }
    const std::size_t slot = Lookup(key);
    if (slot == kNone) return errors::InvalidArgument();
    const std::size_t e = slots_[slot].entry;
    Unplace(slot);
    Erase(e);
    return Status::Ok();
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

  // At most three quarters of the slots in use.
  static bool TooFull(std::size_t keyed, std::size_t slots) { return keyed * 4 > slots * 3; }

  struct Entry {
    T value;
    Offset keyOffset;  // the folded key, in keys_
    Offset keyLength;
    std::uint32_t hash;
    bool live;
    bool keyed;
  };
  struct Slot {
    std::uint32_t entry = kEmpty;
    std::uint32_t hash;  // the entry's (Slot{} has 0, which no one reads while the slot is empty)
  };

  // The hash of a key's folded form: eight bytes a step, each step a multiply
  // and a shift, the whole mixed once more at the end (keys are short paths
  // that differ in a few bytes). With kFold, the text is a key in ASCII that
  // is folded word by word on the way, and nullopt says it is not in ASCII.
  template <bool kFold>
  static std::optional<std::uint32_t> HashWords(std::string_view text) {
    constexpr std::uint64_t kStep = 0xBF58476D1CE4E5B9u;
    std::uint64_t h = 0x9E3779B97F4A7C15u ^ text.size();
    std::size_t i = 0;
    const auto mix = [&h](std::uint64_t word) {
      h = (h ^ word) * kStep;
      h ^= h >> 31;
    };
    for (; i + 8 <= text.size(); i += 8) {
      std::uint64_t word = LoadWord(text.data() + i);
      if constexpr (kFold) {
        if (word & kAsciiHighBits) return std::nullopt;
        word = LowerAsciiWord(word);
      }
      mix(word);
    }
    if (i != text.size()) {
      const std::uint64_t word = TailWord(text, i);
      if constexpr (kFold) {
        if (word & kAsciiHighBits) return std::nullopt;
        mix(LowerAsciiWord(word));
      } else {
        mix(word);
      }
    }
    h ^= h >> 29;
    h *= 0x94D049BB133111EBu;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
  }
  static std::uint32_t Hash(std::string_view folded) { return *HashWords<false>(folded); }

  // The bytes of a text from i on (fewer than eight) as the low bytes of a
  // word, the way a load of eight would have placed them, the rest zero.
  static std::uint64_t TailWord(std::string_view text, std::size_t i) {
    static_assert(std::endian::native == std::endian::little);
    std::uint64_t word = 0;
    for (std::size_t k = i; k < text.size(); ++k) word |= std::uint64_t{static_cast<unsigned char>(text[k])} << (8 * (k - i));
    return word;
  }

  // Whether a folded key is the fold of a key in ASCII (a key that is not in
  // ASCII is never taken for one).
  static bool IsFoldOf(std::string_view folded, std::string_view key) {
    if (folded.size() != key.size()) return false;
    std::size_t i = 0;
    for (; i + 8 <= key.size(); i += 8) {
      const std::uint64_t a = LoadWord(key.data() + i), b = LoadWord(folded.data() + i);
      if ((a & kAsciiHighBits) || LowerAsciiWord(a) != b) return false;
    }
    if (i == key.size()) return true;
    const std::uint64_t a = TailWord(key, i);
    return !(a & kAsciiHighBits) && LowerAsciiWord(a) == TailWord(folded, i);
  }

  std::string_view KeyOf(const Entry& entry) const {
    return std::string_view(keys_.data() + entry.keyOffset, entry.keyLength);
  }

  std::size_t Mask() const { return slots_.size() - 1; }

  // The slot whose entry's folded key the test accepts, or kNone.
  template <class Test>
  std::size_t FindSlot(std::uint32_t hash, Test matches) const {
    if (slots_.empty()) return kNone;
    for (std::size_t s = hash & Mask();; s = (s + 1) & Mask()) {
      const Slot& slot = slots_[s];
      if (slot.entry == kEmpty) return kNone;
      if (slot.hash == hash && matches(KeyOf(entries_[slot.entry]))) return s;
    }
  }
  std::size_t FindSlot(std::string_view folded, std::uint32_t hash) const {
    return FindSlot(hash, [folded](std::string_view key) { return key == folded; });
  }

  // A key in ASCII is looked up as it is; another is folded first, in a buffer
  // of the thread's own (looking up allocates nothing once it has grown).
  std::size_t Lookup(std::string_view key) const {
    if (keyed_ == 0) return kNone;
    if (const auto hash = HashWords<true>(key)) {
      return FindSlot(*hash, [key](std::string_view folded) { return IsFoldOf(folded, key); });
    }
    thread_local std::string scratch;
    LowerCaseInto(scratch, key);
    return FindSlot(scratch, Hash(scratch));
  }

  std::size_t SlotOfEntry(std::size_t e) const {
    for (std::size_t s = entries_[e].hash & Mask();; s = (s + 1) & Mask()) {
      if (slots_[s].entry == e) return s;
    }
  }

  void Place(std::size_t e, std::uint32_t hash) {
    std::size_t s = hash & Mask();
    while (slots_[s].entry != kEmpty) s = (s + 1) & Mask();
    slots_[s] = Slot{static_cast<std::uint32_t>(e), hash};
  }

  // Empties a slot, moving back the entries of the run after it that would
  // otherwise no longer be found (deletion without tombstones).
  void Unplace(std::size_t hole) {
    for (std::size_t s = (hole + 1) & Mask(); slots_[s].entry != kEmpty; s = (s + 1) & Mask()) {
      const std::size_t home = slots_[s].hash & Mask();
      // The entry at s may fill the hole when its home is not in (hole, s].
      const bool stays = hole < s ? (home > hole && home <= s) : (home > hole || home <= s);
      if (stays) continue;
      slots_[hole] = slots_[s];
      hole = s;
    }
    slots_[hole] = Slot{};
    --keyed_;
  }

  void Rehash(std::size_t size) {
    slots_.assign(size, Slot{});
    for (std::size_t e = front_; e < entries_.size(); ++e) {
      if (entries_[e].live && entries_[e].keyed) Place(e, entries_[e].hash);
    }
  }

  // Leaves a gap at entry e (its slot is empty already) and lets its value go
  // once the list is whole again.
  void Erase(std::size_t e) {
    [[maybe_unused]] T value = std::move(entries_[e].value);
    entries_[e].value = T{};
    entries_[e].live = false;
    --live_;
    if (cursor_ != kNone) {
      if (e < cursor_) --cursorPosition_;
      else if (e == cursor_) cursor_ = kNone;
    }
    if (e == front_) {
      // The gaps right after it join the front's.
      for (++front_; front_ < entries_.size() && !entries_[front_].live; ++front_) --gaps_;
    } else {
      ++gaps_;
    }
    while (!entries_.empty() && !entries_.back().live && entries_.size() - 1 > front_) {
      entries_.pop_back();
      --gaps_;
    }
    if (front_ == entries_.size()) Empty();
    else if (gaps_ > 2 * live_ + 16 || front_ > 4 * live_ + 1024) Compact();
  }

  // Everything is gone: the index is empty already.
  void Empty() {
    entries_.clear();
    keys_.clear();
    front_ = gaps_ = 0;
    cursor_ = kNone;
  }

  // Closes the gaps, and the keys' text with them, in place: the room stays.
  // An entry and its key only ever move towards the front.
  void Compact() {
    std::size_t to = 0, keyEnd = 0;
    for (std::size_t e = front_; e < entries_.size(); ++e) {
      Entry& entry = entries_[e];
      if (!entry.live) continue;
      if (entry.keyed) {
        std::memmove(keys_.data() + keyEnd, keys_.data() + entry.keyOffset, entry.keyLength);
        entry.keyOffset = static_cast<Offset>(keyEnd);
        keyEnd += entry.keyLength;
      }
      if (to != e) entries_[to] = std::move(entry);
      ++to;
    }
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(to), entries_.end());
    keys_.resize(keyEnd);
    front_ = gaps_ = 0;
    cursor_ = kNone;
    Rehash(slots_.size());
  }

  // The entry at a position, or kNone.
  std::size_t Find(std::int32_t position) const {
    if (position < 1 || position > Count()) return kNone;
    const auto p = static_cast<std::size_t>(position);
    if (gaps_ == 0) return front_ + p - 1;
    // Walk from the nearest of the front, the back and the last position.
    std::size_t from = 1, e = front_;
    if (cursor_ != kNone && Distance(cursorPosition_, p) < p - 1) from = cursorPosition_, e = cursor_;
    if (live_ - p < Distance(from, p)) from = live_, e = entries_.size() - 1;
    for (; from < p; ++from) do ++e; while (!entries_[e].live);
    for (; from > p; --from) do --e; while (!entries_[e].live);
    cursor_ = e;
    cursorPosition_ = p;
    return e;
  }

  static std::size_t Distance(std::size_t a, std::size_t b) { return a < b ? b - a : a - b; }

  std::vector<Entry> entries_;  // from front_ on; the last one is live
  std::string keys_;            // the folded keys, end to end
  std::vector<Slot> slots_;     // a power of two in size, at most three quarters full
  std::size_t front_ = 0;       // the first live entry; all before it are gaps
  std::size_t gaps_ = 0;        // gaps after front_
  std::size_t live_ = 0;
  std::size_t keyed_ = 0;       // entries in the index
  mutable std::size_t cursor_ = kNone;
  mutable std::size_t cursorPosition_ = 0;
};

}  // namespace zandrel::automation
