#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The entry points libFuzzer calls.
extern "C" int LLVMFuzzerInitialize (int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size);

/** A broken promise of the code under test: said on stderr, then abort(), which
    libFuzzer reports as a crash and keeps the input for. */
inline void fuzzExpect (bool holds, const char* promise)
{
    if (holds)
        return;

    std::fprintf (stderr, "fuzz: broken: %s\n", promise);
    std::abort();
}
