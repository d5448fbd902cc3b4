// A private PulseAudio server for tests: a null sink "essai" (48000 Hz, stereo, no
// hardware) in a runtime folder of its own, so test programs may run side by side. While
// it lives, this process's sound-server clients and ALSA's "pulse" and "default" devices
// (through the pulse plugin) reach it. Start it before the first ALSA call of the process:
// ALSA routes "default" to the server only if one answered when it read its configuration.
// The tests of real-life events kill it, freeze it and start it again on the same socket.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace essai {

class ServeurSon {
public:
    // Starts the server and waits until it answers; Pret() tells whether it did.
    ServeurSon();
    // Stops whatever still runs and removes the folder.
    ~ServeurSon();
    ServeurSon(const ServeurSon&) = delete;
    ServeurSon& operator=(const ServeurSon&) = delete;

    bool Pret() const { return pret_; }
    const std::string& Dossier() const { return dossier_; }
    static constexpr const char* Puits = "essai";
    static constexpr const char* Moniteur = "essai.monitor";
    static constexpr const char* DescriptionMoniteur = "Monitor of Essai";
    static constexpr int FePuits = 48000;

    // Plays a stereo signal into the sink for `secondes`, in the background: a sine of
    // `gauche` Hz on the left and of `droite` Hz on the right, amplitude `amplitude` of full
    // scale (a frequency of 0 gives silence). Replaces what was playing.
    bool Joue(double gauche, double droite, double secondes = 20, double amplitude = 0.5);
    void ArreteJeu();

    // Kills the server at once, as a crash would (its helper reader goes with it).
    void Tue();
    // Starts the server again on the same socket, as a session restart does: whatever
    // still runs of the old one is stopped first; true once it answers.
    bool Redemarre();
    // Freezes the server (SIGSTOP) as an overloaded machine may: connections stay open and
    // new ones are accepted, but nothing is answered. Degele lets it go on (SIGCONT).
    void Gele();
    void Degele();

    // Runs pactl against the server with `arguments`; its exit code.
    int Pactl(const std::vector<std::string>& arguments);

private:
    pid_t Lance(const std::vector<std::string>& arguments, bool pourServeur);
    // The server, its helper reader and the sink's clock reset; true once it answers.
    bool Demarre();
    bool AttendReponse();

    std::string dossier_;
    std::vector<std::string> environnement_; // NAME=value overrides for the children
    pid_t serveur_ = -1;
    pid_t lecteur_ = -1; // keeps the sink's clock honest (see the .cpp)
    pid_t joueur_ = -1;
    bool pret_ = false;
    bool gele_ = false;
};

} // namespace essai
