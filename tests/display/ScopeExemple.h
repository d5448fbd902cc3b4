// The scope of the tests: 44100 Hz, a 441 × 300 client area, EchelleT = 0 (0.002 s per
// division) and full scale 32768 (50 % per division), mono, nothing drawn yet.
#pragma once

#include "display/Rendu.h"
#include "dsp/Fft.h"
#include "engine/Parametres.h"

#include <memory>

namespace essais {

struct ScopeExemple {
    std::unique_ptr<engine::EtatScope> etat = std::make_unique<engine::EtatScope>();
    engine::ReglagesAffichage affichage;
    engine::ReglagesEntree entree;
    display::VueScope vue{*etat, affichage, entree};

    ScopeExemple() {
        if (dsp::TailleTFR() != 2048) dsp::InitTFR(0, 11);
        vue.LargeurClient = 441;
        vue.HauteurClient = 300;
        etat->NbPoints = 441;
        etat->Xcurs1 = 100;
        etat->Xcurs2 = 200;
        etat->Ycurs1 = 99;
        etat->Ycurs2 = 129;
        display::Calibrer(vue);
    }

    // Both channels shown, left flat at mid-height, right at a quarter of the height.
    void Stereo() {
        etat->StereoActif = 1;
        etat->MasqueCanaux = 3;
        Remplit(0, 0.5f);
        Remplit(1, 0.25f);
        etat->TraceValide = true;
    }
    void Remplit(int c, float y) {
        for (float& v : etat->Trace[c])
            v = y;
    }
    // Spectrum mode, N = 2048: 21.53 Hz per point, 2000 Hz and 20 % per division.
    void Spectre(int32_t largeur) {
        affichage.SpectreBouton = true;
        vue.LargeurClient = largeur;
        etat->NbPoints = largeur;
        display::Calibrer(vue);
    }
};

} // namespace essais
