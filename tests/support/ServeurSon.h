// A private sound server for tests, with a null sink "essai" (48000 Hz, stereo, no
// hardware) in a runtime folder of its own, so test programs may run side by side:
// PulseAudio, or PipeWire as desktops run it (pipewire, WirePlumber on a private session
// bus, and pipewire-pulse for the PulseAudio protocol; ALSA clients reach it through the
// pulse plugin). While it is the active server, this process's sound-server clients and
// ALSA's "pulse" and "default" devices (through the pulse plugin) reach it. Start it before
// the first ALSA call of the process: ALSA routes "default" to the server only if one
// answered when it read its configuration.
//
// Programs that run against every server list the types with ServeursEssayes and take
// their server from ServeurPartage: one per type and program, which each test leaves as it
// found it (a test that kills or changes its server starts its own).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace essai {

enum class TypeServeur { PulseAudio, PipeWire };

class ServeurSon {
public:
    // Starts the server and waits until it answers; Pret() tells whether it did. It is then
    // the active server (see Active).
    explicit ServeurSon(TypeServeur type = TypeServeur::PulseAudio);
    // Stops whatever still runs and removes the folder.
    ~ServeurSon();
    ServeurSon(const ServeurSon&) = delete;
    ServeurSon& operator=(const ServeurSon&) = delete;

    bool Pret() const { return pret_; }
    TypeServeur Type() const { return type_; }
    const std::string& Dossier() const { return dossier_; }
    static constexpr const char* Puits = "essai";
    static constexpr const char* Moniteur = "essai.monitor";
    static constexpr const char* DescriptionMoniteur = "Monitor of Essai";
    static constexpr int FePuits = 48000;

    // Points this process's clients that connect from now on at this server.
    void Active();
    // Ready, and its server process still runs.
    bool EnMarche();

    // Plays a stereo signal into the sink for `secondes`, in the background: a sine of
    // `gauche` Hz on the left and of `droite` Hz on the right, amplitude `amplitude` of full
    // scale (a frequency of 0 gives silence). Replaces what was playing.
    bool Joue(double gauche, double droite, double secondes = 20, double amplitude = 0.5);
    void ArreteJeu();

    // Kills the server the clients talk to at once, as a crash would.
    void Tue();

    // Runs pactl against the server with `arguments`; its exit code.
    int Pactl(const std::vector<std::string>& arguments);

private:
    bool DemarrePulseAudio();
    bool DemarrePipeWire();
    // Starts a child with the server's environment; its output goes to `sortie` when given.
    // The child is killed if this process dies.
    pid_t Lance(const std::vector<std::string>& arguments, bool pourServeur,
                const std::string& sortie = "");
    bool AttendReponse();
    // Waits until the helper reader is connected to the server.
    bool AttendLecteur();
    // Waits until `chemin` exists while `pid` runs.
    bool AttendFichier(const std::string& chemin, pid_t& pid);
    int PactlVers(const std::vector<std::string>& arguments, const std::string& sortie);
    // What pactl printed for `arguments`, without the final line end; "" on failure.
    std::string PactlTexte(const std::vector<std::string>& arguments);

    TypeServeur type_;
    std::string dossier_;
    std::vector<std::string> environnement_; // NAME=value overrides for the children
    std::vector<std::string> clients_;       // what this process's clients need of them
    pid_t serveur_ = -1;                     // what the clients talk to
    std::vector<pid_t> auxiliaires_;         // started before it, stopped after it
    pid_t lecteur_ = -1;                     // keeps the sink's clock honest (see the .cpp)
    pid_t joueur_ = -1;
    bool pret_ = false;
};

// The servers that integration tests run against: both. Each case runs unless the
// environment variable TAMBURELLA_SERVEUR_SON names the other one ("PulseAudio" or
// "PipeWire"); it is then skipped (see ServeurChoisi), so the list of cases never depends
// on the environment.
std::vector<TypeServeur> ServeursEssayes();
bool ServeurChoisi(TypeServeur type);
const char* NomServeur(TypeServeur type);

// The server of type `type` shared by the tests of this program: started at first use
// (again if it stopped), kept until the program ends, made the active one, with nothing
// playing. Pret() tells whether it runs.
ServeurSon& ServeurPartage(TypeServeur type);

} // namespace essai
