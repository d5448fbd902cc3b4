// A private print server for tests: cupsd with a configuration, spool and socket of its own
// in a temporary folder, and one queue over the cups-pdf backend that writes each job as a
// PDF file into Sorties(). Nothing of the system's print setup is used or changed, but for
// the queue's cups-pdf settings, which cups-pdf only reads from /etc/cups (a file named
// after the queue, removed at the end, or by the next server if this process was killed;
// the server itself ends with this process). Needs root, as cups-pdf does. While it lives, this
// process's CUPS clients (Qt's print support, libcups) reach it: set up before the first
// print call of the process.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace essai {

class ServeurImpression {
public:
    // Starts the server, waits until it answers and adds the queue; Pret() tells whether
    // all went well (else Erreur() says why).
    ServeurImpression();
    // Stops the server and removes its folder and the queue's settings.
    ~ServeurImpression();
    ServeurImpression(const ServeurImpression&) = delete;
    ServeurImpression& operator=(const ServeurImpression&) = delete;

    bool Pret() const { return pret_; }
    const std::string& Erreur() const { return erreur_; }
    const std::string& File() const { return file_; }
    std::string Sorties() const { return dossier_ + "/pdf"; }

    // Jobs the server knows: not yet completed, or completed.
    std::vector<std::string> TravauxEnCours();
    std::vector<std::string> TravauxTermines();
    // Waits until `nombre` jobs in all are completed and as many PDF files written; the
    // files, sorted (empty on timeout).
    std::vector<std::string> AttendPdf(size_t nombre, std::chrono::seconds limite);
    // The PDF files written so far.
    std::vector<std::string> Pdf() const;

private:
    int Execute(const std::vector<std::string>& arguments, std::string* sortie = nullptr);
    std::vector<std::string> Travaux(const char* quels);

    std::string dossier_, file_, reglagesPdf_, socket_, erreur_;
    pid_t serveur_ = -1;
    bool pret_ = false;
};

} // namespace essai
