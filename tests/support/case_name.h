// Names each case of a table-driven test by its `name` field, so CTest lists it readably.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace kavuro::test {

struct CaseName {
    template <typename Case>
    std::string operator()(const testing::TestParamInfo<Case>& caseInfo) const {
        return caseInfo.param.name;
    }
};

}  // namespace kavuro::test
