// What every fuzz target asserts with: a broken invariant aborts, so that libFuzzer keeps
// the input as a crash, whatever NDEBUG says.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace kavuro::fuzz {

[[noreturn]] inline void Broken(const char* invariant, const char* file, int line) {
    std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", invariant, file, line);
    std::abort();
}

}  // namespace kavuro::fuzz

#define FUZZ_CHECK(invariant) \
    ((invariant) ? static_cast<void>(0) : ::kavuro::fuzz::Broken(#invariant, __FILE__, __LINE__))
