// The acquisition thread against a stand-in driver, stand-in computations and a GUI
// stand-in served by the test's thread.
#include "engine/TscopeThread.h"
#include "platform/Locale.h"
#include "support/GuiEssai.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using engine::TscopeThread;

class PiloteEssai : public engine::PiloteCapture {
public:
    explicit PiloteEssai(engine::EtatScope& e) : e_(e) {}
    std::atomic<int> Lectures{0}, Arrets{0};
    int32_t Attente = 0; // AttenteDemarrage, ms
    std::chrono::steady_clock::time_point PremiereLecture{};

    int32_t Ouvrir() override { return 0; }
    void Fermer() override {}
    void Arreter() override {
        e_.Arret = true;
        e_.EnMarche = false;
        ++Arrets;
    }
    void Demarrer() override {
        e_.EnMarche = true;
        e_.Arret = false;
    }
    int32_t AttenteDemarrage() const override { return Attente; }
    void Lire(float* sortie, int32_t n) override {
        if (Lectures == 0) PremiereLecture = std::chrono::steady_clock::now();
        sortie[0] = static_cast<float>(++Lectures);
        sortie[2 * n - 1] = 1.0f;
    }

private:
    engine::EtatScope& e_;
};

// What the frames computed, and what they saw of the snapshot.
class CalculsEssai : public engine::CalculsTrame {
public:
    explicit CalculsEssai(engine::EtatScope& e) : e_(e) {}
    std::atomic<int> Extractions{0}, Spectres{0}, Enregistrements{0};
    std::atomic<bool> Chevauchement{false};
    int EchecA = -1; // the frame whose extraction throws
    bool ArretApresUneTrame = false;
    // Written on the acquisition thread; read once it has finished.
    int32_t Largeur = 0, Masque = 0, Sync = 0, NiveauDecl = 0, Nice = 0;
    float PleineEchelle = 0, DeplaceX = 0;
    std::string Fichier;
    int32_t NbEch = 0;
    std::vector<std::chrono::steady_clock::time_point> Instants;
    // The thread of each frame, in order.
    std::vector<std::thread::id> Fils() {
        std::lock_guard verrou(mutex_);
        return fils_;
    }

    void Extraire(int32_t largeur) override {
        Entre();
        if (Extractions == EchecA) throw std::runtime_error("extraction");
        Note(largeur);
        ++Extractions;
        Sort();
    }
    void CalculeSpectre(int32_t largeur) override {
        Entre();
        Note(largeur);
        ++Spectres;
        Sort();
    }
    void EnregistreSignal(const std::string& fichier, int32_t nb) override {
        Fichier = fichier;
        NbEch = nb;
        ++Enregistrements;
    }

private:
    // Two loops inside a frame at once would share the arrays.
    void Entre() {
        if (dedans_.fetch_add(1) != 0) Chevauchement = true;
        std::this_thread::sleep_for(1ms);
    }
    void Sort() { dedans_.fetch_sub(1); }
    void Note(int32_t largeur) {
        Largeur = largeur;
        Masque = e_.MasqueCanaux;
        Sync = e_.CanalSyncActif;
        PleineEchelle = e_.PleineEchelleCopie;
        DeplaceX = e_.DeplaceXCopie;
        NiveauDecl = e_.NiveauDeclCopie;
        Nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        Instants.push_back(std::chrono::steady_clock::now());
        {
            std::lock_guard verrou(mutex_);
            fils_.push_back(std::this_thread::get_id());
        }
        if (ArretApresUneTrame) e_.Arret = true;
    }
    engine::EtatScope& e_;
    std::atomic<int> dedans_{0};
    std::mutex mutex_;
    std::vector<std::thread::id> fils_;
};

struct Banc {
    std::unique_ptr<engine::EtatScope> etat = std::make_unique<engine::EtatScope>();
    engine::ReglagesAffichage affichage;
    engine::ReglagesEntree entree;
    essai::GuiEssai gui;
    PiloteEssai pilote{*etat};
    CalculsEssai calculs{*etat};
    engine::ContexteThread contexte{*etat, affichage, entree, gui, calculs};

    std::unique_ptr<TscopeThread> Lance(std::unique_ptr<TscopeThread> precedente = nullptr) {
        pilote.Demarrer();
        return std::make_unique<TscopeThread>(contexte, pilote, std::move(precedente));
    }
    // What the scope window does when it closes.
    void Termine(TscopeThread& t) {
        engine::AttendFinThread(*etat, t, [this] { gui.Servir(); });
    }
};

TEST(Thread, LesTramesBouclentJusquaArret) {
    Banc b;
    auto t = b.Lance();
    ASSERT_TRUE(b.gui.ServirJusqua([&] { return b.calculs.Extractions >= 5; }));
    EXPECT_TRUE(b.etat->ThreadActive);
    b.Termine(*t);
    EXPECT_TRUE(t->Termine());
    EXPECT_FALSE(b.etat->ThreadActive);
    const int n = b.calculs.Extractions;
    EXPECT_EQ(b.pilote.Lectures, n);
    EXPECT_EQ(b.etat->Bruts[0][0], static_cast<float>(n));
    EXPECT_EQ(b.etat->Bruts[1][engine::NbBruts - 1], 1.0f);
    EXPECT_EQ(b.gui.Dessins, n);
    EXPECT_EQ(b.gui.Affichages, n);
    EXPECT_EQ(b.gui.Images, 1);
    EXPECT_EQ(b.calculs.Spectres, 0);
    EXPECT_EQ(b.calculs.Enregistrements, 0);
    EXPECT_TRUE(b.gui.Erreurs.empty());
    EXPECT_EQ(b.calculs.Nice, 19) << "the lowest priority the system allows";
}

TEST(Thread, UneTrameUtiliseUnInstantaneDesReglages) {
    struct Cas {
        const char* nom;
        bool stereo;
        int32_t canal, canalSync, largeurClient;
        int32_t masque, sync, largeur;
        int32_t echelleT = 0;
        bool spectre = false;
    } cas[] = {
        {"mono ignore les voies", false, 3, 1, 640, 1, 0, 640},
        {"stéréo", true, 2, 1, 640, 2, 1, 640},
        {"largeur nulle", true, 3, 0, 0, 3, 0, 1},
        {"largeur au plus 2000", false, 1, 0, 5000, 1, 0, 2000},
        // What one extraction gives at 8 samples per point, the rest of the window being
        // covered by stretching; the spectrum keeps the client width.
        {"1268 points à e = 3", false, 1, 0, 2560, 1, 0, 1268, 3},
        {"spectre à e = 3", false, 1, 0, 2560, 1, 0, 2000, 3, true},
    };
    for (const Cas& c : cas) {
        Banc b;
        b.affichage.EchelleT = c.echelleT;
        b.affichage.SpectreBouton = c.spectre;
        b.etat->StereoActif = c.stereo;
        b.entree.Canal = c.canal;
        b.entree.CanalSync = c.canalSync;
        b.etat->LargeurClient = c.largeurClient;
        b.affichage.PleineEchelle = 1234.5f;
        b.affichage.DeplaceX = -17;
        b.affichage.NiveauDecl = 4321;
        b.calculs.ArretApresUneTrame = true;
        auto t = b.Lance();
        ASSERT_TRUE(b.gui.ServirJusqua([&] { return t->Termine(); })) << c.nom;
        EXPECT_EQ(b.calculs.Extractions + b.calculs.Spectres, 1) << c.nom;
        EXPECT_EQ(b.calculs.Masque, c.masque) << c.nom;
        EXPECT_EQ(b.calculs.Sync, c.sync) << c.nom;
        EXPECT_EQ(b.calculs.Largeur, c.largeur) << c.nom;
        EXPECT_EQ(b.calculs.PleineEchelle, 1234.5f) << c.nom;
        EXPECT_EQ(b.calculs.DeplaceX, -17.0f) << c.nom;
        EXPECT_EQ(b.calculs.NiveauDecl, 4321) << c.nom;
    }
}

TEST(Thread, LeModeSpectreCalculeLeSpectreEtLeFichierTamponSuitChaqueTrame) {
    Banc b;
    b.affichage.SpectreBouton = true;
    b.entree.UtiliseFichierTampon = true;
    b.entree.FichierTampon.Ecrire("tampon.csv");
    b.entree.NbEchFichierTampon = 1000;
    auto t = b.Lance();
    ASSERT_TRUE(b.gui.ServirJusqua([&] { return b.calculs.Spectres >= 2; }));
    b.Termine(*t);
    EXPECT_EQ(b.calculs.Extractions, 0);
    EXPECT_EQ(b.calculs.Enregistrements, b.calculs.Spectres.load());
    EXPECT_EQ(b.calculs.Fichier, "tampon.csv");
    EXPECT_EQ(b.calculs.NbEch, 1000);
    // Spectrum mode leaves the horizontal track bar alone.
    EXPECT_EQ(b.gui.Desactivations, 0);
    EXPECT_EQ(b.gui.Reactivations, 0);
}

// In universal mode the horizontal track bar is disabled while the loop runs, and the last
// alignment becomes the manual position: PosDecl = W / 2 gives 250 of 500.
TEST(Thread, LaSynchroUniverselleRendLaPositionHorizontale) {
    for (bool universelle : {true, false}) {
        Banc b;
        b.affichage.Synchrouniverselle1 = universelle;
        b.affichage.DecalageT = 77;
        b.etat->LargeurClient = 400;
        b.etat->PosDecl = 200;
        auto t = b.Lance();
        ASSERT_TRUE(b.gui.ServirJusqua([&] { return b.calculs.Extractions >= 1; }));
        b.Termine(*t);
        EXPECT_EQ(b.gui.Desactivations, universelle ? 1 : 0);
        EXPECT_EQ(b.gui.Reactivations, universelle ? 1 : 0);
        EXPECT_EQ(b.gui.PositionDepF, universelle ? 250 : -1);
        EXPECT_EQ(b.affichage.DecalageT, universelle ? 250 : 77);
    }
}

TEST(Thread, DureesDeRalenti) {
    for (int32_t r = 0; r <= 7; ++r)
        EXPECT_EQ(engine::DureeRalenti(false, r, 0), r == 0 ? 0 : 1000 / (1 << r)) << r;
    const int32_t spectre[] = {0, 62, 31, 15, 7};
    for (int32_t r = 0; r <= 4; ++r) {
        EXPECT_EQ(engine::DureeRalenti(true, 5, r), spectre[r]) << r;
        EXPECT_EQ(engine::DureeRalenti(false, 0, r), 0) << r;
    }
}

TEST(Thread, LeRalentiEspaceLesTrames) {
    Banc b;
    b.affichage.Ralenti = 3; // 125 ms
    auto t = b.Lance();
    ASSERT_TRUE(b.gui.ServirJusqua([&] { return b.calculs.Extractions >= 4; }));
    b.Termine(*t);
    const auto& instants = b.calculs.Instants;
    ASSERT_GE(instants.size(), 4u);
    const auto ecart = instants[3] - instants[0];
    EXPECT_GE(ecart, 3 * 125ms);
    EXPECT_LT(ecart, 3 * 125ms + 2s);
}

// The window closes while the thread waits in a hand-over that nobody serves yet: the
// close serves it and the thread finishes.
TEST(Thread, ArretPendantUneRemiseBloquee) {
    Banc b;
    auto t = b.Lance();
    ASSERT_TRUE(b.gui.ServirJusqua([&] { return b.calculs.Extractions >= 2; }));
    const auto limite = std::chrono::steady_clock::now() + 5s;
    while (!b.gui.EnAttente() && std::chrono::steady_clock::now() < limite)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(b.gui.EnAttente());
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(t->Termine());
    b.Termine(*t);
    EXPECT_TRUE(t->Termine());
    EXPECT_FALSE(b.etat->ThreadActive);
    EXPECT_EQ(b.gui.Images, 1);
}

TEST(Thread, UneExceptionArreteLaBoucleAvecLeMessage) {
    Banc b;
    b.calculs.EchecA = 2;
    auto t = b.Lance();
    ASSERT_TRUE(b.gui.ServirJusqua([&] { return t->Termine(); }));
    EXPECT_EQ(b.calculs.Extractions, 2);
    ASSERT_EQ(b.gui.Erreurs.size(), 1u);
    EXPECT_EQ(b.gui.Erreurs[0], "Erreur dans la thread de calcul !");
    EXPECT_EQ(b.pilote.Arrets, 1);
    EXPECT_TRUE(b.etat->Arret);
    EXPECT_FALSE(b.etat->EnMarche);
    EXPECT_FALSE(b.etat->ThreadActive);
    EXPECT_EQ(b.gui.Images, 0);
}

// Pause and resume while the loop sleeps in a slow-down: the new loop starts only once the
// previous one has finished, and the previous one ends though Arret was cleared again.
TEST(Thread, UneRepriseNeLancePasUneSecondeBoucle) {
    Banc b;
    b.affichage.Ralenti = 2; // 250 ms
    auto t = b.Lance();
    ASSERT_TRUE(
        b.gui.ServirJusqua([&] { return b.calculs.Extractions >= 1 && !b.gui.EnAttente(); }));
    std::this_thread::sleep_for(20ms); // inside the sleep
    b.pilote.Arreter();
    t = b.Lance(std::move(t));
    ASSERT_TRUE(b.gui.ServirJusqua([&] { return b.calculs.Extractions >= 4; }));
    b.Termine(*t);
    EXPECT_FALSE(b.calculs.Chevauchement);
    // The first loop's frames, then the second's: never one of the first after the second began.
    const auto fils = b.calculs.Fils();
    ASSERT_GE(fils.size(), 4u);
    int changements = 0;
    for (size_t i = 1; i < fils.size(); ++i)
        changements += fils[i] != fils[i - 1];
    EXPECT_EQ(changements, 1);
    EXPECT_EQ(b.gui.Desactivations, 2);
    EXPECT_EQ(b.gui.Reactivations, 2);
    EXPECT_EQ(b.gui.Images, 2);
    EXPECT_FALSE(b.etat->ThreadActive);
}

// VSync = 2: each frame is presented on a display frame of its own, never two within one
// period of the screen.
TEST(Thread, LaSynchroVerticalePresenteUneTrameParPeriodeDEcran) {
    Banc b;
    constexpr int64_t Periode = 40'000'000; // 25 Hz, ns
    b.etat->PeriodeEcran = Periode;
    b.entree.VSync = 2;
    std::vector<int64_t> presentations;
    b.gui.PendantAfficher = [&] { presentations.push_back(engine::Compteur()); };
    auto t = b.Lance();
    ASSERT_TRUE(b.gui.ServirJusqua([&] { return presentations.size() >= 6; }));
    b.Termine(*t);
    for (size_t i = 1; i < presentations.size(); ++i)
        EXPECT_GT(presentations[i] / Periode, presentations[i - 1] / Periode) << i;
    // Presented at 105 (frame 80 .. 120): next at 120; computed late, at 130: at once.
    EXPECT_EQ(engine::ProchaineTrameEcran(110, 105, 40), 120);
    EXPECT_EQ(engine::ProchaineTrameEcran(130, 105, 40), 130);
    EXPECT_EQ(engine::ProchaineTrameEcran(120, 120, 40), 160);
}

// The driver's start-up wait runs on the acquisition thread, before the first read; a
// pause during it ends the thread without a read.
TEST(Thread, LAttenteDeDemarrageEstCelleDeLaThread) {
    {
        Banc b;
        b.pilote.Attente = 300;
        const auto debut = std::chrono::steady_clock::now();
        auto t = b.Lance();
        EXPECT_LT(std::chrono::steady_clock::now() - debut, 250ms) << "the caller does not wait";
        ASSERT_TRUE(b.gui.ServirJusqua([&] { return b.pilote.Lectures >= 1; }));
        EXPECT_GE(b.pilote.PremiereLecture - debut, 300ms);
        b.Termine(*t);
    }
    Banc b;
    b.pilote.Attente = 10'000;
    auto t = b.Lance();
    ASSERT_TRUE(b.gui.ServirJusqua([&] { return b.etat->ThreadActive.load(); }));
    b.pilote.Arreter();
    ASSERT_TRUE(b.gui.ServirJusqua([&] { return t->Termine(); }, 5s));
    EXPECT_EQ(b.pilote.Lectures, 0);
    EXPECT_EQ(b.gui.FinsThread, 1);
}

// A pause during a long slow-down ends the loop without waiting for the sleep's end.
TEST(Thread, UnePauseNAttendPasLaFinDuRalenti) {
    Banc b;
    b.affichage.Ralenti = 1; // 500 ms
    auto t = b.Lance();
    ASSERT_TRUE(
        b.gui.ServirJusqua([&] { return b.calculs.Extractions >= 1 && b.gui.Affichages >= 1; }));
    const auto pause = std::chrono::steady_clock::now();
    b.pilote.Arreter();
    ASSERT_TRUE(b.gui.ServirJusqua([&] { return t->Termine(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - pause, 450ms);
    EXPECT_EQ(b.calculs.Extractions, 1);
    EXPECT_EQ(b.gui.FinsThread, 1);
}

TEST(Rafraich, MesureEtLegende) {
    auto e = std::make_unique<engine::EtatScope>();
    e->CompteurPrec = 1000;
    e->FreqRafraich = 5.0f;
    engine::MesureRafraich(*e, 1000); // same tick: unchanged
    EXPECT_EQ(e->FreqRafraich, 5.0f);
    const auto periode = static_cast<int64_t>(engine::FrequenceCompteur / 43.14);
    engine::MesureRafraich(*e, 1000 + periode);
    EXPECT_NEAR(e->FreqRafraich, 43.14f, 1e-3);
    EXPECT_EQ(e->CompteurPrec, 1000 + periode);
    EXPECT_EQ(e->CompteurAct, 1000 + periode);

    struct Cas {
        float hz;
        char separateur;
        const char* texte;
    } cas[] = {{43.14f, ',', "43,1 Hz"},
               {43.14f, '.', "43.1 Hz"},
               {0.0f, ',', "0,0 Hz"},
               {999.96f, ',', "1000,0 Hz"},
               {7.25f, ',', "7,2 Hz"}};
    for (const Cas& c : cas) {
        platform::ImposeSeparateurDecimal(c.separateur);
        EXPECT_STREQ(engine::LegendeFreqRafraich(c.hz).data(), c.texte) << c.hz;
    }
    platform::ImposeSeparateurDecimal('\0');
}

// A frame presented after a pause still copies its picture but leaves the caption, which
// keeps "Pause"; without a picture nothing is measured.
TEST(Rafraich, PresenteEtMesure) {
    platform::ImposeSeparateurDecimal(',');
    for (bool enMarche : {true, false})
        for (bool image : {true, false}) {
            auto e = std::make_unique<engine::EtatScope>();
            e->EnMarche = enMarche;
            e->CompteurPrec = engine::Compteur() - engine::FrequenceCompteur / 10;
            int presentations = 0;
            std::string legende = "Pause";
            engine::PresenteEtMesure(
                *e, image, [&] { ++presentations; }, [&](const char* t) { legende = t; });
            EXPECT_EQ(presentations, image ? 1 : 0);
            EXPECT_EQ(e->FreqRafraich > 9.0f && e->FreqRafraich < 10.1f, image);
            if (enMarche)
                EXPECT_EQ(legende, image ? engine::LegendeFreqRafraich(e->FreqRafraich).data()
                                         : std::string("0,0 Hz"));
            else
                EXPECT_EQ(legende, "Pause");
        }
    platform::ImposeSeparateurDecimal('\0');
}

} // namespace
