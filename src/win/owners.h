#pragma once
// Owners of the Windows resources this layer holds, each freeing its resource
// when it goes out of scope or is reset, in the manner of WIL's unique_any:
//   ComPtr<I>        an interface pointer       (Release; wrl/client.h)
//   UniqueBstr       a BSTR                      (SysFreeString)
//   UniqueVariant    a VARIANT                   (VariantClear)
//   UniqueVariants   a block of VARIANTs, a call's arguments
//   UniqueExcepInfo  an EXCEPINFO's texts        (SysFreeString)
//   UniqueSafeArray  a SAFEARRAY                 (SafeArrayDestroy)
//   UniqueHkey       an open registry key        (RegCloseKey)
// An owner's put() is an out parameter (it frees what it held first); InOut()
// is an [in, out] parameter: the callee gets what the owner holds, may free it
// and leave another, and the owner then holds that one.

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <utility>
#include <vector>

namespace zandrel::win {

using Microsoft::WRL::ComPtr;

// Takes over a reference the caller already counted. mingw-w64's
// ComPtr::Attach adds a reference of its own (unlike the Windows SDK's), so
// the pointer is stored through GetAddressOf instead.
template <class T>
ComPtr<T> Adopt(T* owned) {
  ComPtr<T> ptr;
  *ptr.GetAddressOf() = owned;
  return ptr;
}

// The manager's [in, out] IFoo** arguments.
template <class T>
T** InOut(ComPtr<T>& ptr) {
  return ptr.GetAddressOf();
}

template <class T, class Close>
class UniqueAny {
 public:
  UniqueAny() = default;
  explicit UniqueAny(T value) : value_(value) {}
  ~UniqueAny() { reset(); }
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  T get() const { return value_; }
  T* put() {
    reset();
    return &value_;
  }
  T* InOut() { return &value_; }
  T release() { return std::exchange(value_, T{}); }
  void reset(T value = T{}) {
    if (T old = std::exchange(value_, value)) Close{}(old);
  }
  explicit operator bool() const { return value_ != T{}; }

 private:
  T value_{};
};

struct BstrClose {
  void operator()(BSTR b) const { SysFreeString(b); }
};
struct SafeArrayClose {
  void operator()(SAFEARRAY* a) const { SafeArrayDestroy(a); }
};
struct HkeyClose {
  void operator()(HKEY k) const { RegCloseKey(k); }
};
using UniqueBstr = UniqueAny<BSTR, BstrClose>;
using UniqueSafeArray = UniqueAny<SAFEARRAY*, SafeArrayClose>;
using UniqueHkey = UniqueAny<HKEY, HkeyClose>;

class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&value_); }
  ~UniqueVariant() { VariantClear(&value_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  // Moving hands the value over: the one moved from is empty, so that the
  // value is cleared once, by its new owner.
  UniqueVariant(UniqueVariant&& other) noexcept : value_(other.release()) {}
  UniqueVariant& operator=(UniqueVariant&& other) noexcept {
    if (this != &other) {
      VariantClear(&value_);
      value_ = other.release();
    }
    return *this;
  }

  VARIANT* get() { return &value_; }
  const VARIANT& operator*() const { return value_; }
  VARIANT* put() {
    VariantClear(&value_);
    return &value_;
  }
  // Hands the value over (the caller owns it now); this one is empty after.
  VARIANT release() {
    VARIANT out = value_;
    VariantInit(&value_);
    return out;
  }

 private:
  VARIANT value_;
};

class UniqueVariants {
 public:
  explicit UniqueVariants(std::size_t n) : values_(n) {
    for (VARIANT& v : values_) VariantInit(&v);
  }
  ~UniqueVariants() {
    for (VARIANT& v : values_) VariantClear(&v);
  }
  UniqueVariants(const UniqueVariants&) = delete;
  UniqueVariants& operator=(const UniqueVariants&) = delete;

  VARIANT* data() { return values_.empty() ? nullptr : values_.data(); }
  std::size_t size() const { return values_.size(); }
  VARIANT& operator[](std::size_t i) { return values_[i]; }

 private:
  std::vector<VARIANT> values_;
};

struct UniqueExcepInfo : EXCEPINFO {
  UniqueExcepInfo() : EXCEPINFO{} {}
  ~UniqueExcepInfo() {
    SysFreeString(bstrSource);
    SysFreeString(bstrDescription);
    SysFreeString(bstrHelpFile);
  }
  UniqueExcepInfo(const UniqueExcepInfo&) = delete;
  UniqueExcepInfo& operator=(const UniqueExcepInfo&) = delete;
};

}  // namespace zandrel::win
