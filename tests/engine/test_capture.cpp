// The capture drivers' ring arithmetic over a scripted device, the input tables and the
// choice of a driver with its fall-backs.
#include "engine/Entrees.h"
#include "engine/Pilotes.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

namespace {

using engine::EtatScope;
using engine::NbBruts;
using engine::TableFe;
using platform::AnneauCapture;
using platform::ResultatOuverture;

// Frame k since the start: left k, right -k - 1 (modulo 16 bits), so each copied frame
// tells where it came from.
int16_t Gauche(int64_t k) {
    return static_cast<int16_t>(k & 0x7FFF);
}
int16_t Droite(int64_t k) {
    return static_cast<int16_t>(-(k & 0x7FFF) - 1);
}

// A scripted device: Ouvrir returns the queued results (then success), and Produit plays
// the device writing frames into the ring while running.
class FluxEssai : public platform::FluxCapture {
public:
    std::deque<ResultatOuverture> Resultats;
    std::vector<int32_t> FeDemandees;
    int Ouvertures = 0, Fermetures = 0, Arrets = 0, Demarrages = 0;
    bool ArretLeveAvantArreter = false;
    const std::atomic<bool>* Arret = nullptr;

    ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                             AnneauCapture& anneau) override {
        ++Ouvertures;
        Identifiant = identifiant;
        FeDemandees.push_back(fe);
        ResultatOuverture r = ResultatOuverture::Reussie;
        if (!Resultats.empty()) {
            r = Resultats.front();
            Resultats.pop_front();
        }
        if (r == ResultatOuverture::Reussie) anneau_ = &anneau, canaux_ = canaux;
        return r;
    }
    bool Demarrer() override {
        ++Demarrages;
        if (!anneau_) return false;
        anneau_->Recommence();
        trame_ = 0;
        enMarche_ = true;
        return true;
    }
    void Arreter() override {
        ++Arrets;
        ArretLeveAvantArreter = Arret && Arret->load();
        enMarche_ = false;
    }
    void Fermer() override {
        ++Fermetures;
        anneau_ = nullptr;
        enMarche_ = false;
    }

    void Produit(int64_t trames) {
        if (!enMarche_) return;
        std::vector<int16_t> bloc;
        for (int64_t k = 0; k < trames; ++k, ++trame_) {
            bloc.push_back(Gauche(trame_));
            if (canaux_ == 2) bloc.push_back(Droite(trame_));
        }
        anneau_->Ecrire(bloc.data(), static_cast<uint32_t>(bloc.size()));
    }

    std::string Identifiant;

private:
    AnneauCapture* anneau_ = nullptr;
    int32_t canaux_ = 1;
    int64_t trame_ = 0;
    bool enMarche_ = false;
};

// The state a driver works on; EtatScope is large, so it lives on the heap.
struct Banc {
    std::unique_ptr<EtatScope> etat = std::make_unique<EtatScope>();
    engine::ReglagesEntree entree;
    engine::TablesEntrees tables;
    engine::ReglagesAffichage affichage;
    FluxEssai flux;
    std::vector<float> sortie = std::vector<float>(2 * NbBruts, -1e9f);

    explicit Banc(bool stereo) {
        etat->StereoActif = stereo ? 1 : 0;
        tables.NbEntreesWave = tables.NbEntreesDS = 2;
        tables.DSDisponible = true;
        tables.IdentifiantsWave = {"", "hw:CARD=A,DEV=0", "pulse"};
        tables.IdentifiantsDS = {"", "essai.monitor", "micro"};
        for (auto& f : tables.FeSupportesWave)
            f = {true, true, true, true, false, false, false}; // up to 22050
        for (auto& f : tables.FeSupportesDS)
            f.fill(true);
        entree.Fe = entree.FeCourante = 44100;
        etat->LargeurClient = 1;
        flux.Arret = &etat->Arret;
    }
    engine::ContexteCapture Contexte() { return {*etat, entree, tables, affichage}; }
    int Canaux() const { return etat->StereoActif + 1; }

    // Bruts holds frames premiere .. premiere + n - 1, both channels in stereo.
    void VerifieTrames(int64_t premiere, const char* cas) {
        for (int j = 0; j < NbBruts; ++j) {
            ASSERT_EQ(sortie[static_cast<size_t>(j)], Gauche(premiere + j))
                << cas << " trame " << j;
            if (Canaux() == 2) {
                ASSERT_EQ(sortie[static_cast<size_t>(NbBruts + j)], Droite(premiere + j))
                    << cas << " trame " << j;
            }
        }
        if (Canaux() == 1) {
            ASSERT_EQ(sortie[NbBruts], -1e9f) << "mono writes channel 0 only";
        }
    }
};

class Capture : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(MonoStereo, Capture, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "stereo" : "mono"; });

// Wave-in: the newest copied frame is the newest captured one (the ring's position holds
// only frames already written, so holding some back would only delay the picture), the
// channels are de-interleaved, and a stretch across the ring's end comes out in one piece.
TEST_P(Capture, WaveLitJusquALaPositionDeCapture) {
    Banc b(GetParam());
    engine::PiloteWave pilote(b.Contexte(), b.flux);
    ASSERT_EQ(pilote.Ouvrir(), engine::OuvertureReussie);
    pilote.Demarrer();
    EXPECT_TRUE(b.etat->EnMarche);
    EXPECT_FALSE(b.etat->Arret);
    const int64_t trames = AnneauCapture::Taille / b.Canaux();
    for (int64_t total : {int64_t{30000}, trames + 1234, 3 * trames + 17}) {
        b.flux.Produit(total - (b.etat->TamponCapture.Position() / b.Canaux()));
        pilote.Lire(b.sortie.data(), NbBruts);
        EXPECT_EQ(b.etat->PositionCapture, total);
        b.VerifieTrames(total - NbBruts, "wave");
    }
}

// Right after a start fewer frames exist than n: the read still fills the output, the
// newest frames at the end, the rest from the (cleared) ring.
TEST_P(Capture, WaveJusteApresLeDemarrageRemplitLaSortie) {
    Banc b(GetParam());
    engine::PiloteWave pilote(b.Contexte(), b.flux);
    ASSERT_EQ(pilote.Ouvrir(), engine::OuvertureReussie);
    pilote.Demarrer();
    b.flux.Produit(5000);
    pilote.Lire(b.sortie.data(), NbBruts);
    EXPECT_EQ(b.etat->PositionCapture, 5000);
    // Frames 0 .. 4999 end the output; what comes before them was never written.
    for (int j = 0; j < 5000; ++j)
        ASSERT_EQ(b.sortie[static_cast<size_t>(NbBruts - 5000 + j)], Gauche(j));
    for (int j = 0; j < NbBruts - 5000; ++j)
        ASSERT_EQ(b.sortie[static_cast<size_t>(j)], 0.0f);
}

// DirectSound: the newest copied frame is the newest written one; PositionCapture counts
// through the wraps (one ring ahead of the absolute frame, since the first read reaches
// back before the start), and a read across the ring's end is one contiguous output.
TEST_P(Capture, DSLitJusquALaPositionDeLectureEtCompteLesTours) {
    Banc b(GetParam());
    engine::PiloteDS pilote(b.Contexte(), b.flux);
    ASSERT_EQ(pilote.Ouvrir(), engine::OuvertureReussie);
    pilote.Demarrer();
    const int64_t tour = AnneauCapture::Taille / b.Canaux();
    int64_t total = 0;
    int tours = 0;
    while (total < 4 * tour) {
        b.flux.Produit(9001);
        total += 9001;
        pilote.Lire(b.sortie.data(), NbBruts);
        EXPECT_EQ(b.etat->PositionCapture, total - NbBruts + tour) << total;
        tours = b.etat->NbTampons;
        if (total >= NbBruts) b.VerifieTrames(total - NbBruts, "ds");
    }
    EXPECT_EQ(tours, (total - NbBruts) / tour + 1);

    // A new start counts from the beginning again, on a cleared ring.
    pilote.Arreter();
    pilote.Demarrer();
    EXPECT_EQ(b.etat->TamponCapture.Echantillon(5), 0);
    b.flux.Produit(100);
    pilote.Lire(b.sortie.data(), NbBruts);
    EXPECT_EQ(b.etat->PositionCapture, 100 - NbBruts + tour);
    EXPECT_EQ(b.etat->NbTampons, 0);
    EXPECT_EQ(b.sortie[NbBruts - 1], Gauche(99));
}

// Arreter raises Arret before stopping the device, so nothing restarts it behind the stop,
// and the thread's loop ends.
TEST(Capture, ArreterLeveArretAvantDArreterLePeripherique) {
    for (int type = 0; type < 2; ++type) {
        Banc b(true);
        engine::PiloteWave wave(b.Contexte(), b.flux);
        engine::PiloteDS ds(b.Contexte(), b.flux);
        engine::PiloteCapture& pilote = type == 0 ? static_cast<engine::PiloteCapture&>(wave) : ds;
        ASSERT_EQ(pilote.Ouvrir(), engine::OuvertureReussie);
        pilote.Demarrer();
        EXPECT_TRUE(pilote.DemarrageReussi());
        pilote.Arreter();
        EXPECT_TRUE(b.flux.ArretLeveAvantArreter) << type;
        EXPECT_TRUE(b.etat->Arret);
        EXPECT_FALSE(b.etat->EnMarche);
        pilote.Fermer();
        pilote.Fermer();
        EXPECT_EQ(b.flux.Fermetures, 2);
    }
}

// Ouvrir's codes and the fall-back to the device's best rate.
TEST(Capture, OuvrirRendLesCodesEtSeReplieSurLeMeilleurFe) {
    using R = ResultatOuverture;
    struct Cas {
        const char* nom;
        int type; // 0 wave, 1 DirectSound
        std::deque<R> resultats;
        int32_t noEntree;
        bool sansFe; // the device accepted no rate at enumeration
        int32_t code;
        int ouvertures;
        int32_t fe; // Fe and FeCourante afterwards
    } cas[] = {
        {"wave accepte", 0, {}, 0, false, 0, 1, 44100},
        {"wave refuse le format", 0, {R::FormatRefuse}, 0, false, 0, 2, 22050},
        {"wave sans aucun format", 0, {R::FormatRefuse}, 0, true, 1, 1, 44100},
        {"wave refuse encore", 0, {R::FormatRefuse, R::FormatRefuse}, 0, false, 1, 2, 22050},
        {"wave indisponible", 0, {R::Indisponible}, 0, false, 1, 1, 44100},
        {"wave sans tampons", 0, {R::TamponImpossible}, 0, false, 2, 1, 44100},
        {"wave hors liste", 0, {}, 2, false, 1, 0, 44100},
        {"ds accepte", 1, {}, -1, false, 0, 1, 44100},
        {"ds indisponible", 1, {R::Indisponible}, 1, false, 1, 1, 44100},
        {"ds sans tampon puis accepte", 1, {R::TamponImpossible}, 1, false, 0, 2, 48000},
        {"ds sans tampon deux fois",
         1,
         {R::TamponImpossible, R::TamponImpossible},
         1,
         false,
         3,
         2,
         48000},
        {"ds sans aucun format", 1, {R::FormatRefuse}, 1, true, 3, 1, 44100},
    };
    for (const Cas& c : cas) {
        Banc b(false);
        b.flux.Resultats = c.resultats;
        b.entree.NoEntree = c.noEntree;
        if (c.sansFe) {
            b.tables.FeSupportesWave[engine::TablesEntrees::Indice(c.noEntree)].fill(false);
            b.tables.FeSupportesDS[engine::TablesEntrees::Indice(c.noEntree)].fill(false);
        }
        engine::PiloteWave wave(b.Contexte(), b.flux);
        engine::PiloteDS ds(b.Contexte(), b.flux);
        engine::PiloteCapture& pilote =
            c.type == 0 ? static_cast<engine::PiloteCapture&>(wave) : ds;
        EXPECT_EQ(pilote.Ouvrir(), c.code) << c.nom;
        EXPECT_EQ(b.flux.Ouvertures, c.ouvertures) << c.nom;
        EXPECT_EQ(b.entree.Fe, c.fe) << c.nom;
        EXPECT_EQ(b.entree.FeCourante, c.fe) << c.nom;
        if (c.ouvertures > 0) {
            EXPECT_EQ(b.flux.FeDemandees.back(), c.fe) << c.nom;
            const auto& ids = c.type == 0 ? b.tables.IdentifiantsWave : b.tables.IdentifiantsDS;
            EXPECT_EQ(b.flux.Identifiant, ids[engine::TablesEntrees::Indice(c.noEntree)]) << c.nom;
        }
    }
}

TEST(Capture, DSIndisponibleSansServeur) {
    Banc b(false);
    b.tables.DSDisponible = false;
    engine::PiloteDS ds(b.Contexte(), b.flux);
    EXPECT_EQ(ds.Ouvrir(), engine::EntreeIndisponible);
    EXPECT_EQ(b.flux.Ouvertures, 0);
}

// A driver that answers Ouvrir from a script, for the choice's fall-backs.
class PiloteScripte : public engine::PiloteCapture {
public:
    explicit PiloteScripte(engine::ReglagesEntree& entree) : entree_(entree) {}
    std::deque<int32_t> Codes;
    std::vector<int32_t> Peripheriques; // NoEntree at each Ouvrir
    int Fermetures = 0;

    int32_t Ouvrir() override {
        Peripheriques.push_back(entree_.NoEntree);
        if (Codes.empty()) return 0;
        const int32_t c = Codes.front();
        Codes.pop_front();
        return c;
    }
    void Fermer() override { ++Fermetures; }
    void Arreter() override {}
    void Demarrer() override {}
    void Lire(float*, int32_t) override {}

private:
    engine::ReglagesEntree& entree_;
};

TEST(ChoixPilote, RepliSurLautrePiloteSurLePeripheriqueSuivant) {
    struct Cas {
        const char* nom;
        int32_t typeEntree, noEntree, nbEntrees;
        std::deque<int32_t> codesWave, codesDS;
        int32_t code; // last Ouvrir result
        const char* debutMessage;
        int32_t typeFinal, noFinal, fe;
        std::vector<int32_t> essaisWave, essaisDS;
    } cas[] = {
        {"le premier pilote ouvre", 1, -1, 1, {}, {}, 0, nullptr, 1, -1, 44100, {}, {-1}},
        {"l'autre pilote ouvre", 1, -1, 1, {}, {3}, 0, nullptr, 0, -1, 44100, {-1}, {-1}},
        // One device besides the default: both drivers refuse both devices; the message
        // is the last driver's, and the device comes back to where it started.
        {"tout refuse, DS en premier",
         1,
         0,
         1,
         {2, 2},
         {3, 3},
         2,
         "Impossible de préparer",
         1,
         0,
         32000,
         {0, -1},
         {0, -1}},
        {"tout refuse, wave en premier",
         0,
         0,
         1,
         {2, 2},
         {3, 3},
         3,
         "Impossible de créer",
         0,
         0,
         32000,
         {0, -1},
         {0, -1}},
        {"le périphérique suivant ouvre",
         0,
         -1,
         2,
         {1, 0},
         {1},
         0,
         nullptr,
         0,
         0,
         32000,
         {-1, 0},
         {-1}},
        {"le tour passe par le défaut",
         0,
         1,
         2,
         {1, 0},
         {1},
         0,
         nullptr,
         0,
         -1,
         48000,
         {1, -1},
         {1}},
        {"code inconnu", 0, 0, 0, {7}, {9}, 9, "Impossible d'initialiser", 0, -1, 48000, {0}, {0}},
    };
    for (const Cas& c : cas) {
        auto etat = std::make_unique<EtatScope>();
        engine::ReglagesEntree entree;
        engine::TablesEntrees tables;
        tables.NbEntreesWave = c.nbEntrees;
        tables.NbEntreesDS = c.nbEntrees;
        tables.MeilleurFe.fill(-1);
        tables.MeilleurFe[engine::TablesEntrees::Indice(-1)] = 6; // 48000
        tables.MeilleurFe[engine::TablesEntrees::Indice(0)] = 4;  // 32000
        entree.TypeEntree = c.typeEntree;
        entree.NoEntree = c.noEntree;
        entree.Fe = 44100;
        entree.Stereo = true;
        PiloteScripte wave(entree), ds(entree);
        wave.Codes = c.codesWave;
        ds.Codes = c.codesDS;
        const engine::ResultatChoix r = engine::ChoisirPilote({&wave, &ds}, entree, tables, *etat);
        EXPECT_EQ(r.Code, c.code) << c.nom;
        EXPECT_EQ(entree.TypeEntree, c.typeFinal) << c.nom;
        EXPECT_EQ(entree.NoEntree, c.noFinal) << c.nom;
        EXPECT_EQ(entree.Fe, c.fe) << c.nom;
        EXPECT_EQ(entree.FeCourante, c.fe) << c.nom;
        EXPECT_EQ(etat->StereoActif, 1) << c.nom;
        EXPECT_EQ(wave.Peripheriques, c.essaisWave) << c.nom;
        EXPECT_EQ(ds.Peripheriques, c.essaisDS) << c.nom;
        // Every failed Ouvrir is followed by Fermer.
        EXPECT_EQ(wave.Fermetures + ds.Fermetures,
                  static_cast<int>(c.essaisWave.size() + c.essaisDS.size()) - (c.code == 0))
            << c.nom;
        if (c.code == 0) {
            EXPECT_EQ(r.Message, nullptr) << c.nom;
            EXPECT_EQ(r.Pilote, c.typeFinal == 0 ? static_cast<engine::PiloteCapture*>(&wave) : &ds)
                << c.nom;
        } else {
            ASSERT_NE(r.Message, nullptr) << c.nom;
            EXPECT_EQ(std::string(r.Message).rfind(c.debutMessage, 0), 0u) << c.nom;
            EXPECT_EQ(r.Pilote, nullptr) << c.nom;
        }
    }
}

TEST(ChoixPilote, MessagesDOuverture) {
    EXPECT_EQ(engine::MessageOuverture(0), nullptr);
    EXPECT_STREQ(engine::MessageOuverture(1), "L'entrée son est actuellement indisponible !\r"
                                              "Sortez du programme qui l'utilise et redémarrez "
                                              "Tamburella.");
    // The Linux names of the two drivers and of the remedy.
    EXPECT_STREQ(engine::MessageOuverture(2), "Impossible de préparer la mémoire tampon pour "
                                              "ALSA !\rRéessayez en redémarrant l'ordinateur.");
    EXPECT_STREQ(engine::MessageOuverture(3), "Impossible de créer la mémoire tampon pour "
                                              "PulseAudio !\rRéessayez en redémarrant "
                                              "l'ordinateur.");
    EXPECT_STREQ(engine::MessageOuverture(-5), "Impossible d'initialiser l'entrée son !");
}

TEST(Entrees, LesTablesSuiventLesListesDesDeuxPilotes) {
    auto entree = [](std::string id, std::array<bool, 7> fes) {
        return platform::DescriptionEntree{id, "Nom " + id, fes};
    };
    const std::array<bool, 7> jusqua22050{true, true, true, true, false, false, false};
    const std::array<bool, 7> aucun{};
    std::array<bool, 7> tous;
    tous.fill(true);

    std::vector<platform::DescriptionEntree> wave{entree("", jusqua22050), entree("pulse", tous),
                                                  entree("hw:CARD=A,DEV=0", aucun)};
    for (int i = 0; i < 30; ++i)
        wave.push_back(entree("hw:CARD=X" + std::to_string(i), jusqua22050));
    const std::vector<platform::DescriptionEntree> ds{entree("", tous),
                                                      entree("essai.monitor", aucun)};

    engine::TablesEntrees t;
    engine::RemplitTables(t, wave, true, ds);
    EXPECT_EQ(t.NbEntreesWave, 20) << "at most 20 besides the default";
    EXPECT_EQ(t.NbEntreesDS, 1);
    EXPECT_TRUE(t.DSDisponible);
    EXPECT_EQ(t.NomsEntreesWave[1], "Nom pulse");
    EXPECT_EQ(t.IdentifiantsDS[1], "essai.monitor");
    EXPECT_EQ(t.IdentifiantsWave[20], "hw:CARD=X17");
    EXPECT_EQ(t.FeSupportesWave[0], jusqua22050);
    // One MeilleurFe for both drivers: the sound server's probe wins where it listed a device.
    EXPECT_EQ(t.MeilleurFe[0], 6);  // default: DS accepts all
    EXPECT_EQ(t.MeilleurFe[1], -1); // DS device 0 accepted none
    EXPECT_EQ(t.MeilleurFe[2], -1); // wave device 1 accepted none
    EXPECT_EQ(t.MeilleurFe[3], 3);  // wave only: 22050
    EXPECT_FALSE(engine::AucuneEntree(t));

    engine::RemplitTables(t, {wave.data(), 1}, false, ds);
    EXPECT_EQ(t.NbEntreesWave, 0);
    EXPECT_EQ(t.NbEntreesDS, 0) << "no sound server, no DirectSound devices";
    EXPECT_EQ(t.MeilleurFe[0], 3);
    EXPECT_EQ(t.MeilleurFe[1], -1);
    EXPECT_TRUE(engine::AucuneEntree(t));
    EXPECT_STREQ(engine::MessageAucuneEntree,
                 "Pas d'entrée audio présente !\rAvez vous une carte son ?");
}

} // namespace
