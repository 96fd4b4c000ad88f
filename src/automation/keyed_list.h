#pragma once
// The keyed list: an ordered list of values, each with an optional text key.
//
// Positions count from 1. Keys are compared without regard to letter case. Add
// with a key already present fails and adds nothing; Remove of a key that is
// not present fails and removes nothing. Look-up and removal by key cost O(1)
// on average (a document set may hold thousands of entries), and walking the
// positions in order costs O(1) a step: the list remembers the last position
// it was asked for.

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "automation/error.h"
#include "automation/text.h"

namespace zandrel::automation {

template <class T>
class KeyedList {
 public:
  KeyedList() = default;
  KeyedList(const KeyedList& other) { *this = other; }
  KeyedList& operator=(const KeyedList& other) {
    if (this == &other) return *this;
    Reset();
    for (const Entry& e : other.entries_) {
      if (e.key) (void)Add(e.value, *e.key);  // the folded key folds to itself
      else (void)Add(e.value);
    }
    return *this;
  }
  // Moving keeps the list's nodes, so the index's iterators stay valid.
  KeyedList(KeyedList&&) noexcept = default;
  KeyedList& operator=(KeyedList&&) noexcept = default;

  std::int32_t Count() const { return static_cast<std::int32_t>(entries_.size()); }

  Status Add(T value) {
    entries_.push_back(Entry{std::move(value), nullptr});
    return Status::Ok();
  }

  Status Add(T value, const std::string& key) {
    // One look-up: the key's place is taken first and given its entry after.
    auto [slot, added] = index_.try_emplace(LowerCase(key));
    if (!added) return errors::DuplicateKey();
    entries_.push_back(Entry{std::move(value), &slot->first});
    slot->second = std::prev(entries_.end());
    return Status::Ok();
  }

  Result<T> Item(std::int32_t position) const {
    auto it = Find(position);
    if (!it) return errors::InvalidArgument();
    return (*it)->value;
  }

  Result<T> Item(const std::string& key) const {
    auto found = index_.find(Folded(key));
    if (found == index_.end()) return errors::InvalidArgument();
    return found->second->value;
  }

  bool Contains(const std::string& key) const { return index_.contains(Folded(key)); }

  Status Remove(std::int32_t position) {
    auto it = Find(position);
    if (!it) return errors::InvalidArgument();
    Erase(*it);
    return Status::Ok();
  }

  Status Remove(const std::string& key) {
    auto found = index_.find(Folded(key));
    if (found == index_.end()) return errors::InvalidArgument();
    entries_.erase(found->second);
    index_.erase(found);
    cursor_.reset();
    return Status::Ok();
  }

 private:
  struct Entry {
    T value;
    const std::string* key = nullptr;  // the folded key, owned by the index
  };

  // A key folded for a look-up, into a buffer of the thread's own: looking up
  // allocates nothing once the buffer has grown.
  static const std::string& Folded(const std::string& key) {
    thread_local std::string scratch;
    LowerCaseInto(scratch, key);
    return scratch;
  }
  using Iterator = typename std::list<Entry>::iterator;

  std::optional<Iterator> Find(std::int32_t position) const {
    if (position < 1 || position > Count()) return std::nullopt;
    auto& self = const_cast<KeyedList&>(*this);
    // Walk from the nearest of the front, the back and the remembered position.
    std::int32_t from = 1;
    Iterator it = self.entries_.begin();
    if (cursor_ && std::abs(cursorPosition_ - position) < position - 1) {
      from = cursorPosition_;
      it = *cursor_;
    }
    if (Count() - position < std::abs(from - position)) {
      from = Count();
      it = std::prev(self.entries_.end());
    }
    std::advance(it, position - from);
    self.cursor_ = it;
    self.cursorPosition_ = position;
    return it;
  }

  void Erase(Iterator it) {
    if (it->key) index_.erase(index_.find(*it->key));
    entries_.erase(it);
    cursor_.reset();
  }

  void Reset() {
    entries_.clear();
    index_.clear();
    cursor_.reset();
  }

  std::list<Entry> entries_;
  std::unordered_map<std::string, Iterator> index_;
  std::optional<Iterator> cursor_;
  std::int32_t cursorPosition_ = 0;
};

}  // namespace zandrel::automation
