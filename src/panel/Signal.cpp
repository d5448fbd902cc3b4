#include "panel/Signal.h"

#include "platform/Fichiers.h"
#include "platform/Locale.h"
#include "platform/Nombres.h"
#include "platform/Texte.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace panel {
namespace {

using platform::SansBlancs;

// Longest text line: "-2147483648 ; -2147483648" and its CR LF.
constexpr size_t LongueurMaxLigneEcrite = 27;
constexpr size_t TailleMaxFichier = NbEchSignal * LongueurMaxLigneEcrite;
// Longest text line read; a longer one is no number of ours.
constexpr size_t LongueurMaxLigneLue = 4096;

void EcritMot16(char* p, uint32_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>((v >> 8) & 0xFF);
}
void EcritMot32(char* p, uint32_t v) {
    EcritMot16(p, v & 0xFFFF);
    EcritMot16(p + 2, v >> 16);
}

// Rounded to the nearest integer, ties to even, and held within [min, max]; NaN gives 0.
int32_t Arrondi(float valeur, int32_t min, int32_t max) {
    if (std::isnan(valeur)) return 0;
    const double arrondi = std::nearbyint(static_cast<double>(valeur));
    if (arrondi <= min) return min;
    if (arrondi >= max) return max;
    return static_cast<int32_t>(arrondi);
}

size_t ComposeWav(char* sortie, int32_t n, const TableauBruts& bruts, int32_t canaux, int32_t fe) {
    const uint32_t alignement = 2u * static_cast<uint32_t>(canaux);
    const uint32_t donnees = static_cast<uint32_t>(n) * alignement;
    std::memcpy(sortie, "RIFF", 4);
    EcritMot32(sortie + 4, 40 + donnees);
    std::memcpy(sortie + 8, "WAVEfmt ", 8);
    EcritMot32(sortie + 16, 20);
    EcritMot16(sortie + 20, 1);
    EcritMot16(sortie + 22, static_cast<uint32_t>(canaux));
    EcritMot32(sortie + 24, static_cast<uint32_t>(fe));
    EcritMot32(sortie + 28, static_cast<uint32_t>(fe) * alignement);
    EcritMot16(sortie + 32, alignement);
    EcritMot16(sortie + 34, 16);
    EcritMot32(sortie + 36, 0); // no extra format data, then the reserved word
    std::memcpy(sortie + 40, "data", 4);
    EcritMot32(sortie + 44, donnees);
    char* p = sortie + TailleEnteteWav;
    for (int32_t i = NbEchSignal - n; i < NbEchSignal; ++i) {
        for (int32_t k = 0; k < canaux; ++k, p += 2) {
            const int32_t echantillon = Arrondi(bruts[k][i], -32768, 32767);
            EcritMot16(p, static_cast<uint32_t>(echantillon) & 0xFFFF);
        }
    }
    return static_cast<size_t>(p - sortie);
}

size_t ComposeTexte(char* sortie, int32_t n, const TableauBruts& bruts, int32_t canaux) {
    char* p = sortie;
    const auto nombre = [&](float valeur) {
        p = std::to_chars(p, p + 12, Arrondi(valeur, INT32_MIN, INT32_MAX)).ptr;
    };
    for (int32_t i = NbEchSignal - n; i < NbEchSignal; ++i) {
        nombre(bruts[0][i]);
        if (canaux == 2) {
            std::memcpy(p, " ; ", 3);
            p += 3;
            nombre(bruts[1][i]);
        }
        *p++ = '\r';
        *p++ = '\n';
    }
    return static_cast<size_t>(p - sortie);
}

// Lines of a file read through a fixed buffer: a hostile file costs no more memory than
// a good one. A line ends at LF, CR or CR LF.
class LecteurLignes {
public:
    explicit LecteurLignes(int fd) : fd_(fd) { ligne_.reserve(LongueurMaxLigneLue); }

    // False at the end of the file, on a read error, or for a line too long.
    bool Suivante(std::string_view& ligne) {
        ligne_.clear();
        bool lu = false;
        int c;
        while ((c = Octet()) >= 0) {
            lu = true;
            if (c == '\n') break;
            if (c == '\r') {
                if (Regarde() == '\n') Octet();
                break;
            }
            if (ligne_.size() == LongueurMaxLigneLue) return false;
            ligne_ += static_cast<char>(c);
        }
        ligne = ligne_;
        return lu && !erreur_;
    }

private:
    int Regarde() {
        if (debut_ == fin_ && !Remplit()) return -1;
        return static_cast<unsigned char>(tampon_[debut_]);
    }
    int Octet() {
        const int c = Regarde();
        if (c >= 0) ++debut_;
        return c;
    }
    bool Remplit() {
        for (;;) {
            const ssize_t n = ::read(fd_, tampon_.data(), tampon_.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) erreur_ = true;
            debut_ = 0;
            fin_ = n > 0 ? static_cast<size_t>(n) : 0;
            return n > 0;
        }
    }

    int fd_;
    std::array<char, 65536> tampon_;
    size_t debut_ = 0;
    size_t fin_ = 0;
    bool erreur_ = false;
    std::string ligne_;
};

// A real number: [sign] digits [separator digits] [e [sign] digits], at least one digit
// before the exponent, blanks around it. The separator is the locale's or a point.
bool LitReel(std::string_view texte, char separateur, float& valeur) {
    long double v;
    if (!platform::LitNombre(texte, separateur, v)) return false;
    const auto simple = static_cast<float>(v);
    if (!std::isfinite(simple)) return false;
    valeur = simple;
    return true;
}

// The file as the sound-file library sees it, read with pread from where the descriptor
// stood. Through these calls the library never owns (or closes) the descriptor, which it
// does with one given to sf_open_fd when it refuses the file.
class SourceSon {
public:
    bool Ouvre(int fd) {
        struct stat etat;
        const off_t position = ::lseek(fd, 0, SEEK_CUR);
        if (::fstat(fd, &etat) != 0 || !S_ISREG(etat.st_mode) || position < 0) return false;
        fd_ = fd;
        debut_ = position;
        taille_ = std::max<sf_count_t>(0, etat.st_size - position);
        return true;
    }

    static SF_VIRTUAL_IO Fonctions() {
        SF_VIRTUAL_IO f{};
        f.get_filelen = [](void* s) { return static_cast<SourceSon*>(s)->taille_; };
        f.seek = [](sf_count_t decalage, int origine, void* s) {
            return static_cast<SourceSon*>(s)->Deplace(decalage, origine);
        };
        f.read = [](void* destination, sf_count_t n, void* s) {
            return static_cast<SourceSon*>(s)->Lit(destination, n);
        };
        f.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
        f.tell = [](void* s) { return static_cast<SourceSon*>(s)->position_; };
        return f;
    }

    // Exactly n bytes at `position` of the file; false when the file ends before.
    bool LitA(sf_count_t position, void* destination, sf_count_t n) {
        position_ = position;
        return Lit(destination, n) == n;
    }
    void Rembobine() { position_ = 0; }

private:
    sf_count_t Deplace(sf_count_t decalage, int origine) {
        const sf_count_t base = origine == SEEK_CUR ? position_ : origine == SEEK_END ? taille_ : 0;
        // Past the end is allowed (reads there find nothing); before the start, or beyond
        // the counter's range, is not.
        if (decalage < -base || decalage > std::numeric_limits<sf_count_t>::max() - base) return -1;
        position_ = base + decalage;
        return position_;
    }
    sf_count_t Lit(void* destination, sf_count_t n) {
        sf_count_t total = 0;
        auto* octets = static_cast<char*>(destination);
        while (total < n && position_ < taille_) {
            const size_t voulu = static_cast<size_t>(std::min(n - total, taille_ - position_));
            const ssize_t lus = ::pread(fd_, octets + total, voulu, debut_ + position_);
            if (lus < 0 && errno == EINTR) continue;
            if (lus <= 0) break;
            total += lus;
            position_ += lus;
        }
        return total;
    }

    int fd_ = -1;
    off_t debut_ = 0;
    sf_count_t taille_ = 0;
    sf_count_t position_ = 0;
};

uint32_t Mot32(const uint8_t* p, bool grosBoutiste) {
    if (grosBoutiste)
        return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}
uint32_t Mot16(const uint8_t* p, bool grosBoutiste) {
    return grosBoutiste ? uint32_t{p[0]} << 8 | p[1] : uint32_t{p[1]} << 8 | p[0];
}

// Codings of the samples that are plain numbers: integer PCM, IEEE float, A-law, µ-law.
bool CodageSimple(uint32_t codage) {
    return codage == 1 || codage == 3 || codage == 6 || codage == 7;
}

// The file's container and coding, read before the sound-file library sees any of it,
// which would otherwise decode whatever it recognises (AIFF, FLAC, Ogg, MP3, and ADPCM,
// GSM or MPEG inside a WAV): only the WAV family ("RIFF" or big-endian "RIFX" with
// "WAVE", RF64), holding plain samples (CodageSimple, also as the sub-format of
// WAVE_FORMAT_EXTENSIBLE). The format chunk must come before the data.
bool WavSimple(SourceSon& source) {
    uint8_t entete[12];
    if (!source.LitA(0, entete, sizeof entete)) return false;
    const auto marque = [](const uint8_t* p, const char* texte) {
        return std::memcmp(p, texte, 4) == 0;
    };
    const bool riff = marque(entete, "RIFF"), rifx = marque(entete, "RIFX");
    if (!(riff || rifx || marque(entete, "RF64")) || !marque(entete + 8, "WAVE")) return false;
    // A WAV holds a handful of chunks before its format; a file of thousands is no WAV.
    constexpr int MaxMorceaux = 64;
    constexpr uint32_t CodageExtensible = 0xFFFE;
    sf_count_t position = sizeof entete;
    for (int i = 0; i < MaxMorceaux; ++i) {
        uint8_t morceau[8];
        if (!source.LitA(position, morceau, sizeof morceau)) return false;
        const uint32_t taille = Mot32(morceau + 4, rifx);
        if (marque(morceau, "data")) return false;
        if (marque(morceau, "fmt ")) {
            // wFormatTag, ... and for the extensible format the first field of its
            // sub-format's GUID, which holds the coding.
            uint8_t format[28];
            if (taille < 16 || !source.LitA(position + 8, format, std::min<uint32_t>(taille, 28)))
                return false;
            uint32_t codage = Mot16(format, rifx);
            if (codage == CodageExtensible) {
                if (taille < 28) return false;
                codage = Mot32(format + 24, rifx);
            }
            return CodageSimple(codage);
        }
        position += 8 + sf_count_t{taille} + (taille & 1);
    }
    return false;
}

// What the library opened, checked again: a WAV-family container with plain samples.
bool FormatSimple(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
        break;
    default:
        return false;
    }
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return true;
    default:
        return false;
    }
}

} // namespace

bool EstNomWav(std::string_view nom) {
    const size_t barre = nom.find_last_of('/');
    const size_t point = nom.find_last_of('.');
    if (point == std::string_view::npos || (barre != std::string_view::npos && point < barre))
        return false;
    const std::string_view extension = nom.substr(point);
    if (extension.size() != 4) return false;
    const char attendu[] = ".WAV";
    for (size_t i = 0; i < 4; ++i) {
        char c = extension[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != attendu[i]) return false;
    }
    return true;
}

bool EnteteWavValide(std::span<const uint8_t, TailleEnteteWav> entete) {
    const auto marque = [&](size_t position, const char* texte) {
        return std::memcmp(entete.data() + position, texte, 4) == 0;
    };
    return marque(0, "RIFF") && marque(8, "WAVE") && marque(12, "fmt ") && marque(40, "data");
}

EcrivainSignal::EcrivainSignal(bool synchronise) : synchronise_(synchronise) {
    tampon_.resize(std::max(TailleMaxFichier, TailleEnteteWav + NbEchSignal * 4));
}

bool EcrivainSignal::Enregistre(const std::string& nom, int32_t n, const TableauBruts& bruts,
                                int32_t nbCanaux, int32_t fe) {
    n = std::clamp(n, 1, NbEchSignal);
    const int32_t canaux = nbCanaux == 2 ? 2 : 1;
    if (nom != nom_) {
        nom_ = nom;
        temporaire_ = platform::NomTemporaire(nom);
    }
    if (nom_.empty()) return false;
    struct stat ancien;
    const bool existe = ::stat(nom_.c_str(), &ancien) == 0;
    if (existe && platform::EcritureRefusee(nom_.c_str(), ancien)) return false;
    const size_t taille = EstNomWav(nom_) ? ComposeWav(tampon_.data(), n, bruts, canaux, fe)
                                          : ComposeTexte(tampon_.data(), n, bruts, canaux);
    const std::string_view contenu(tampon_.data(), taille);
    // A file that was there stays its owner's, with its permissions, whoever writes it.
    if (existe)
        return platform::RemplaceFichier(nom_.c_str(), temporaire_.c_str(), contenu, synchronise_,
                                         ancien);
    return platform::RemplaceFichier(nom_.c_str(), temporaire_.c_str(), contenu, synchronise_);
}

bool EnregistreSignal(const std::string& nom, int32_t n, const TableauBruts& bruts,
                      int32_t nbCanaux, int32_t fe) {
    EcrivainSignal ecrivain(true);
    return ecrivain.Enregistre(nom, n, bruts, nbCanaux, fe);
}

std::string_view MessageChargement(ErreurChargement erreur) {
    switch (erreur) {
    case ErreurChargement::Aucune:
        return {};
    case ErreurChargement::Illisible:
        return MessageLectureImpossible;
    case ErreurChargement::WavTropCourt:
        return MessageWavTropCourt;
    case ErreurChargement::WavNonSupporte:
        return MessageWavNonSupporte;
    }
    return MessageLectureImpossible;
}

ErreurChargement ChargeSignalTexte(int fd, TableauBruts& bruts) {
    auto lecteur = std::make_unique<LecteurLignes>(fd);
    const char separateur = platform::SeparateurDecimal();
    std::string_view ligne;
    for (int32_t i = 0; i < NbEchSignal; ++i) {
        if (!lecteur->Suivante(ligne)) return ErreurChargement::Illisible;
        const size_t pointVirgule = ligne.find(';');
        float gauche, droite;
        if (!LitReel(ligne.substr(0, pointVirgule), separateur, gauche))
            return ErreurChargement::Illisible;
        if (pointVirgule != std::string_view::npos) {
            if (!LitReel(ligne.substr(pointVirgule + 1), separateur, droite))
                return ErreurChargement::Illisible;
            bruts[1][i] = droite;
        }
        bruts[0][i] = gauche;
    }
    return ErreurChargement::Aucune;
}

ErreurChargement ChargeSignalWav(int fd, TableauBruts& bruts, int32_t nbCanaux) {
    SourceSon source;
    if (!source.Ouvre(fd)) return ErreurChargement::Illisible;
    if (!WavSimple(source)) return ErreurChargement::WavNonSupporte;
    source.Rembobine();
    SF_VIRTUAL_IO fonctions = SourceSon::Fonctions();
    SF_INFO info{};
    SNDFILE* fichier = sf_open_virtual(&fonctions, SFM_READ, &info, &source);
    if (!fichier) return ErreurChargement::WavNonSupporte;
    const int32_t canauxFichier = info.channels;
    if (canauxFichier < 1 || !FormatSimple(info.format)) {
        sf_close(fichier);
        return ErreurChargement::WavNonSupporte;
    }
    const int32_t canaux = std::min(nbCanaux == 2 ? 2 : 1, canauxFichier);
    // Read in blocks of at most 64 Ki samples whatever the channel count; the frames are
    // gathered apart so that a short file changes nothing.
    const int32_t parBloc = std::max(1, 65536 / canauxFichier);
    std::vector<float> bloc(static_cast<size_t>(parBloc) * static_cast<size_t>(canauxFichier));
    auto lus = std::make_unique<TableauBruts>();
    int32_t total = 0;
    while (total < NbEchSignal) {
        const sf_count_t demande = std::min(parBloc, NbEchSignal - total);
        const sf_count_t obtenus = sf_readf_float(fichier, bloc.data(), demande);
        if (obtenus <= 0) break;
        for (sf_count_t j = 0; j < obtenus; ++j, ++total) {
            for (int32_t k = 0; k < canaux; ++k) {
                // The library gives full scale as ±1; our unit is one 16-bit step.
                const float v = bloc[static_cast<size_t>(j * canauxFichier + k)] * 32768.0f;
                (*lus)[k][total] = std::isfinite(v) ? v : 0.0f;
            }
        }
    }
    sf_close(fichier);
    if (total < NbEchSignal) return ErreurChargement::WavTropCourt;
    for (int32_t k = 0; k < canaux; ++k)
        bruts[k] = (*lus)[k];
    return ErreurChargement::Aucune;
}

ErreurChargement ChargeSignal(const std::string& nom, TableauBruts& bruts, int32_t nbCanaux) {
    // A named pipe, a device or a folder is refused at once rather than waited on.
    const int fd = platform::OuvreFichierRegulier(nom.c_str());
    if (fd < 0) return ErreurChargement::Illisible;
    const ErreurChargement erreur =
        EstNomWav(nom) ? ChargeSignalWav(fd, bruts, nbCanaux) : ChargeSignalTexte(fd, bruts);
    ::close(fd);
    return erreur;
}

} // namespace panel
