#include "platform/Ini.h"

#include "platform/Fichiers.h"
#include "platform/Texte.h"
#include "platform/Windows1252.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// A settings file is a few kilobytes; anything past this is not one of ours.
constexpr off_t TailleMaxFichier = 16 << 20;

bool EstAscii(std::string_view texte) {
    for (const char c : texte)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// `fichier`: a name as in the file; `nom`: one of the program's, in Windows-1252. A name
// that an editor saved in UTF-8 matches too, so the program finds (and erases) it.
bool MemeNom(std::string_view fichier, std::string_view nom) {
    std::string converti;
    if (!EstAscii(fichier) && VersWindows1252(fichier, converti)) fichier = converti;
    if (fichier.size() != nom.size()) return false;
    for (size_t i = 0; i < nom.size(); ++i)
        if (MinusculeWindows1252(static_cast<unsigned char>(fichier[i])) !=
            MinusculeWindows1252(static_cast<unsigned char>(nom[i])))
            return false;
    return true;
}

// A name or value of the program as it goes into the file. Text that the code page
// cannot hold (a path in Cyrillic, say) is kept as UTF-8 rather than lost.
std::string VersFichier(std::string_view utf8) {
    std::string octets;
    if (VersWindows1252(utf8, octets)) return octets;
    return std::string(utf8);
}

// A value of the file as the program reads it: Windows-1252, unless it is valid UTF-8
// with non-ASCII characters (what VersFichier keeps as UTF-8; Windows-1252 text with
// accents is practically never valid UTF-8).
std::string DepuisFichier(std::string_view octets) {
    if (EstAscii(octets) || EstUtf8Valide(octets)) return std::string(octets);
    return DepuisWindows1252(octets);
}

// The first `n` characters of UTF-8 text.
std::string_view Tronque(std::string_view utf8, size_t n) {
    size_t i = 0;
    for (size_t caracteres = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) continue;
        if (caracteres++ == n) break;
    }
    return utf8.substr(0, i);
}

// The key that a line inside a section sets: the text before its "=", without blanks.
std::string CleDeLigne(std::string_view ligne) {
    const size_t egal = ligne.find('=');
    if (egal == std::string_view::npos) return {};
    const std::string_view cle = SansBlancs(ligne.substr(0, egal));
    if (cle.empty() || cle.front() == ';') return {};
    return std::string(cle);
}

std::string Dossier(const std::string& chemin) {
    const size_t barre = chemin.find_last_of('/');
    if (barre == std::string::npos) return ".";
    return barre == 0 ? "/" : chemin.substr(0, barre);
}

} // namespace

std::string NomFichierIni(const std::string& cheminProgramme) {
    const size_t barre = cheminProgramme.find_last_of('/');
    const size_t debutNom = barre == std::string::npos ? 0 : barre + 1;
    const size_t point = cheminProgramme.find_last_of('.');
    // A leading dot names a hidden file; it does not start an extension.
    if (point == std::string::npos || point <= debutNom) return cheminProgramme + ".ini";
    return cheminProgramme.substr(0, point) + ".ini";
}

std::string CheminFichierReglages(const std::string& cheminProgramme) {
    const std::string aCote = NomFichierIni(cheminProgramme);
    if (::access(Dossier(aCote).c_str(), W_OK) == 0) return aCote;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* maison = std::getenv("HOME");
    std::string config;
    if (xdg && xdg[0] == '/') {
        config = xdg;
    } else if (maison && maison[0] == '/') {
        config = std::string(maison) + "/.config";
    } else {
        return aCote;
    }
    return config + "/tamburella/tamburella.ini";
}

std::string CheminProgramme() {
    char chemin[PATH_MAX];
    const ssize_t longueur = ::readlink("/proc/self/exe", chemin, sizeof chemin - 1);
    if (longueur <= 0) return {};
    return std::string(chemin, static_cast<size_t>(longueur));
}

int32_t LitEntierTexte(std::string_view texte, int32_t defaut) {
    texte = texte.substr(0, std::min(texte.size(), LongueurMaxValeur));
    bool negatif = false;
    if (!texte.empty() && (texte.front() == '-' || texte.front() == '+')) {
        negatif = texte.front() == '-';
        texte.remove_prefix(1);
    }
    unsigned base = 10;
    if (texte.size() > 2 && texte[0] == '0' && (texte[1] == 'x' || texte[1] == 'X')) {
        base = 16;
        texte.remove_prefix(2);
    } else if (!texte.empty() && texte.front() == '$') {
        base = 16;
        texte.remove_prefix(1);
    }
    if (texte.empty()) return defaut;
    // Decimal stays within the signed range; hexadecimal may use all 32 bits.
    const uint64_t limite = base == 16 ? 0xFFFFFFFFu : (negatif ? 0x80000000u : 0x7FFFFFFFu);
    uint64_t valeur = 0;
    for (const char c : texte) {
        unsigned chiffre;
        if (c >= '0' && c <= '9') {
            chiffre = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            chiffre = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            chiffre = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return defaut;
        }
        valeur = valeur * base + chiffre;
        if (valeur > limite) return defaut;
    }
    const auto bits = static_cast<uint32_t>(negatif ? 0u - valeur : valeur);
    return static_cast<int32_t>(bits);
}

FichierIni::FichierIni(std::string chemin) : chemin_(std::move(chemin)) {
    // A named pipe or a device in the file's place is refused at once: waiting on it would
    // hang the program, and it is no settings file to replace.
    const int fd = OuvreFichierRegulier(chemin_.c_str());
    if (fd < 0) {
        enregistrable_ = errno == ENOENT;
        return;
    }
    struct stat etat;
    std::string octets;
    bool lu = ::fstat(fd, &etat) == 0 && etat.st_size <= TailleMaxFichier;
    if (lu) {
        octets.resize(static_cast<size_t>(etat.st_size));
        size_t total = 0;
        // A file that grows meanwhile is read up to its size at the stat.
        while (total < octets.size()) {
            const ssize_t n = ::read(fd, octets.data() + total, octets.size() - total);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) lu = false;
            if (n <= 0) break;
            total += static_cast<size_t>(n);
        }
        octets.resize(total);
    }
    ::close(fd);
    if (!lu) return;
    enregistrable_ = true;
    Analyse(octets);
}

FichierIni FichierIni::DepuisTexte(std::string_view octets) {
    FichierIni ini;
    ini.Analyse(octets);
    return ini;
}

void FichierIni::Analyse(std::string_view octets) {
    // The byte-order mark of a file that an editor saved in UTF-8.
    while (octets.starts_with("\xEF\xBB\xBF"))
        octets.remove_prefix(3);
    Section* courante = nullptr;
    while (!octets.empty()) {
        const size_t fin = octets.find('\n');
        std::string_view ligne = octets.substr(0, fin);
        octets.remove_prefix(fin == std::string_view::npos ? octets.size() : fin + 1);
        if (!ligne.empty() && ligne.back() == '\r') ligne.remove_suffix(1);

        const std::string_view nue = SansBlancs(ligne);
        if (!nue.empty() && nue.front() == '[') {
            const std::string_view nom = nue.substr(1, nue.find(']') - 1);
            sections_.push_back({std::string(SansBlancs(nom)), {}});
            courante = &sections_.back();
        } else if (courante) {
            courante->lignes.push_back({std::string(ligne), CleDeLigne(ligne)});
        } else {
            preambule_.push_back({std::string(ligne), {}});
        }
    }
}

const FichierIni::Section* FichierIni::TrouveSection(std::string_view nom) const {
    const std::string octets = VersFichier(nom);
    for (const Section& section : sections_)
        if (MemeNom(section.nom, octets)) return &section;
    return nullptr;
}

const FichierIni::Ligne* FichierIni::TrouveCle(std::string_view section,
                                               std::string_view cle) const {
    const Section* s = TrouveSection(section);
    if (!s) return nullptr;
    const std::string octets = VersFichier(cle);
    for (const Ligne& ligne : s->lignes)
        if (!ligne.cle.empty() && MemeNom(ligne.cle, octets)) return &ligne;
    return nullptr;
}

std::optional<std::string> FichierIni::ValeurBrute(std::string_view section,
                                                   std::string_view cle) const {
    const Ligne* ligne = TrouveCle(section, cle);
    if (!ligne) return std::nullopt;
    const std::string_view brut = ligne->brut;
    return std::string(SansBlancs(brut.substr(brut.find('=') + 1)));
}

int32_t FichierIni::LitEntier(std::string_view section, std::string_view cle,
                              int32_t defaut) const {
    const auto valeur = ValeurBrute(section, cle);
    return valeur ? LitEntierTexte(*valeur, defaut) : defaut;
}

bool FichierIni::LitBooleen(std::string_view section, std::string_view cle, bool defaut) const {
    return LitEntier(section, cle, defaut ? 1 : 0) != 0;
}

std::string FichierIni::LitTexte(std::string_view section, std::string_view cle,
                                 std::string_view defaut) const {
    const auto valeur = ValeurBrute(section, cle);
    if (!valeur) return std::string(defaut);
    return std::string(Tronque(DepuisFichier(*valeur), LongueurMaxValeur));
}

void FichierIni::EcritBrut(std::string_view section, std::string_view cle, std::string valeur) {
    const std::string nomSection = VersFichier(section);
    const std::string nomCle = VersFichier(cle);
    Section* s = const_cast<Section*>(TrouveSection(section));
    if (!s) {
        sections_.push_back({nomSection, {}});
        s = &sections_.back();
    }
    // A key already there keeps its spelling; only its value changes.
    for (Ligne& l : s->lignes) {
        if (!l.cle.empty() && MemeNom(l.cle, nomCle)) {
            l.brut = l.cle + "=" + valeur;
            return;
        }
    }
    std::string ligne = nomCle + "=" + valeur;
    // After the section's last non-blank line, so the blank lines before the next
    // section stay where they are.
    auto position = s->lignes.end();
    while (position != s->lignes.begin() && SansBlancs((position - 1)->brut).empty())
        --position;
    s->lignes.insert(position, {std::move(ligne), nomCle});
}

void FichierIni::EcritEntier(std::string_view section, std::string_view cle, int32_t valeur) {
    EcritBrut(section, cle, std::to_string(valeur));
}

void FichierIni::EcritBooleen(std::string_view section, std::string_view cle, bool valeur) {
    EcritBrut(section, cle, valeur ? "1" : "0");
}

void FichierIni::EcritTexte(std::string_view section, std::string_view cle,
                            std::string_view valeur) {
    EcritBrut(section, cle, VersFichier(valeur));
}

void FichierIni::EffaceSection(std::string_view section) {
    const std::string octets = VersFichier(section);
    std::erase_if(sections_, [&](const Section& s) { return MemeNom(s.nom, octets); });
}

std::string FichierIni::Texte() const {
    std::string texte;
    const auto ajoute = [&](std::string_view ligne) {
        texte += ligne;
        texte += "\r\n";
    };
    for (const Ligne& ligne : preambule_)
        ajoute(ligne.brut);
    for (const Section& section : sections_) {
        ajoute("[" + section.nom + "]");
        for (const Ligne& ligne : section.lignes)
            ajoute(ligne.brut);
    }
    return texte;
}

std::optional<std::string> FichierIni::Enregistre() const {
    const std::string refus = "Ne peut écrire dans " + chemin_;
    if (!enregistrable_ || chemin_.empty()) return refus;
    // Through a symbolic link, replace the file it points to, not the link.
    std::string cible = chemin_;
    if (char* reel = ::realpath(chemin_.c_str(), nullptr)) {
        cible = reel;
        std::free(reel);
    }
    const std::string temporaire = NomTemporaire(cible);
    struct stat etat;
    bool reussi;
    if (::stat(cible.c_str(), &etat) == 0) {
        // The new file is the old one's: same owner, group and permissions, whoever saves.
        reussi = !EcritureRefusee(cible.c_str(), etat) &&
                 RemplaceFichier(cible.c_str(), temporaire.c_str(), Texte(), true, etat);
    } else {
        reussi = CreeDossiers(Dossier(cible)) &&
                 RemplaceFichier(cible.c_str(), temporaire.c_str(), Texte(), true);
    }
    if (!reussi) return refus;
    return std::nullopt;
}

} // namespace platform
