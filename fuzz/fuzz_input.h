#pragma once
// Reads typed values off a fuzzer's input, front to back; past the end every
// read gives zero or empty, so any input decodes to something.

#include <cstdint>
#include <cstring>
#include <string>

#include "automation/variant.h"

namespace zandrel::fuzz {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}

  bool empty() const { return p_ >= end_; }
  std::uint8_t Byte() { return empty() ? 0 : *p_++; }
  template <class T>
  T Raw() {
    T v{};
    const std::size_t n = std::min<std::size_t>(sizeof(T), static_cast<std::size_t>(end_ - p_));
    if (n) std::memcpy(&v, p_, n);
    p_ += n;
    return v;
  }
  // Text of a length given by the next byte (255: the rest of the input).
  std::string Text() {
    const std::size_t want = Byte();
    const std::size_t left = static_cast<std::size_t>(end_ - p_);
    const std::size_t n = want == 255 ? left : std::min(want, left);
    std::string s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }
  std::string Rest() {
    std::string s(reinterpret_cast<const char*>(p_), static_cast<std::size_t>(end_ - p_));
    p_ = end_;
    return s;
  }

  // A variant of any kind; arrays nest up to `depth` levels.
  automation::Variant Value(int depth = 3) {
    switch (Byte() % 12) {
      case 0: return automation::Variant();
      case 1: return automation::Variant(Byte() % 2 == 1);
      case 2: return automation::Variant(Raw<std::int16_t>());
      case 3: return automation::Variant(Raw<std::int32_t>());
      case 4: return automation::Variant(Raw<float>());
      case 5: return automation::Variant(Raw<double>());
      case 6: return automation::Variant(automation::Date{Raw<double>()});
      case 7:
      case 8: return automation::Variant(Text());
      case 9: return automation::Variant(automation::Ref<automation::Object>());
      case 10: return automation::Variant(automation::Unsupported{});
      default: {
        automation::VariantArray array;
        array.lowerBound = Raw<std::int32_t>();
        const int n = depth > 0 ? Byte() % 8 : 0;
        for (int i = 0; i < n; ++i) array.elements.push_back(Value(depth - 1));
        return automation::Variant(std::move(array));
      }
    }
  }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

}  // namespace zandrel::fuzz
