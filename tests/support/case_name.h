#pragma once
// Names the rows of a parameterised test after their `name` field, so that a
// failure says which case broke.

#include <gtest/gtest.h>

#include <string>

namespace zandrel::testing_support {

struct CaseName {
  template <class Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& row) const {
    return row.param.name;
  }
};

}  // namespace zandrel::testing_support
