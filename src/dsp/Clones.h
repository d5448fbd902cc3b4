// Vector kernels compiled for several instruction sets, the best one picked at run time.
//
// A kernel is written once as an always-inline template on `bool Fma` and wrapped three
// times: baseline x86-64 (or any other processor), x86-64-v3 (AVX2 + FMA) and x86-64-v4
// (AVX-512). All variants give the same results: the build forbids contraction and
// reassociation, and the kernels only fuse a multiply-add where the product is exact
// (a float times a float, held in double), so fusing does not change the rounding.
#pragma once

namespace dsp {

enum class JeuInstructions { Base, V3, V4 };

// The best set this processor runs; Base where the variants are not built.
JeuInstructions JeuDisponible();

// a * b + c, fused where the instruction set has it. Exact products only (see above).
template <bool Fma>
[[gnu::always_inline]] inline double MultiplieAjoute(double a, double b, double c) {
    if constexpr (Fma)
        return __builtin_fma(a, b, c);
    else
        return a * b + c;
}

} // namespace dsp

// Simpler kernels that need no fused multiply-add may instead be marked
// TAMBURELLA_CLONES: GCC then builds and picks the variants itself (ifunc). The loader
// runs those resolvers before ThreadSanitizer's runtime is up, so that build (and clang)
// gets the baseline code only.
#if defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__) && defined(__x86_64__)
#define TAMBURELLA_CLONES __attribute__((target_clones("default", "avx2", "avx512f")))
#else
#define TAMBURELLA_CLONES
#endif

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define TAMBURELLA_VARIANTES 1
#define TAMBURELLA_CIBLE_V3 __attribute__((target("arch=x86-64-v3")))
#define TAMBURELLA_CIBLE_V4 __attribute__((target("arch=x86-64-v4,prefer-vector-width=512")))
#else
#define TAMBURELLA_VARIANTES 0
#define TAMBURELLA_CIBLE_V3
#define TAMBURELLA_CIBLE_V4
#endif

// Defines nom##Base, nom##V3 and nom##V4 around the body Corps<Fma>(arguments), and
// nom(parameters), which calls the best of them. Use inside a namespace, once per kernel:
//   TAMBURELLA_NOYAU(Etage, CorpsEtage, (float* x, int n), (x, n))
#define TAMBURELLA_NOYAU(nom, Corps, parametres, arguments)                                        \
    void nom##Base parametres {                                                                    \
        Corps<false> arguments;                                                                    \
    }                                                                                              \
    TAMBURELLA_CIBLE_V3 void nom##V3 parametres {                                                  \
        Corps<TAMBURELLA_VARIANTES == 1> arguments;                                                \
    }                                                                                              \
    TAMBURELLA_CIBLE_V4 void nom##V4 parametres {                                                  \
        Corps<TAMBURELLA_VARIANTES == 1> arguments;                                                \
    }                                                                                              \
    void nom parametres {                                                                          \
        static const JeuInstructions jeu = JeuDisponible();                                        \
        if (jeu == JeuInstructions::V4) return nom##V4 arguments;                                  \
        if (jeu == JeuInstructions::V3) return nom##V3 arguments;                                  \
        return nom##Base arguments;                                                                \
    }
