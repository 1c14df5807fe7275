// The one switch for the vector kernels, and what the processor can run of them.
#pragma once

#include "meshtext/index.h"

// x86-64 kernels need GCC's or Clang's target attributes, so that each is compiled for its own
// instructions while the rest of the library stays portable.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VORLATIC_X86_SIMD 1
#include <immintrin.h>
#endif

// For a function whose callers each compile it with other instructions.
#if defined(__GNUC__) || defined(__clang__)
#define VORLATIC_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define VORLATIC_ALWAYS_INLINE inline
#endif

namespace meshtext {

// The best instructions this processor has, whatever VORLATIC_SIMD asks for: a kernel asked for
// explicitly runs only where this allows it.
Simd processorSimd() noexcept;

}  // namespace meshtext
