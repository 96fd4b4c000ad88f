#pragma once
// Counted object references with identity.
//
// Every object the add-in holds (the IDE's objects, the integration manager's,
// its own timer form) is reached through a Ref. A Ref counts one reference for
// as long as it holds the object and drops it when it is overwritten, cleared
// or destroyed, which is the only way the add-in releases anything.
//
// The rule of outgoing calls lives here too: every call that leaves the
// object holds its own reference to whatever it needs alive until it returns,
// because a nested message loop may run anything meanwhile, the add-in's
// disconnection and last release included. Its name is Held, in two forms,
// and one constant:
//   - Held(field)->Call(...): the callee, when it is reached through a field;
//   - const auto self = Held(this) (the add-in: Held(Me())): the caller
//     itself, when what it calls may drop the last other reference to it (an
//     event sink, a timer tick);
//   - kReleasing: the count an object takes while its destruction steps run,
//     so that the references they take and drop never reach zero again.
// automation::Invoke and the helpers of object.h hold their target themselves.

#include <atomic>
#include <cstdint>
#include <utility>

namespace zandrel::automation {

class RefCounted {
 public:
  // Both return the count after the change, as COM's AddRef and Release do.
  // (Named apart from COM's, so that one class can be both a COM object and a
  // counted object of this layer with one count: see src/win.)
  virtual std::uint32_t Retain() = 0;
  virtual std::uint32_t Drop() = 0;

  // The object's identity: the address log lines print (as a signed decimal
  // number). An adapter that stands for a foreign object answers with the
  // foreign object's address, so two adapters of one object compare equal.
  virtual std::intptr_t Identity() const { return reinterpret_cast<std::intptr_t>(this); }

 protected:
  virtual ~RefCounted() = default;
};

// The counting itself, for objects the process creates and owns.
class RefCountedBase : public virtual RefCounted {
 public:
  std::uint32_t Retain() override { return ++count_; }
  std::uint32_t Drop() override {
    std::uint32_t left = --count_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  RefCountedBase() = default;
  RefCountedBase(const RefCountedBase&) = delete;
  RefCountedBase& operator=(const RefCountedBase&) = delete;

 private:
  std::atomic<std::uint32_t> count_{0};
};

// The count of an object whose destruction steps are running (see above).
inline constexpr std::uint32_t kReleasing = 1u << 30;

template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(std::nullptr_t) {}  // NOLINT: implicit by design
  explicit Ref(T* p) : p_(p) {
    if (p_) p_->Retain();
  }
  Ref(const Ref& other) : Ref(other.p_) {}
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U>
  Ref(const Ref<U>& other) : Ref(static_cast<T*>(other.get())) {}  // NOLINT: upcast
  ~Ref() { reset(); }

  Ref& operator=(Ref other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  // Takes over a reference the caller already counted.
  static Ref Adopt(T* p) {
    Ref r;
    r.p_ = p;
    return r;
  }

  void reset() {
    if (T* old = std::exchange(p_, nullptr)) old->Drop();
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // The address log lines show: 0 for no object.
  std::intptr_t Address() const { return p_ ? p_->Identity() : 0; }

  friend bool operator==(const Ref& a, const Ref& b) { return a.Address() == b.Address(); }

 private:
  T* p_ = nullptr;
};

// A reference of the caller's own for the length of one call made through a
// field: in `Held(m_RegMgr)->RegisterDoc(...)` the temporary keeps the object
// alive until the call has returned, even when a nested message loop clears
// the field (and with it what may be the object's only other reference)
// while the call is in progress.
template <class T>
Ref<T> Held(const Ref<T>& field) {
  return field;
}

// A reference of its own to the object itself, for the length of a call that
// may release it (see above).
template <class T>
Ref<T> Held(T* self) {
  return Ref<T>(self);
}

template <class T, class... Args>
Ref<T> MakeRef(Args&&... args) {
  return Ref<T>(new T(std::forward<Args>(args)...));
}

}  // namespace zandrel::automation
