#pragma once
// The add-in without COM: the native face that owns a Connect, as the COM class
// does on Windows. It is what native owners hold (tests, fuzz targets,
// benchmarks) and what the add-in hands to the stand-ins as "Me": it counts
// the add-in's references, runs the destruction steps at the last release, and
// answers _Connect's members by name with the COM class's conversions.

#include "addin/connect.h"

namespace zandrel::testing_support {

// A counted reference to the add-in: `->` reaches its logic, Face() is the
// object handed to others.
class AddInRef {
 public:
  AddInRef() = default;
  AddInRef(std::nullptr_t) {}  // NOLINT: implicit, as Ref's
  // A new add-in with its creation steps run.
  static AddInRef Create(addin::OutsideComponents* outside);

  addin::Connect* operator->() const { return connect_; }
  addin::Connect& operator*() const { return *connect_; }
  explicit operator bool() const { return static_cast<bool>(face_); }
  const automation::Ref<automation::Object>& Face() const { return face_; }

 private:
  automation::Ref<automation::Object> face_;
  addin::Connect* connect_ = nullptr;  // alive while face_ is held
};

}  // namespace zandrel::testing_support
