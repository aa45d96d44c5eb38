// Functions built twice, for AVX2 and for the baseline, with the better one
// picked when the library loads (target_clones on x86-64).
//
// Not under ThreadSanitizer: the function that picks runs while the loader
// relocates the program, before the sanitizer's runtime is set up, and its
// instrumented entry crashes there. The baseline alone serves that build;
// both give the same bytes.
#pragma once

#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define VEX_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VEX_AVX2_CLONES
#endif

// The same with GCC only, for loops whose clones clang does not build.
#if defined(__GNUC__) && !defined(__clang__)
#define VEX_GCC_AVX2_CLONES VEX_AVX2_CLONES
#else
#define VEX_GCC_AVX2_CLONES
#endif
