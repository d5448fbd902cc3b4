// What the options dialog acts on: the values it edits are process-wide and owned by the
// control window (saved in its section "Options"), which implements this interface. The
// dialog reads them when it is shown and writes them when it applies.
//
// Thread contract: the GUI thread.
#pragma once

#include "engine/Parametres.h"

#include <cstdint>

namespace shell {

// The picture settings, read by the picture export and the printing.
struct OptionsImage {
    bool Proportions = false; // false "Carré", true "Ajusté"
    bool Position = false;    // printer orientation: false portrait, true landscape
    bool Curseurs = false;    // cursors in the exported picture
    bool Grille = false;      // grid in the exported picture
    int32_t LargGraph = 150;  // exported graph, mm
    int32_t HautGraph = 120;

    bool operator==(const OptionsImage&) const = default;
};

class CibleOptions {
public:
    virtual OptionsImage Image() const = 0;
    // Taken into account at once (by the next export or printing).
    virtual void ChangeImage(const OptionsImage& image) = 0;

    // The hint switch `Bulles`: the control window shows or hides its hints at once (the
    // dialog switches the generator window's itself).
    virtual bool Bulles() const = 0;
    virtual void ChangeBulles(bool bulles) = 0;

    // The input settings: TypeEntree, NoEntree, Fe and Stereo take effect when the scope
    // window next opens the capture (at the next start); VSync on the next frame.
    // VSyncDispo is read only.
    virtual engine::ReglagesEntree& Entree() = 0;
    // The input enumeration, read only (DSDisponible: the sound-server driver answered).
    virtual const engine::TablesEntrees& Tables() const = 0;

protected:
    ~CibleOptions() = default;
};

} // namespace shell
