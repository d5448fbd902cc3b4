// The synthesis without sound: buffer lengths, clamping with the rewritten texts, the
// shapes' levels, the noise, the errors in their order, the seamless loop, the preview.
#include "SeparateurImpose.h"
#include "generator/Synthese.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>

namespace {

using namespace generator;

struct Banc {
    std::unique_ptr<Synthese> s = std::make_unique<Synthese>();
    std::array<int16_t, CapaciteTampon> tampon{};
    ChampsSignal champs;

    explicit Banc(int32_t fe = 44100, bool sync = false) {
        s->FeGene = fe;
        s->CanalSyncGene = sync ? 1 : 0;
        champs.Niveau = "0.95";
    }
    ResultatSynthese Calcule() { return Synthetise(*s, champs, tampon.data()); }
    int16_t Gauche(int i) const { return tampon[static_cast<size_t>(i * (1 + s->CanalSyncGene))]; }
    int16_t Droite(int i) const { return tampon[static_cast<size_t>(2 * i + 1)]; }
};

struct CasLongueur {
    const char* Frequence;
    bool Sync;
    int32_t NbPeriodes, NbEchantillons;
};

TEST(Synthese, LeTamponTientUnNombreEntierDePeriodes) {
    const CasLongueur cas[] = {
        {"441", false, 81, 8100}, // exactly 441 Hz
        {"441", true, 40, 4000},
        {"1000", false, 185, 8158}, // 1000.06 Hz played
        {"22050", false, 4096, 8192},
    };
    for (const auto& c : cas) {
        Banc b(44100, c.Sync);
        b.champs.Frequence = c.Frequence;
        ASSERT_TRUE(b.Calcule().Reussi) << c.Frequence;
        EXPECT_EQ(b.s->NbPeriodes, c.NbPeriodes) << c.Frequence << " sync " << c.Sync;
        EXPECT_EQ(b.s->NbEchantillons, c.NbEchantillons) << c.Frequence << " sync " << c.Sync;
    }
}

struct CasBorne {
    int32_t Fe;
    bool Sync;
    const char* Frequence; // typed (a comma stands for the separator)
    const char* Niveau;
    const char* FrequenceReecrite; // null: left as typed
    const char* NiveauReecrit;
};

class Bornes : public SeparateurImpose {};
INSTANTIATE_TEST_SUITE_P(Separateurs, Bornes, ::testing::Values(',', '.'));

// Out-of-range values are not errors: they are clamped and the field rewritten.
TEST_P(Bornes, LesValeursHorsLimitesSontBorneesEtReecrites) {
    const CasBorne cas[] = {
        {44100, false, "30000", "0,5", "2,205E+04", nullptr},
        {48000, false, "1E6", "0,5", "2,4E+04", nullptr},
        {44100, false, "1", "1,5", "6", "1"},
        {44100, true, "1", "-0,2", "12", "0"},
        {44100, false, "  441  ", "1", nullptr, nullptr},
        {44100, false, "+6", "0", nullptr, nullptr},
        // Above 49152 Hz one period of 6 Hz no longer fits 8192 frames.
        {96000, false, "6", "0,5", "11,72", nullptr},
        {11025, false, "6000", "0,5", "5513", nullptr},
    };
    for (const auto& c : cas) {
        Banc b(c.Fe, c.Sync);
        b.champs.Frequence = Attendu(c.Frequence);
        b.champs.Niveau = Attendu(c.Niveau);
        const ResultatSynthese r = b.Calcule();
        ASSERT_TRUE(r.Reussi) << c.Frequence;
        EXPECT_EQ(b.champs.Frequence,
                  c.FrequenceReecrite ? Attendu(c.FrequenceReecrite) : Attendu(c.Frequence));
        EXPECT_EQ(b.champs.Niveau, c.NiveauReecrit ? Attendu(c.NiveauReecrit) : Attendu(c.Niveau));
        EXPECT_EQ((r.Reecrits & Bit(Champ::EditFreq)) != 0, c.FrequenceReecrite != nullptr);
        EXPECT_EQ((r.Reecrits & Bit(Champ::EditNiveau)) != 0, c.NiveauReecrit != nullptr);
        EXPECT_GE(b.s->NbPeriodes, 1);
        // The rewritten text reads back as the bound.
        long double relu;
        EXPECT_TRUE(LitNombre(b.champs.Frequence, relu)) << b.champs.Frequence;
    }
}

TEST_P(Bornes, LesNombresSuiventLeSeparateur) {
    long double v = 0;
    EXPECT_TRUE(LitNombre(Attendu("0,95"), v));
    EXPECT_DOUBLE_EQ(static_cast<double>(v), 0.95);
    EXPECT_TRUE(LitNombre("2.5", v)) << "a point is read too";
    EXPECT_DOUBLE_EQ(static_cast<double>(v), 2.5);
    EXPECT_TRUE(LitNombre(Attendu("2,205E+04"), v));
    EXPECT_DOUBLE_EQ(static_cast<double>(v), 22050);
    for (const char* faux :
         {"", " ", "abc", "1,2,3", "1e", "e5", "--1", "1 2", "1e99999", "nan", "inf", ","})
        EXPECT_FALSE(LitNombre(Attendu(faux), v)) << faux;
    EXPECT_EQ(TexteBorne(22050), Attendu("2,205E+04"));
    EXPECT_EQ(TexteBorne(0.1L), Attendu("0,1"));
    EXPECT_EQ(TexteBorne(3600), "3600");
    EXPECT_EQ(TexteBorne(-1), "-1");
}

// "Carre": -L·32767 for the first half of each period, +L·32767 for the second.
TEST(Synthese, LeCarreEstSymetriqueApresRetraitDeLaMoyenne) {
    Banc b;
    b.champs.Predefini = Carre;
    ASSERT_TRUE(b.Calcule().Reussi);
    const int16_t niveau = 31129; // round(0.95 · 32767)
    for (int periode = 0; periode < b.s->NbPeriodes; ++periode)
        for (int j = 0; j < 100; ++j)
            ASSERT_EQ(b.Gauche(100 * periode + j), j < 50 ? -niveau : niveau)
                << "period " << periode << " frame " << j;
}

TEST(Synthese, LeBruitEstLeMemeAChaqueCalcul) {
    for (bool sync : {false, true}) {
        Banc b(44100, sync);
        b.champs.Predefini = BruitBlanc;
        b.champs.Frequence = "441";
        ASSERT_TRUE(b.Calcule().Reussi);
        const int n = CapaciteTrames(b.s->CanalSyncGene);
        EXPECT_EQ(b.s->NbEchantillons, n);
        const auto premier = b.tampon;
        b.champs.Frequence = "1234";
        ASSERT_TRUE(b.Calcule().Reussi);
        EXPECT_EQ(b.tampon, premier) << "the frequency plays no part";
        std::set<int16_t> valeurs;
        for (int i = 0; i < n; ++i)
            valeurs.insert(b.Gauche(i));
        EXPECT_GT(valeurs.size(), 1000u);
        EXPECT_TRUE(*valeurs.rbegin() == 31129 || *valeurs.begin() == -31129)
            << "the peak is the level";
        if (sync) {
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(b.Droite(i), 0) << "the noise's sync channel is silence";
        }
        // Its preview is the first W + 1 normalised frames.
        EXPECT_NEAR(b.s->Apercu[3], b.Gauche(3) / 32767.0, 1e-4);
    }
}

// A channel whose peak is zero, or whose values are not all finite, is silence.
TEST(Synthese, UnCanalSansCreteEstSilencieux) {
    const struct {
        const char *Fonction, *a, *b;
    } cas[] = {{"3", "-pi", "pi"},
               {"racine(x)", "-1", "1"},
               {"ln(x)", "-1", "1"},
               {"1/0", "-1", "1"},
               {"x", "0/0", "1"}};
    for (const auto& c : cas) {
        Banc b(44100, true);
        b.tampon.fill(1234);
        b.champs.Mode = ModeSignal::Utilisateur;
        b.champs.Fonction = c.Fonction;
        b.champs.a = c.a;
        b.champs.b = c.b;
        ASSERT_TRUE(b.Calcule().Reussi) << c.Fonction;
        for (int i = 0; i < b.s->NbEchantillons; ++i)
            ASSERT_EQ(b.Gauche(i), 0) << c.Fonction << " frame " << i;
        for (int j = 0; j <= b.s->LargeurApercu; ++j)
            ASSERT_TRUE(std::isfinite(b.s->Apercu[static_cast<size_t>(j)])) << c.Fonction;
        const DessinApercu d = DessineApercu(*b.s);
        for (int j = 0; j < d.NbPoints; ++j)
            ASSERT_EQ(d.Points[static_cast<size_t>(j)].y, 59) << c.Fonction;
    }
}

struct CasErreur {
    ModeSignal Mode;
    int32_t Predefini;
    const char *Frequence, *Niveau, *Fonction, *a, *b;
    Champ Fautif;
};

// Errors in the order they are detected; nothing but the preview changes.
TEST(Synthese, LesErreursSontSignaleesDansLOrdre) {
    using enum Champ;
    const auto U = ModeSignal::Utilisateur;
    const CasErreur cas[] = {
        {U, 0, "x", "y", "(", "?", "?", EditFreq},
        {U, 0, "441", "y", "(", "?", "?", EditNiveau},
        {U, 0, "441", "0.5", "sin(", "?", "?", EditFonction},
        {U, 0, "441", "0.5", "sin(x)", "-p", "?", Ea},
        {U, 0, "441", "0.5", "sin(x)", "-pi", "x", Eb},
        {U, 0, "441", "0.5", "sin(x)", "2-1", "1", Eb},
        {ModeSignal::Predefini, -1, "441", "0.5", "", "", "", Aucun},
        {ModeSignal::Predefini, 6, "441", "0.5", "", "", "", Aucun},
        {ModeSignal::Aucun, 0, "441", "0.5", "", "", "", Aucun},
    };
    for (const auto& c : cas) {
        Banc b;
        b.champs.Frequence = "1000";
        ASSERT_TRUE(b.Calcule().Reussi);
        const auto avant = b.tampon;
        b.champs = {c.Mode, c.Predefini, c.Frequence, c.Niveau, c.Fonction, c.a, c.b};
        const ResultatSynthese r = b.Calcule();
        EXPECT_FALSE(r.Reussi) << c.Fonction;
        EXPECT_EQ(r.Fautif, c.Fautif) << c.Frequence << " " << c.Fonction << " " << c.a;
        EXPECT_EQ(b.s->NbEchantillons, 8158);
        EXPECT_EQ(b.s->NbPeriodes, 185);
        EXPECT_EQ(b.tampon, avant);
        EXPECT_TRUE(b.s->ApercuErreur);
        EXPECT_TRUE(DessineApercu(*b.s).Erreur);
        EXPECT_EQ(DessineApercu(*b.s).NbPoints, 0);
    }
}

// The buffer ends where a period ends: the step from the last frame to the first is one
// more step of the signal.
TEST(Synthese, LeTamponBoucleSansRaccord) {
    for (const char* frequence : {"1000", "441", "6", "12345.6"}) {
        for (int mode = 0; mode < 2; ++mode) {
            Banc b(44100, mode == 1);
            b.champs.Mode = ModeSignal::Utilisateur;
            b.champs.Frequence = frequence;
            const int n = b.s->CanalSyncGene ? 4096 : 8192;
            ASSERT_TRUE(b.Calcule().Reussi);
            ASSERT_LE(b.s->NbEchantillons, n);
            const int dernier = b.s->NbEchantillons - 1;
            // The formula's value at the frame after the last is its value at a.
            int pasMax = 0;
            for (int i = 0; i < dernier; ++i)
                pasMax = std::max(pasMax, std::abs(b.Gauche(i + 1) - b.Gauche(i)));
            EXPECT_LE(std::abs(b.Gauche(0) - b.Gauche(dernier)), pasMax + 1) << frequence;
            EXPECT_GT(std::abs(b.Gauche(0) - b.Gauche(dernier)), 0) << frequence;
            if (b.s->CanalSyncGene) {
                EXPECT_LT(b.Droite(0), 0) << "the sync square starts low";
                EXPECT_GT(b.Droite(dernier), 0) << "and ends high";
            }
        }
    }
}

// The default formula over [-pi, pi]: one period of the formula per period of the buffer.
TEST(Synthese, LaFormuleParDefautFaitUnePeriodeParDeuxPi) {
    Banc b;
    b.champs.Mode = ModeSignal::Utilisateur;
    ASSERT_TRUE(b.Calcule().Reussi);
    ASSERT_EQ(b.s->NbEchantillons, 8100); // 100 frames a period
    for (int i = 0; i + 100 < 8100; ++i)
        ASSERT_NEAR(b.Gauche(i), b.Gauche(i + 100), 1) << i;
    // Frame 25 is x = -pi/2.
    const long double x = -3.14159265358979323846L + 25 * 0.0628318530717958647692L;
    const double attendu = std::sin(static_cast<double>(5 * x + 2 * std::sin(x)));
    int16_t crete = 0;
    for (int i = 0; i < 100; ++i)
        crete = std::max<int16_t>(crete, static_cast<int16_t>(std::abs(b.Gauche(i))));
    EXPECT_EQ(crete, 31129);
    EXPECT_NEAR(b.Gauche(25) / 31129.0, attendu, 0.02);
}

TEST(Synthese, LeDiracFaitUneImpulsionParPeriode) {
    Banc b;
    b.champs.Predefini = Dirac;
    ASSERT_TRUE(b.Calcule().Reussi);
    int impulsions = 0;
    for (int i = 0; i < b.s->NbEchantillons; ++i) {
        if (b.Gauche(i) > 0) {
            ++impulsions;
            EXPECT_EQ(i % 100, 0) << i;
            EXPECT_EQ(b.Gauche(i), 31129);
        } else {
            EXPECT_EQ(b.Gauche(i), -314) << i; // the mean 0.01 removed, then scaled by 0.99
        }
    }
    EXPECT_EQ(impulsions, 81);
    for (int j = 0; j <= b.s->LargeurApercu; ++j)
        EXPECT_FLOAT_EQ(b.s->Apercu[static_cast<size_t>(j)],
                        j == b.s->LargeurApercu / 2 ? 0.95f : 0.0f);
}

TEST(Synthese, LApercuMontreUnePeriodeEtLeDebutDeLaSuivante) {
    Banc b;
    b.champs.Predefini = Sinusoidal;
    b.champs.Niveau = "1";
    ASSERT_TRUE(b.Calcule().Reussi);
    const DessinApercu d = DessineApercu(*b.s);
    ASSERT_FALSE(d.Erreur);
    EXPECT_EQ(d.Largeur, 172);
    EXPECT_EQ(d.Hauteur, 118);
    ASSERT_EQ(d.NbPoints, 173);
    // sin(pi x) over [-1, 1) on 162 columns: 0 at the ends, -1 (bottom) at a quarter.
    EXPECT_EQ(d.Points[0].y, 59);
    EXPECT_EQ(d.Points[162].y, 59);
    EXPECT_NEAR(d.Points[40].y, 118, 1);
    EXPECT_NEAR(d.Points[121].y, 0, 1);
    for (int j = 0; j < d.NbPoints; ++j) {
        EXPECT_EQ(d.Points[static_cast<size_t>(j)].x, j);
        EXPECT_GE(d.Points[static_cast<size_t>(j)].y, 0);
        EXPECT_LE(d.Points[static_cast<size_t>(j)].y, 118);
    }
    const std::array<SegmentApercu, 7> grille = {{{{0, 29}, {172, 29}},
                                                  {{0, 59}, {172, 59}},
                                                  {{0, 88}, {172, 88}},
                                                  {{34, 0}, {34, 118}},
                                                  {{68, 0}, {68, 118}},
                                                  {{103, 0}, {103, 118}},
                                                  {{137, 0}, {137, 118}}}};
    EXPECT_EQ(d.Grille, grille);
}

} // namespace
