// Kernels marked TAMBURELLA_CLONES are compiled for several instruction sets and the
// best one is picked when the program is loaded; all clones give the same results, as
// the build forbids contraction and reassociation.
#pragma once

// ThreadSanitizer's runtime is not ready when the loader runs the clone resolvers, and
// clang's support is uneven: those builds get the baseline code only.
#if defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__) && defined(__x86_64__)
#define TAMBURELLA_CLONES __attribute__((target_clones("default", "avx2", "avx512f")))
#else
#define TAMBURELLA_CLONES
#endif
