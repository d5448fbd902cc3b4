// The frame's drawing allocates nothing once the canvas has seen its pens: counted by
// replacing the global operator new of this test program (not under the sanitizers,
// which bring their own).

#include "ScopeExemple.h"
#include "display/CanevasQt.h"
#include "display/Rendu.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAMBURELLA_SANS_COMPTAGE 1
#endif

namespace {
std::atomic<long> allocations{0};
} // namespace

#ifndef TAMBURELLA_SANS_COMPTAGE
void* operator new(std::size_t n) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#endif

namespace {

TEST(Allocations, AucunePendantLaTrame) {
#ifdef TAMBURELLA_SANS_COMPTAGE
    GTEST_SKIP() << "the sanitizers replace operator new";
#endif
    essais::ScopeExemple s;
    display::ImageQt image(441, 300), fenetre(441, 300);
    s.vue.Image = &image;
    s.Stereo();
    s.vue.CurseursVerticaux1 = s.vue.CurseursHorizontaux1 = true;
    s.affichage.TypeSynchro = engine::Declenchement;
    display::Dessiner(s.vue);
    display::Presenter(s.vue, fenetre.Toile());
    const long avant = allocations.load();
    for (int i = 0; i < 5; ++i) {
        display::Dessiner(s.vue);
        display::Presenter(s.vue, fenetre.Toile());
    }
    EXPECT_EQ(allocations.load() - avant, 0);
}

} // namespace
