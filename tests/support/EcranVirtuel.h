// A private X server for end-to-end tests: Xvfb on a free display (no window manager, so
// windows sit exactly where the program puts them), screen grabs through Xlib, and the
// user's mouse and keyboard through xdotool. While it lives, DISPLAY names it for this
// process and its children.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

namespace essai {

class EcranVirtuel {
public:
    // Starts the server with one screen of `largeur` × `hauteur` pixels at 96 dpi and
    // waits until it answers; Pret() tells whether it did.
    EcranVirtuel(int largeur = 1600, int hauteur = 1000);
    ~EcranVirtuel();
    EcranVirtuel(const EcranVirtuel&) = delete;
    EcranVirtuel& operator=(const EcranVirtuel&) = delete;

    bool Pret() const { return x_ != nullptr; }
    const std::string& Nom() const { return nom_; }

    // A rectangle of the screen, pixels as 0xRRGGBB.
    struct Image {
        int Largeur = 0, Hauteur = 0;
        std::vector<uint32_t> Pixels;
        uint32_t Pixel(int x, int y) const {
            return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Largeur) +
                          static_cast<size_t>(x)];
        }
        bool operator==(const Image&) const = default;
    };
    Image Capture(int x, int y, int largeur, int hauteur);

    // The formats the owner of the clipboard offers (its TARGETS), asked as a program
    // that pastes asks them; none when nobody owns it or it does not answer in time.
    std::vector<std::string> CiblesPressePapiers();

    // Runs xdotool with `arguments` and waits for it; its exit code.
    int Xdotool(const std::vector<std::string>& arguments);
    // The pointer to (x, y) on the screen, back once it is there.
    void Pointe(int x, int y);
    void Clic(int x, int y, int bouton = 1);
    void Touches(const std::string& touches); // e.g. "ctrl+l"
    void Tape(const std::string& texte);

private:
    pid_t serveur_ = -1;
    std::string nom_;
    _XDisplay* x_ = nullptr;
};

// Starts `programme` with `arguments` in `dossier` (stdout and stderr into
// dossier/journal.txt); the process id, -1 on failure. It dies with the test.
pid_t Lance(const std::string& programme, const std::vector<std::string>& arguments,
            const std::string& dossier);
// Waits up to `secondes` for `pid` to end; its exit status, or -1 if it did not end (it
// is then killed).
int AttendFin(pid_t pid, double secondes);

} // namespace essai
