// The calibration and the export picture, through a canvas that records the calls.

#include "CanevasEnregistreur.h"
#include "ScopeExemple.h"
#include "display/Rendu.h"
#include "platform/Locale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using essais::Appel;
using essais::CanevasEnregistreur;
using essais::ScopeExemple;
using namespace display;

TEST(Calibrer, PasUnDeuxCinq) {
    struct Cas {
        bool spectre;
        int32_t fe, largeur, echelle, positionVert;
        double uniteX, etendueX, pasX, etendueY, pasY;
    };
    const Cas cas[] = {
        {false, 44100, 441, 0, 100, 1 / 44100.0, 0.01, 0.002, 200.0061, 50},
        {false, 48000, 1000, 3, 100, 1 / 48000.0, 1 / 6.0, 0.05, 200.0061, 50},
        {false, 8000, 1000, -3, 0, 1 / 8000.0, 0.015625, 0.005, 0.048075, 0.01},
        {true, 44100, 400, 0, 100, 44100 / 2048.0, 8613.28, 2000, 100.0031, 20},
        {true, 44100, 1000, -3, 100, 44100 / 2048.0, 172265.6, 50000, 100.0031, 20},
    };
    for (const Cas& c : cas) {
        ScopeExemple s;
        s.entree.FeCourante = c.fe;
        s.affichage.PleineEchelle = engine::PleineEchellePour(c.positionVert);
        (c.spectre ? s.affichage.EchelleF : s.affichage.EchelleT) = c.echelle;
        s.affichage.SpectreBouton = c.spectre;
        s.vue.LargeurClient = c.largeur;
        Calibrer(s.vue);
        EXPECT_NEAR(s.etat->UniteX, c.uniteX, c.uniteX * 1e-9) << c.largeur;
        EXPECT_NEAR(s.etat->EtendueX, c.etendueX, c.etendueX * 1e-4) << c.largeur;
        EXPECT_NEAR(s.etat->EtendueY, c.etendueY, c.etendueY * 1e-4) << c.largeur;
        EXPECT_DOUBLE_EQ(s.etat->PasX, c.pasX) << c.largeur;
        EXPECT_DOUBLE_EQ(s.etat->PasY, c.pasY) << c.largeur;
    }
}

TEST(PrefixeSI, DeP_AT) {
    const char* attendus[] = {"p", "n", "µ", "m", " ", "k", "M", "G", "T"};
    for (int g = -4; g <= 4; ++g)
        EXPECT_EQ(PrefixeSI(g), attendus[g + 4]) << g;
    EXPECT_EQ(PrefixeSI(-5), "10^-15 ");
    EXPECT_EQ(PrefixeSI(5), "10^15 ");
}

// Export of the example on 2500 × 2000 units (a 150 × 120 mm metafile): L = 175,
// T = 100, PW = 2250, PH = 1700, tick unit 10, line unit 1.
class Export : public ::testing::Test {
protected:
    void SetUp() override { platform::ImposeSeparateurDecimal(','); }
    void TearDown() override { platform::ImposeSeparateurDecimal('\0'); }

    CanevasEnregistreur Dessine(const OptionsExport& options = {}) {
        CanevasEnregistreur c;
        DessinerExport(s.vue, c, 2500, 2000, options);
        return c;
    }
    // Texts drawn with an alignment, in order.
    static std::vector<std::string> Textes(const CanevasEnregistreur& c, AlignementTexte a) {
        std::vector<std::string> r;
        for (const Appel& t : c.De(Appel::Texte))
            if (t.alignement == a) r.push_back(t.texte);
        return r;
    }
    static const Appel* Texte(const CanevasEnregistreur& c, const std::string& texte) {
        for (const Appel& t : c.appels)
            if (t.sorte == Appel::Texte && t.texte == texte) return &t;
        return nullptr;
    }
    // Lines of a pen style, as x0 y0 x1 y1.
    static std::vector<std::vector<int32_t>> Lignes(const CanevasEnregistreur& c,
                                                    StyleStylo style) {
        std::vector<std::vector<int32_t>> r;
        for (const Appel& l : c.De(Appel::Ligne))
            if (l.style == style) r.push_back(l.n);
        return r;
    }
    static bool Contient(const std::vector<std::vector<int32_t>>& lignes,
                         const std::vector<int32_t>& l) {
        return std::find(lignes.begin(), lignes.end(), l) != lignes.end();
    }

    ScopeExemple s;
};

TEST_F(Export, MiseEnPageDecoupeEtCadre) {
    const CanevasEnregistreur c = Dessine();
    ASSERT_EQ(c.De(Appel::Decouper).size(), 1u);
    EXPECT_EQ(c.De(Appel::Decouper)[0].n, (std::vector<int32_t>{175, 100, 2425, 1800}));
    const Appel cadre = c.De(Appel::Rectangle).at(0);
    EXPECT_EQ(cadre.n, (std::vector<int32_t>{175, 100, 2424, 1799}));
    EXPECT_EQ(cadre.epaisseur, 2);
    EXPECT_EQ(cadre.stylo, Noir);
    EXPECT_EQ(cadre.styleBrosse, StyleBrosse::Creux);

    // Everything but the texts inside the clip; the texts after it is removed.
    const int debut = c.Premier(Appel::Decouper), fin = c.Premier(Appel::SansDecoupe);
    ASSERT_LT(debut, fin);
    for (size_t i = 0; i < c.appels.size(); ++i) {
        const Appel& a = c.appels[i];
        if (a.sorte == Appel::Ligne || a.sorte == Appel::Polyligne) {
            EXPECT_GT(static_cast<int>(i), debut);
            EXPECT_LT(static_cast<int>(i), fin);
        }
        if (a.sorte == Appel::Texte) {
            EXPECT_GT(static_cast<int>(i), fin);
        } else {
            EXPECT_EQ(a.stylo, Noir);
        }
    }
}

TEST_F(Export, EtiquettesEtTitresDuSignal) {
    const CanevasEnregistreur c = Dessine();
    EXPECT_EQ(Textes(c, AlignementTexte::Centre),
              (std::vector<std::string>{"-4", "-2", "0", "2", "4"}));
    EXPECT_EQ(Textes(c, AlignementTexte::Droite),
              (std::vector<std::string>{"-10", "-5", "0", "5", "10"}));
    // X labels centred under their major ticks, 3 tick units below the plot.
    const int32_t x[] = {397, 847, 1297, 1747, 2197};
    int i = 0;
    for (const Appel& t : c.De(Appel::Texte)) {
        if (t.alignement == AlignementTexte::Centre) {
            EXPECT_EQ(t.n, (std::vector<int32_t>{x[i++], 1830})) << t.texte;
            EXPECT_EQ(t.police, "Times New Roman");
            EXPECT_EQ(t.taille, 40);
            EXPECT_EQ(t.stylePolice, Normal);
        }
    }
    // Y labels right-aligned left of the plot, the zero on the middle line.
    for (const Appel& t : c.De(Appel::Texte))
        if (t.alignement == AlignementTexte::Droite && t.texte == "0") {
            EXPECT_EQ(t.n, (std::vector<int32_t>{155, 920}));
        }
    EXPECT_EQ(Texte(c, "10")->n, (std::vector<int32_t>{155, 70}));

    struct Titre {
        const char* texte;
        int32_t x, y;
    };
    for (const Titre& t : {Titre{"t (ms)", 2225, 1900}, Titre{"x (×10%)", 0, 0},
                           Titre{"Tamburella v0.88", 500, 0}}) {
        const Appel* a = Texte(c, t.texte);
        ASSERT_NE(a, nullptr) << t.texte;
        EXPECT_EQ(a->n, (std::vector<int32_t>{t.x, t.y})) << t.texte;
        EXPECT_EQ(a->taille, 50);
        EXPECT_EQ(a->stylePolice, Italique);
        EXPECT_EQ(a->alignement, AlignementTexte::GaucheHaut);
    }
    EXPECT_EQ(Texte(c, "Dt=2,27 ms"), nullptr); // no cursor caption without the option
}

TEST_F(Export, Graduations) {
    const CanevasEnregistreur c = Dessine();
    const auto lignes = Lignes(c, StyleStylo::Plein);
    // Major and minor X ticks of index 0, major and minor Y ticks of the zero line.
    EXPECT_TRUE(Contient(lignes, {1297, 1770, 1297, 1799}));
    EXPECT_TRUE(Contient(lignes, {1410, 1790, 1410, 1799}));
    EXPECT_TRUE(Contient(lignes, {176, 950, 205, 950}));
    EXPECT_TRUE(Contient(lignes, {176, 908, 185, 908}));
    for (const Appel& l : c.De(Appel::Ligne))
        EXPECT_EQ(l.epaisseur, 2);
    // No grid without the option: no line spans the plot.
    EXPECT_FALSE(Contient(lignes, {1297, 100, 1297, 1800}));
}

TEST_F(Export, Grille) {
    OptionsExport options;
    options.Grille = true;
    const CanevasEnregistreur c = Dessine(options);
    std::vector<std::vector<int32_t>> grille;
    for (const Appel& l : c.De(Appel::Ligne))
        if (l.epaisseur == 1) grille.push_back(l.n);
    // At the labelled ticks: full height, full width.
    EXPECT_EQ(grille, (std::vector<std::vector<int32_t>>{
                          {397, 100, 397, 1800},
                          {847, 100, 847, 1800},
                          {1297, 100, 1297, 1800},
                          {1747, 100, 1747, 1800},
                          {2197, 100, 2197, 1800},
                          {175, 1800, 2425, 1800},
                          {175, 1375, 2425, 1375},
                          {175, 950, 2425, 950},
                          {175, 525, 2425, 525},
                          {175, 100, 2425, 100},
                      }));
}

TEST_F(Export, Traces) {
    s.Stereo();
    CanevasEnregistreur c = Dessine();
    auto traces = c.De(Appel::Polyligne);
    ASSERT_EQ(traces.size(), 2u);
    // Right channel first and dashed, left solid on top; 4 line units wide.
    EXPECT_EQ(traces[0].style, StyleStylo::Tirets);
    EXPECT_EQ(traces[1].style, StyleStylo::Plein);
    for (const Appel& t : traces) {
        EXPECT_EQ(t.epaisseur, 4);
        ASSERT_EQ(t.n.size(), 2u * 441);
        EXPECT_EQ(t.n[0], 175);
        EXPECT_EQ(t.n[2 * 440], 175 + 2245);
    }
    EXPECT_EQ(traces[0].n[1], 100 + 425);
    EXPECT_EQ(traces[1].n[1], 100 + 850);

    s.etat->MasqueCanaux = 1;
    c = Dessine();
    ASSERT_EQ(c.De(Appel::Polyligne).size(), 1u);
    EXPECT_EQ(c.De(Appel::Polyligne)[0].n[1], 950);

    s.etat->TraceValide = false;
    EXPECT_TRUE(Dessine().De(Appel::Polyligne).empty());
}

TEST_F(Export, CurseursEtLegendes) {
    s.vue.CurseursVerticaux1 = s.vue.CurseursHorizontaux1 = true;
    OptionsExport options;
    options.Curseurs = true;
    options.LabelH = "Dt=2,27 ms";
    options.LabelV = "Dx=20,0 %";
    CanevasEnregistreur c = Dessine(options);
    // p = 2250 / 441 plot units per point; y = (Ycurs + 0.5) / 300 of the plot height.
    EXPECT_EQ(Lignes(c, StyleStylo::Tirets),
              (std::vector<std::vector<int32_t>>{{685, 100, 685, 1800}}));
    EXPECT_EQ(Lignes(c, StyleStylo::Points),
              (std::vector<std::vector<int32_t>>{{1195, 100, 1195, 1800}}));
    EXPECT_EQ(Lignes(c, StyleStylo::TiretPoint),
              (std::vector<std::vector<int32_t>>{{175, 664, 2425, 664}}));
    EXPECT_EQ(Lignes(c, StyleStylo::TiretPointPoint),
              (std::vector<std::vector<int32_t>>{{175, 834, 2425, 834}}));
    for (const Appel& l : c.De(Appel::Ligne))
        if (l.style != StyleStylo::Plein) {
            EXPECT_EQ(l.epaisseur, 1);
        }
    const Appel* legende = Texte(c, "Dt=2,27 ms   Dx=20,0 %");
    ASSERT_NE(legende, nullptr);
    EXPECT_EQ(legende->n, (std::vector<int32_t>{375, 1900}));
    EXPECT_EQ(legende->stylePolice, Italique);

    // Horizontal pair alone: its caption after the three spaces.
    s.vue.CurseursVerticaux1 = false;
    c = Dessine(options);
    EXPECT_TRUE(Lignes(c, StyleStylo::Tirets).empty());
    EXPECT_NE(Texte(c, "   Dx=20,0 %"), nullptr);

    // Spectrum mode: cursor 1 of each pair only.
    s.vue.CurseursVerticaux1 = true;
    s.Spectre(441);
    c = Dessine(options);
    EXPECT_EQ(Lignes(c, StyleStylo::Tirets).size(), 1u);
    EXPECT_EQ(Lignes(c, StyleStylo::TiretPoint).size(), 1u);
    EXPECT_TRUE(Lignes(c, StyleStylo::Points).empty());
    EXPECT_TRUE(Lignes(c, StyleStylo::TiretPointPoint).empty());

    // The option off: neither lines nor caption, whatever is shown on the screen.
    c = Dessine();
    EXPECT_TRUE(Lignes(c, StyleStylo::Tirets).empty());
    EXPECT_EQ(Texte(c, "Dt=2,27 ms   Dx=20,0 %"), nullptr);
}

TEST_F(Export, EtiquettesDuSpectre) {
    s.Spectre(400);
    CanevasEnregistreur c = Dessine();
    EXPECT_EQ(Textes(c, AlignementTexte::Centre),
              (std::vector<std::string>{"0", "2", "4", "6", "8"}));
    EXPECT_EQ(Textes(c, AlignementTexte::Droite),
              (std::vector<std::string>{"0", "2", "4", "6", "8", "10"}));
    EXPECT_NE(Texte(c, "f (kHz)"), nullptr);
    EXPECT_NE(Texte(c, "x (×10%)"), nullptr);
    // Y zero on the bottom edge; X zero on the left edge.
    EXPECT_EQ(Texte(c, "0")->n, (std::vector<int32_t>{175, 1830}));

    // Scrolled by 100 points: the first labelled tick is 4 kHz, at (4000 / 21.53 - 100) · p.
    s.etat->DebutSpectre = 100;
    c = Dessine();
    EXPECT_EQ(Textes(c, AlignementTexte::Centre), (std::vector<std::string>{"4", "6", "8", "10"}));
    EXPECT_EQ(Texte(c, "4")->n, (std::vector<int32_t>{175 + 482, 1830}));
}

TEST_F(Export, PrefixesDesTitres) {
    // EchelleT = -3: 1.25 ms across, steps of 100 µs, labels in hundreds.
    s.affichage.EchelleT = -3;
    Calibrer(s.vue);
    CanevasEnregistreur c = Dessine();
    EXPECT_EQ(Textes(c, AlignementTexte::Centre),
              (std::vector<std::string>{"-600", "-400", "-200", "0", "200", "400", "600"}));
    EXPECT_NE(Texte(c, "t (µs)"), nullptr);

    // A 1-pixel window at 48000 Hz and EchelleT = -3: nanoseconds.
    s.entree.FeCourante = 48000;
    s.vue.LargeurClient = 1;
    s.etat->NbPoints = 1;
    Calibrer(s.vue);
    EXPECT_NE(Texte(Dessine(), "t (ns)"), nullptr);

    // 2153 Hz across a 100-point spectrum: no prefix but the space of the table.
    s.entree.FeCourante = 44100;
    s.Spectre(100);
    EXPECT_NE(Texte(Dessine(), "f ( Hz)"), nullptr);
}

TEST_F(Export, SansPointsNiCalibration) {
    // Before the first frame: nothing to draw, but a sound picture.
    s.etat->NbPoints = 0;
    s.etat->TraceValide = true;
    CanevasEnregistreur c = Dessine();
    EXPECT_TRUE(c.De(Appel::Polyligne).empty());
    EXPECT_EQ(Textes(c, AlignementTexte::Centre).size(), 5u);

    s.etat->EtendueX = s.etat->EtendueY = 0;
    c = Dessine();
    EXPECT_EQ(c.De(Appel::Decouper).size(), 1u);
    EXPECT_LE(c.appels.size(), 20u);
}

} // namespace
