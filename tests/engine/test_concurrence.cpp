// The acquisition thread's spectra and traces against the GUI thread's table rebuilds
// and refreshes; run under ThreadSanitizer, any overlap is a reported race.

#include "engine/Extraction.h"
#include "engine/Frequentiel.h"

#include "Banc.h"
#include "dsp/Fft.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace {

TEST(Concurrence, SpectraWhileTheGuiRebuildsTablesAndRefreshes) {
    banc::Banc b;
    auto& etat = *b.etat;
    b.Stereo(true, 3, 0);
    b.Sinus(0, 100, 20000);
    b.Sinus(1, 37, 10000);
    etat.ThreadActive = true;
    b.reglages.TypeSynchro = engine::Universelle;
    constexpr int Tours = 60;

    std::thread acquisition([&] {
        for (int tour = 0; tour < Tours; ++tour) {
            engine::CalculeSpectre(etat, b.reglages, 1000);
            if (tour % 4 == 0) engine::Extraire(etat, b.reglages, 1000, b.pilote, b.gui);
        }
    });

    int mauvais = 0;
    for (int tour = 0; tour < Tours; ++tour) {
        engine::ReinitTFR(etat, tour % 5, 8 + tour % 4);
        b.reglages.SurEchTFR = tour % 4;
        b.reglages.EchelleF = tour % 7 - 3;
        b.reglages.DecalageF = (tour * 37) % 501;
        engine::CalculeSpectre(etat, b.reglages, 700);
        engine::AfficheSpectre(etat, b.reglages, 1, etat.NbPoints);
        // Between two computations the picture is whole: spectrum ordinates lie in -1 .. 1.
        std::lock_guard verrou(etat.VerrouMoteur);
        for (int32_t k = 0; k < etat.NbPoints; ++k)
            if (!(etat.Trace[0][k] >= -1.0f && etat.Trace[0][k] <= 1.0f)) ++mauvais;
    }
    acquisition.join();
    EXPECT_EQ(mauvais, 0);
    dsp::InitTFR(0, 11);
}

} // namespace
