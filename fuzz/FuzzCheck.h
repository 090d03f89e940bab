#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// A broken promise of the code under test: the message goes to standard error and the run
// aborts, so that libFuzzer keeps the input as a crash file.
#define FUZZ_CHECK(condition, what)                                                    \
    do {                                                                               \
        if (!(condition)) iqo_fuzz::Fail(__FILE__, __LINE__, #condition, (what));      \
    } while (false)

namespace iqo_fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* condition, std::string_view what) {
    std::fprintf(stderr, "%s:%d: check failed: %s (%.*s)\n", file, line, condition, static_cast<int>(what.size()),
                 what.data());
    std::abort();
}

}  // namespace iqo_fuzz
