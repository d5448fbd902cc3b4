#include "platform/Anneau.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {
namespace {

using Mot = std::atomic<uint64_t>;

uint64_t Charge(const Mot& mot) {
    return mot.load(std::memory_order_relaxed);
}
#if !defined(__SSE2__)
int16_t Voie(uint64_t mot, int k) {
    return static_cast<int16_t>(static_cast<uint16_t>(mot >> (16 * k)));
}
#endif

// Groups of 4 stereo frames (two words) into the left and right arrays. The samples go
// through relaxed 64-bit loads (plain moves) and are de-interleaved in vector registers.
void CopieStereo(const Mot* mots, int32_t groupes, float* gauche, float* droite) {
    for (int32_t g = 0; g < groupes; ++g, mots += 2, gauche += 4, droite += 4) {
        const uint64_t a = Charge(mots[0]);
        const uint64_t b = Charge(mots[1]);
#if defined(__SSE2__)
        const __m128i v = _mm_set_epi64x(static_cast<long long>(b), static_cast<long long>(a));
        const __m128i l = _mm_srai_epi32(_mm_slli_epi32(v, 16), 16);
        const __m128i r = _mm_srai_epi32(v, 16);
        _mm_storeu_ps(gauche, _mm_cvtepi32_ps(l));
        _mm_storeu_ps(droite, _mm_cvtepi32_ps(r));
#else
        gauche[0] = Voie(a, 0), droite[0] = Voie(a, 1), gauche[1] = Voie(a, 2),
        droite[1] = Voie(a, 3);
        gauche[2] = Voie(b, 0), droite[2] = Voie(b, 1), gauche[3] = Voie(b, 2),
        droite[3] = Voie(b, 3);
#endif
    }
}

// Groups of 8 mono samples (two words).
void CopieMono(const Mot* mots, int32_t groupes, float* sortie) {
    for (int32_t g = 0; g < groupes; ++g, mots += 2, sortie += 8) {
        const uint64_t a = Charge(mots[0]);
        const uint64_t b = Charge(mots[1]);
#if defined(__SSE2__)
        const __m128i v = _mm_set_epi64x(static_cast<long long>(b), static_cast<long long>(a));
        const __m128i bas = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
        const __m128i haut = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
        _mm_storeu_ps(sortie, _mm_cvtepi32_ps(bas));
        _mm_storeu_ps(sortie + 4, _mm_cvtepi32_ps(haut));
#else
        for (int k = 0; k < 4; ++k) {
            sortie[k] = Voie(a, k);
            sortie[4 + k] = Voie(b, k);
        }
#endif
    }
}

} // namespace

void AnneauCapture::Ecrire(const int16_t* echantillons, uint32_t nombre) {
    int64_t position = position_.load(std::memory_order_relaxed);
    while (nombre > 0) {
        const uint32_t i = static_cast<uint32_t>(position) & Masque;
        if ((i & 3) == 0 && nombre >= 4) {
            uint64_t mot = 0;
            for (int k = 0; k < 4; ++k)
                mot |= static_cast<uint64_t>(static_cast<uint16_t>(echantillons[k])) << (16 * k);
            EcrireMot(i >> 2, mot);
            echantillons += 4, nombre -= 4, position += 4;
            continue;
        }
        // A word only partly covered: the writer is alone, so a read-modify-write is safe.
        const int k = static_cast<int>(i & 3);
        uint64_t mot = Charge(mots_[i >> 2]);
        mot &= ~(uint64_t{0xFFFF} << (16 * k));
        mot |= static_cast<uint64_t>(static_cast<uint16_t>(*echantillons)) << (16 * k);
        EcrireMot(i >> 2, mot);
        ++echantillons, --nombre, ++position;
    }
    position_.store(position, std::memory_order_release);
}

void AnneauCapture::Recommence() {
    position_.store(0, std::memory_order_release);
}

void AnneauCapture::Efface() {
    for (auto& mot : mots_)
        mot.store(0, std::memory_order_relaxed);
    // Publishes the zeros to readers that acquire the position.
    position_.store(position_.load(std::memory_order_relaxed), std::memory_order_release);
}

void AnneauCapture::CopieTrames(int64_t debut, int32_t n, int canaux, float* sortie) const {
    const bool stereo = canaux == 2;
    float* gauche = sortie;
    float* droite = sortie + n;
    uint32_t i = static_cast<uint32_t>(debut) & Masque;
    int32_t j = 0;
    while (j < n) {
        if ((i & 3) == 0) {
            // Whole groups of two words before the end of the ring.
            const int32_t parGroupe = stereo ? 4 : 8;
            const int32_t groupes =
                std::min<int32_t>((n - j) / parGroupe, static_cast<int32_t>((Taille - i) / 8));
            if (groupes > 0) {
                if (stereo)
                    CopieStereo(&mots_[i >> 2], groupes, gauche + j, droite + j);
                else
                    CopieMono(&mots_[i >> 2], groupes, gauche + j);
                j += groupes * parGroupe;
                i = (i + static_cast<uint32_t>(groupes * 8)) & Masque;
                continue;
            }
        }
        gauche[j] = Echantillon(i);
        if (stereo) droite[j] = Echantillon(i + 1);
        i = (i + static_cast<uint32_t>(canaux)) & Masque;
        ++j;
    }
}

} // namespace platform
