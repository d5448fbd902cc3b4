#include "platform/Alsa.h"
#include "platform/Anneau.h"
#include "platform/Pulse.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

using platform::AnneauCapture;

// The ring against a plain model: writes of every size and alignment, then copies of
// every start, length and channel count, across the ring's end too.
TEST(Anneau, EcrituresEtCopiesQuelconquesSuiventLeModele) {
    auto anneau = std::make_unique<AnneauCapture>();
    std::vector<int16_t> modele(AnneauCapture::Taille, 0);
    std::mt19937 alea(7);
    int64_t position = 0;
    int16_t valeur = -32768;
    for (int bloc = 0; bloc < 400; ++bloc) {
        const uint32_t n = std::uniform_int_distribution<uint32_t>(0, 3000)(alea);
        std::vector<int16_t> donnees(n);
        for (auto& v : donnees) {
            v = valeur;
            valeur = static_cast<int16_t>(valeur + 13);
            modele[static_cast<size_t>(position++) & AnneauCapture::Masque] = v;
        }
        anneau->Ecrire(donnees.data(), n);
        ASSERT_EQ(anneau->Position(), position);

        const int canaux = 1 + bloc % 2;
        const auto trames = std::uniform_int_distribution<int32_t>(0, 20480)(alea);
        const int64_t debut = std::uniform_int_distribution<int64_t>(-200000, 400000)(alea);
        std::vector<float> sortie(2 * static_cast<size_t>(trames) + 1, -1e9f);
        anneau->CopieTrames(debut, trames, canaux, sortie.data());
        for (int32_t j = 0; j < trames; ++j)
            for (int c = 0; c < canaux; ++c) {
                const auto i = static_cast<size_t>(debut + j * canaux + c) & AnneauCapture::Masque;
                ASSERT_EQ(sortie[static_cast<size_t>(c * trames + j)], modele[i])
                    << "bloc " << bloc << " trame " << j << " voie " << c;
            }
        // Nothing written past the channels asked for.
        ASSERT_EQ(sortie[static_cast<size_t>(canaux * trames)], -1e9f);
    }
}

// A writer thread fills the ring while the reader copies behind the write position, as a
// device and the acquisition thread do: every copied sample is the one written there
// (under ThreadSanitizer, with the position's release/acquire as the only ordering of the
// samples written before it).
TEST(Anneau, LectureConcurrenteDeLEcriture) {
    auto anneau = std::make_unique<AnneauCapture>();
    constexpr int32_t n = 20480, retenue = 4000;
    constexpr int64_t total = 40 * AnneauCapture::Taille;
    std::atomic<int64_t> lu{0}; // the oldest sample the reader may still copy
    std::thread ecrivain([&] {
        std::vector<int16_t> bloc(1234);
        int64_t position = 0;
        while (position < total) {
            // Never lap the reader.
            while (position + static_cast<int64_t>(bloc.size()) - lu.load() >=
                   AnneauCapture::Taille)
                std::this_thread::yield();
            for (auto& v : bloc)
                v = static_cast<int16_t>(position++ * 7);
            anneau->Ecrire(bloc.data(), static_cast<uint32_t>(bloc.size()));
        }
    });
    std::vector<float> sortie(2 * n);
    int lectures = 0;
    for (int64_t p = 0; p < total - 2 * n - retenue;) {
        p = anneau->Position();
        const int64_t debut = p - retenue - 2 * n;
        if (debut < 0) continue;
        lu.store(debut);
        anneau->CopieTrames(debut, n, 2, sortie.data());
        for (int32_t j = 0; j < n; ++j)
            for (int c = 0; c < 2; ++c)
                ASSERT_EQ(sortie[static_cast<size_t>(c * n + j)],
                          static_cast<int16_t>((debut + 2 * j + c) * 7));
        ++lectures;
    }
    ecrivain.join();
    EXPECT_GT(lectures, 0);
}

TEST(Anneau, RecommenceEtEfface) {
    auto anneau = std::make_unique<AnneauCapture>();
    const int16_t donnees[] = {1, 2, 3, 4, 5};
    anneau->Ecrire(donnees, 5);
    anneau->Recommence();
    EXPECT_EQ(anneau->Position(), 0);
    EXPECT_EQ(anneau->Echantillon(4), 5); // kept until overwritten
    anneau->Ecrire(donnees + 2, 1);
    EXPECT_EQ(anneau->Echantillon(0), 3);
    EXPECT_EQ(anneau->Echantillon(1), 2);
    anneau->Efface();
    EXPECT_EQ(anneau->Position(), 1);
    for (int64_t i = 0; i < 8; ++i)
        EXPECT_EQ(anneau->Echantillon(i), 0);
}

TEST(Alsa, SeulesLesEntreesQueLonChoisitSontListees) {
    struct Cas {
        const char* nom;
        bool liste;
    } cas[] = {
        {"pulse", true},
        {"pipewire", true},
        {"sysdefault:CARD=PCH", true},
        {"hw:CARD=PCH,DEV=0", true},
        {"default", false}, // always first, on its own
        {"null", false},
        {"lavrate", false},
        {"samplerate", false},
        {"speexrate", false},
        {"jack", false},
        {"oss", false},
        {"upmix", false},
        {"vdownmix", false},
        {"dmix:CARD=PCH,DEV=0", false},
        {"surround51:CARD=PCH,DEV=0", false},
        {"hw:", false},
        {"", false},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(platform::EstEntreeAlsa(c.nom), c.liste) << c.nom;
}

// Without a server: clean refusals, no hang, and closing what never opened is harmless.
class SansServeur : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("PULSE_SERVER", "unix:/nonexistent/tamburella/native", 1);
        setenv("PULSE_CLIENTCONFIG", "/dev/null", 1);
    }
};

TEST_F(SansServeur, LeServeurEstIndisponible) {
    EXPECT_FALSE(platform::ServeurSonDisponible());
    EXPECT_TRUE(platform::EnumereSourcesSon(std::vector<int32_t>{44100}, 20).empty());
    auto anneau = std::make_unique<AnneauCapture>();
    auto flux = platform::CreeFluxSon();
    EXPECT_EQ(flux->Ouvrir("", 44100, 2, *anneau), platform::ResultatOuverture::Indisponible);
    EXPECT_FALSE(flux->Demarrer());
    flux->Arreter();
    flux->Fermer();
    flux->Fermer();
}

TEST_F(SansServeur, FermerSansOuvrirEstSansEffet) {
    for (auto cree : {platform::CreeFluxAlsa, platform::CreeFluxSon}) {
        auto flux = cree();
        flux->Fermer();
        flux->Arreter();
        EXPECT_FALSE(flux->Demarrer());
        flux->Fermer();
    }
}

TEST_F(SansServeur, UnPeripheriqueAlsaInconnuEstIndisponible) {
    auto anneau = std::make_unique<AnneauCapture>();
    auto flux = platform::CreeFluxAlsa();
    EXPECT_EQ(flux->Ouvrir("hw:CARD=Inexistante,DEV=0", 44100, 2, *anneau),
              platform::ResultatOuverture::Indisponible);
    flux->Fermer();
}

} // namespace
