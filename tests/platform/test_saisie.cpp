// Integers typed in the dialogs' fields.
#include "platform/Saisie.h"

#include <gtest/gtest.h>

namespace {

TEST(Saisie, EntiersAcceptesEtRefuses) {
    struct Cas {
        const char* texte;
        bool valide;
        int32_t valeur;
    } cas[] = {
        {"44100", true, 44100},
        {" 150 ", true, 150},
        {"-7", true, -7},
        {"+12", true, 12},
        {"$5622", true, 22050},
        {"0x5622", true, 22050},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"", false, 0},
        {"  ", false, 0},
        {"44k", false, 0},
        {"44100,5", false, 0},
        {"1e3", false, 0},
        {"--1", false, 0},
        {"+-1", false, 0},
        {"0x", false, 0},
        {"$", false, 0},
        {"4 4", false, 0},
        {"0x-1", false, 0},
    };
    for (const Cas& c : cas) {
        int32_t v = 0;
        EXPECT_EQ(platform::LitEntierSaisi(c.texte, v), c.valide) << c.texte;
        if (c.valide) {
            EXPECT_EQ(v, c.valeur) << c.texte;
        }
    }
}

} // namespace
