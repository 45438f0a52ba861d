// Matcher tests run in both engine modes: the JIT, and the interpreter that hosts without
// executable memory fall back to.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace kavuro::test {

// The parameter is whether the JIT is on.
inline const auto kEngineModes = testing::Values(true, false);

inline std::string EngineModeName(const testing::TestParamInfo<bool>& param) {
    return param.param ? "Jit" : "Interpreter";
}

}  // namespace kavuro::test
