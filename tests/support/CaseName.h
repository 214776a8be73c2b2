#pragma once

#include <gtest/gtest.h>
#include <string>

namespace kv::test {

// Names each case of a parameterised test after its `name` field, so a failure says which row.
struct CaseName {
    template <typename Case> std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return info.param.name;
    }
};

} // namespace kv::test
