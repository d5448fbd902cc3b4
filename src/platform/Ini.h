// The settings store: an INI file in the Windows-1252 code page, with sections and keys
// found regardless of letter case, as the platform's private-profile functions read it.
//
// A FichierIni holds the whole file in memory: reads and writes work on that copy, and
// Enregistre replaces the file on disk as a whole, so a failed save never leaves a file
// with sections erased and not yet rewritten. Names and string values are UTF-8 in the
// program and Windows-1252 in the file. Not shared between threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// "<program path>" with its extension replaced by ".ini" (appended when it has none).
std::string NomFichierIni(const std::string& cheminProgramme);

// Where the settings live: beside the program (NomFichierIni) when the program's folder
// is writable, else "<config>/tamburella/tamburella.ini" with <config> =
// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
std::string CheminFichierReglages(const std::string& cheminProgramme);

// The running program's full path, empty when the system does not say.
std::string CheminProgramme();

// An integer value: decimal with an optional sign, or hexadecimal after "0x"/"0X" (when
// the text is longer than two characters) or "$"; 32 bits, hexadecimal wrapping from
// 0x80000000 up as the platform's conversion does. `defaut` for anything else.
int32_t LitEntierTexte(std::string_view texte, int32_t defaut);

// Longest value read, in characters (the platform's 1024-byte buffer).
inline constexpr size_t LongueurMaxValeur = 1023;

class FichierIni {
public:
    FichierIni() = default;
    // Reads the file now, without ever waiting. A missing file is an empty store; a file
    // that exists but cannot be read, or is no regular file (a folder, a named pipe, a
    // device), is empty too, and refuses Enregistre so that it is never replaced by
    // defaults.
    explicit FichierIni(std::string chemin);
    // A store over the given bytes (tests, fuzzing); Enregistre refuses it.
    static FichierIni DepuisTexte(std::string_view octets);

    const std::string& Chemin() const { return chemin_; }

    int32_t LitEntier(std::string_view section, std::string_view cle, int32_t defaut) const;
    bool LitBooleen(std::string_view section, std::string_view cle, bool defaut) const;
    std::string LitTexte(std::string_view section, std::string_view cle,
                         std::string_view defaut) const;

    void EcritEntier(std::string_view section, std::string_view cle, int32_t valeur);
    void EcritBooleen(std::string_view section, std::string_view cle, bool valeur);
    void EcritTexte(std::string_view section, std::string_view cle, std::string_view valeur);
    // Removes the section with every line in it, keys added by hand included.
    void EffaceSection(std::string_view section);

    // The file's bytes: Windows-1252, lines ended by CR LF.
    std::string Texte() const;
    // Replaces the file by Texte(): a temporary file beside it, flushed, renamed over it.
    // The new file keeps the old one's permissions, owner and group (a save as root
    // leaves the file to its owner).
    // On failure returns "Ne peut écrire dans <full path>" and the file on disk is as it
    // was (a read-only file counts as a failure, though its folder would allow a rename).
    [[nodiscard]] std::optional<std::string> Enregistre() const;

private:
    struct Ligne {
        std::string brut; // the line as in the file, without its line end
        std::string cle;  // the key's name when the line sets a key, else empty
    };
    struct Section {
        std::string nom; // as in the file
        std::vector<Ligne> lignes;
    };

    void Analyse(std::string_view octets);
    const Section* TrouveSection(std::string_view nom) const;
    const Ligne* TrouveCle(std::string_view section, std::string_view cle) const;
    std::optional<std::string> ValeurBrute(std::string_view section, std::string_view cle) const;
    void EcritBrut(std::string_view section, std::string_view cle, std::string valeur);

    std::string chemin_;
    bool enregistrable_ = false;
    std::vector<Ligne> preambule_; // lines before the first section
    std::vector<Section> sections_;
};

} // namespace platform
