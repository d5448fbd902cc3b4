#include "panel/Signal.h"

#include "platform/Locale.h"

#include "AttenteBornee.h"
#include "DossierTemporaire.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>

using panel::ErreurChargement;
using panel::TableauBruts;

namespace {

constexpr int32_t N = panel::NbEchSignal;

std::unique_ptr<TableauBruts> Remplis(float (*f)(int canal, int i)) {
    auto bruts = std::make_unique<TableauBruts>();
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < N; ++i)
            (*bruts)[k][i] = f(k, i);
    return bruts;
}

// Integers over the whole 16-bit range, different on each channel.
float Motif(int canal, int i) {
    return static_cast<float>(((i * 37 + canal * 1001) % 65536) - 32768);
}
float Sentinelle(int, int) {
    return 0.25f;
}

uint32_t Mot32(const std::string& octets, size_t position) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(octets[position + i]);
    return v;
}
uint32_t Mot16(const std::string& octets, size_t position) {
    return static_cast<unsigned char>(octets[position]) |
           static_cast<unsigned char>(octets[position + 1]) << 8;
}

// Runs a shell command; its standard output.
std::string Sortie(const std::string& commande) {
    std::string texte;
    FILE* tube = ::popen(commande.c_str(), "r");
    if (!tube) return texte;
    char tampon[4096];
    size_t n;
    while ((n = std::fread(tampon, 1, sizeof tampon, tube)) > 0)
        texte.append(tampon, n);
    ::pclose(tube);
    return texte;
}

void ExigeSox() {
    ASSERT_EQ(std::system("command -v sox >/dev/null && command -v soxi >/dev/null"), 0)
        << "sox is needed (scripts/installer-paquets.sh installs it)";
}

TEST(Signal, WavByTheExtensionInAnyCase) {
    for (const char* nom : {"a.wav", "a.WAV", "/x/y.WaV", "x.csv.wav"})
        EXPECT_TRUE(panel::EstNomWav(nom)) << nom;
    for (const char* nom : {"a.csv", "a", "wav", "a.wave", "a.wav.csv", "/d.wav/a", "a.wa"})
        EXPECT_FALSE(panel::EstNomWav(nom)) << nom;
}

TEST(Signal, StereoWavLayoutAndRounding) {
    DossierTemporaire dossier;
    auto bruts = Remplis(Motif);
    const float speciaux[] = {0.5f, 1.5f, -2.5f, 40000.0f, -40000.0f, NAN, -0.4f};
    const int16_t attendus[] = {0, 2, -2, 32767, -32768, 0, 0};
    for (size_t i = 0; i < std::size(speciaux); ++i)
        (*bruts)[1][i] = speciaux[i];

    const std::string chemin = dossier.Chemin("signal.wav");
    ASSERT_TRUE(panel::EnregistreSignal(chemin, N, *bruts, 2, 44100));
    const std::string octets = LitFichier(chemin);
    ASSERT_EQ(octets.size(), 81968u);
    EXPECT_EQ(octets.substr(0, 4), "RIFF");
    EXPECT_EQ(Mot32(octets, 4), 81960u);
    EXPECT_EQ(octets.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(Mot32(octets, 16), 20u);
    EXPECT_EQ(Mot16(octets, 20), 1u);
    EXPECT_EQ(Mot16(octets, 22), 2u);
    EXPECT_EQ(Mot32(octets, 24), 44100u);
    EXPECT_EQ(Mot32(octets, 28), 176400u);
    EXPECT_EQ(Mot16(octets, 32), 4u);
    EXPECT_EQ(Mot16(octets, 34), 16u);
    EXPECT_EQ(Mot32(octets, 36), 0u);
    EXPECT_EQ(octets.substr(40, 4), "data");
    EXPECT_EQ(Mot32(octets, 44), 81920u);
    for (size_t i = 0; i < std::size(attendus); ++i) {
        EXPECT_EQ(static_cast<int16_t>(Mot16(octets, 48 + 4 * i)), (*bruts)[0][i]);
        EXPECT_EQ(static_cast<int16_t>(Mot16(octets, 50 + 4 * i)), attendus[i]) << speciaux[i];
    }

    std::array<uint8_t, panel::TailleEnteteWav> entete;
    std::memcpy(entete.data(), octets.data(), entete.size());
    EXPECT_TRUE(panel::EnteteWavValide(entete));
    for (size_t position : {0, 8, 12, 40}) {
        auto abime = entete;
        abime[position + 1] ^= 0x20; // a change of letter case counts
        EXPECT_FALSE(panel::EnteteWavValide(abime)) << position;
    }
}

TEST(Signal, RoundTripsWavAndTextMonoAndStereo) {
    DossierTemporaire dossier;
    const auto source = Remplis([](int k, int i) { return Motif(k, i) + (i % 3 - 1) * 0.3f; });
    for (const char* nom : {"s.wav", "s.csv"}) {
        for (int32_t canaux : {1, 2}) {
            SCOPED_TRACE(std::string(nom) + " " + std::to_string(canaux));
            const std::string chemin = dossier.Chemin(nom);
            ASSERT_TRUE(panel::EnregistreSignal(chemin, N, *source, canaux, 22050));
            auto charge = Remplis(Sentinelle);
            ASSERT_EQ(panel::ChargeSignal(chemin, *charge, canaux), ErreurChargement::Aucune);
            for (int k = 0; k < 2; ++k) {
                for (int i = 0; i < N; ++i) {
                    const float attendu = k < canaux ? std::nearbyint((*source)[k][i]) : 0.25f;
                    ASSERT_EQ((*charge)[k][i], attendu) << k << " " << i;
                }
            }
        }
    }
}

TEST(Signal, TextLayout) {
    DossierTemporaire dossier;
    auto bruts = Remplis(Sentinelle);
    (*bruts)[0][0] = -1234.0f;
    (*bruts)[1][0] = 567.0f;
    (*bruts)[0][N - 1] = 2.5f;
    (*bruts)[1][N - 1] = -2147483648.0f * 4;
    const std::string chemin = dossier.Chemin("Tamburella.csv");

    ASSERT_TRUE(panel::EnregistreSignal(chemin, N, *bruts, 2, 44100));
    std::string texte = LitFichier(chemin);
    EXPECT_EQ(texte.substr(0, 18), "-1234 ; 567\r\n0 ; 0");
    EXPECT_EQ(texte.substr(texte.size() - 19), "\r\n2 ; -2147483648\r\n");
    size_t lignes = 0;
    for (size_t i = 0; (i = texte.find("\r\n", i)) != std::string::npos; i += 2)
        ++lignes;
    EXPECT_EQ(lignes, static_cast<size_t>(N));
    EXPECT_EQ(texte.find('\n'), texte.find("\r\n") + 1);

    ASSERT_TRUE(panel::EnregistreSignal(chemin, N, *bruts, 1, 44100));
    texte = LitFichier(chemin);
    EXPECT_EQ(texte.substr(0, 10), "-1234\r\n0\r\n");
    EXPECT_EQ(texte.size(), 7 + (N - 2) * 3 + 3u);
}

TEST(Signal, BufferFileHoldsTheNewestSamplesEachFrame) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("Tamburella.csv");
    panel::EcrivainSignal ecrivain;
    auto bruts = Remplis([](int k, int i) { return static_cast<float>(k ? -i : i); });
    ASSERT_TRUE(ecrivain.Enregistre(chemin, 1000, *bruts, 2, 44100));
    std::string texte = LitFichier(chemin);
    EXPECT_EQ(texte.substr(0, 18), "19480 ; -19480\r\n19");
    EXPECT_EQ(texte.size(), 1000 * 16u);

    (*bruts)[0][N - 1] = 7;
    ASSERT_TRUE(ecrivain.Enregistre(chemin, 1000, *bruts, 2, 44100));
    texte = LitFichier(chemin);
    EXPECT_EQ(texte.substr(texte.size() - 12), "7 ; -20479\r\n");
    EXPECT_EQ(dossier.Fichiers(), std::vector<std::string>{"Tamburella.csv"});

    // A name that changes between frames, and a WAV buffer file.
    const std::string wav = dossier.Chemin("tampon.WAV");
    ASSERT_TRUE(ecrivain.Enregistre(wav, 1000, *bruts, 1, 8000));
    EXPECT_EQ(LitFichier(wav).size(), 48 + 2000u);
    // Counts out of range are brought into 1 .. 20480.
    ASSERT_TRUE(ecrivain.Enregistre(chemin, 0, *bruts, 1, 44100));
    EXPECT_EQ(LitFichier(chemin), "7\r\n");
}

// The acquisition thread rewrites the buffer file while another program reads it: the
// reader finds a whole file every time, from one frame or the next.
TEST(Signal, ReadersNeverSeeHalfAFile) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("Tamburella.csv");
    auto bruts = std::make_unique<TableauBruts>();
    panel::EcrivainSignal ecrivain;
    ASSERT_TRUE(ecrivain.Enregistre(chemin, 1000, *bruts, 2, 44100));

    std::atomic<bool> fini{false};
    std::atomic<int> lectures{0}, abimees{0};
    std::thread lecteur([&] {
        while (!fini.load()) {
            const std::string texte = LitFichier(chemin);
            // Every line of one frame is the same "k ; k".
            const std::string premiere = texte.substr(0, texte.find("\r\n") + 2);
            bool entier = !texte.empty() && texte.size() == 1000 * premiere.size();
            for (size_t i = 0; entier && i < texte.size(); i += premiere.size())
                entier = texte.compare(i, premiere.size(), premiere) == 0;
            lectures.fetch_add(1);
            if (!entier) abimees.fetch_add(1);
        }
    });
    for (int trame = 0; trame < 300; ++trame) {
        const auto valeur = static_cast<float>(trame * 997);
        for (auto& canal : *bruts)
            canal.fill(valeur);
        ASSERT_TRUE(ecrivain.Enregistre(chemin, 1000, *bruts, 2, 44100));
    }
    fini.store(true);
    lecteur.join();
    EXPECT_GT(lectures.load(), 0);
    EXPECT_EQ(abimees.load(), 0);
}

TEST(Signal, FailedWritesReportAndKeepThePreviousFile) {
    DossierTemporaire dossier;
    auto bruts = Remplis(Motif);
    EXPECT_FALSE(panel::EnregistreSignal("/proc/tamburella-absent/s.wav", N, *bruts, 2, 44100));
    EXPECT_FALSE(panel::EnregistreSignal("", N, *bruts, 2, 44100));

    const std::string chemin = dossier.Chemin("protege.csv");
    EcritFichier(chemin, "1\r\n");
    ASSERT_EQ(::chmod(chemin.c_str(), 0444), 0);
    panel::EcrivainSignal tampon;
    EXPECT_FALSE(tampon.Enregistre(chemin, 1000, *bruts, 2, 44100));
    EXPECT_FALSE(panel::EnregistreSignal(chemin, N, *bruts, 2, 44100));
    EXPECT_EQ(LitFichier(chemin), "1\r\n");
    EXPECT_EQ(dossier.Fichiers(), std::vector<std::string>{"protege.csv"});
}

// `count` lines made by `ligne(i)`.
std::string Lignes(int count, const std::function<std::string(int)>& ligne) {
    std::string texte;
    for (int i = 0; i < count; ++i)
        texte += ligne(i);
    return texte;
}

TEST(Signal, TextFilesWithBlanksAndTheLocaleSeparator) {
    DossierTemporaire dossier;
    platform::ImposeSeparateurDecimal(',');
    const std::string chemin = dossier.Chemin("d'ailleurs.txt");
    // Mixed line ends, blanks, fractions with either separator, exponents, mono lines.
    const char* motifs[] = {"  1,5 ; -2,25 \r\n", "3;4\n", "\t-7\r",
                            "1e3 ;-0.5\n",        "+8.\n", ",5 ; 6E-1\r\n"};
    const float gauches[] = {1.5f, 3, -7, 1000, 8, 0.5f};
    const float droites[] = {-2.25f, 4, 0.25f, -0.5f, 0.25f, 0.6f};
    EcritFichier(chemin, Lignes(N, [&](int i) { return motifs[i % 6]; }) + "garbage after\n");
    auto bruts = Remplis(Sentinelle);
    EXPECT_EQ(panel::ChargeSignal(chemin, *bruts, 2), ErreurChargement::Aucune);
    for (int i = 0; i < N; ++i) {
        ASSERT_EQ((*bruts)[0][i], gauches[i % 6]) << i;
        ASSERT_EQ((*bruts)[1][i], droites[i % 6]) << i;
    }
    platform::ImposeSeparateurDecimal('\0');
}

TEST(Signal, FaultyTextFilesKeepWhatWasReadBefore) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("faux.csv");
    struct Cas {
        const char* quoi;
        std::string ligne; // placed at index 100, after 100 good lines
        bool finDuFichier = false;
    };
    const Cas cas[] = {
        {"fewer than 20480 lines", "", true},
        {"empty line", "\r\n"},
        {"not a number", "abc ; 1\r\n"},
        {"empty right part", "1 ; \r\n"},
        {"two separators", "1.5.5\r\n"},
        {"double sign", "--1\r\n"},
        {"beyond float range", "1e999\r\n"},
        {"not a finite number", "nan\r\n"},
        {"hexadecimal", "0x10\r\n"},
        {"a very long line", std::string(100000, '1') + "\r\n"},
        {"a NUL byte", std::string("1\0", 2) + "\r\n"},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.quoi);
        const std::string debut = Lignes(100, [](int i) { return std::to_string(i) + ";-1\r\n"; });
        const std::string fin = c.finDuFichier ? "" : Lignes(N, [](int) { return "5\r\n"; });
        EcritFichier(chemin, debut + c.ligne + fin);
        auto bruts = Remplis(Sentinelle);
        const ErreurChargement erreur = panel::ChargeSignal(chemin, *bruts, 2);
        EXPECT_EQ(erreur, ErreurChargement::Illisible);
        EXPECT_EQ(panel::MessageChargement(erreur), "Impossible de lire le signal");
        EXPECT_EQ((*bruts)[0][99], 99.0f);
        EXPECT_EQ((*bruts)[1][99], -1.0f);
        EXPECT_EQ((*bruts)[0][100], 0.25f);
    }
    auto bruts = Remplis(Sentinelle);
    EXPECT_EQ(panel::ChargeSignal(dossier.Chemin("absent.csv"), *bruts, 2),
              ErreurChargement::Illisible);
}

// A standard WAV file (16-byte format chunk, "data" at 36) from another program.
struct FichierSox {
    const char* options;
    int canaux;
};

TEST(Signal, WavFilesWrittenBySoxLoadWithTheRightSamples) {
    ExigeSox();
    DossierTemporaire dossier;
    const std::string brut = dossier.Chemin("source.raw");
    // 20480 + 100 frames of four channels of 16-bit samples.
    std::string octets;
    const auto valeur = [](int canal, int i) { return static_cast<int16_t>(Motif(canal, i)); };
    for (int i = 0; i < N + 100; ++i) {
        for (int k = 0; k < 4; ++k) {
            const auto v = static_cast<uint16_t>(valeur(k, i));
            octets += static_cast<char>(v & 0xFF);
            octets += static_cast<char>(v >> 8);
        }
    }
    EcritFichier(brut, octets);
    const FichierSox fichiers[] = {
        {"-b 16", 4},           {"-b 24", 4},         {"-e floating-point -b 32", 4},
        {"-b 16 remix 1 2", 2}, {"-b 16 remix 1", 1},
    };
    for (const FichierSox& f : fichiers) {
        SCOPED_TRACE(f.options);
        const std::string wav = dossier.Chemin("sox.wav");
        std::string options = f.options;
        const size_t remix = options.find(" remix");
        const std::string effet = remix == std::string::npos ? "" : options.substr(remix);
        options = options.substr(0, remix);
        const std::string commande = "sox -t raw -r 44100 -e signed -b 16 -c 4 '" + brut + "' " +
                                     options + " '" + wav + "'" + effet;
        ASSERT_EQ(std::system(commande.c_str()), 0) << commande;
        const std::string entete = LitFichier(wav).substr(0, 48);
        std::array<uint8_t, panel::TailleEnteteWav> e;
        std::memcpy(e.data(), entete.data(), e.size());
        EXPECT_FALSE(panel::EnteteWavValide(e)); // not our layout, yet it loads

        for (int32_t capture : {1, 2}) {
            auto bruts = Remplis(Sentinelle);
            ASSERT_EQ(panel::ChargeSignal(wav, *bruts, capture), ErreurChargement::Aucune);
            for (int k = 0; k < 2; ++k) {
                const bool charge = k < capture && k < f.canaux;
                for (int i = 0; i < N; ++i)
                    ASSERT_EQ((*bruts)[k][i], charge ? valeur(k, i) : 0.25f)
                        << "channel " << k << " frame " << i << " capture " << capture;
            }
        }
    }
}

TEST(Signal, WavFilesWeWriteAreReadBySox) {
    ExigeSox();
    DossierTemporaire dossier;
    const auto bruts = Remplis(Motif);
    for (int32_t canaux : {1, 2}) {
        const std::string wav = dossier.Chemin("nous.wav");
        ASSERT_TRUE(panel::EnregistreSignal(wav, N, *bruts, canaux, 32000));
        EXPECT_EQ(Sortie("soxi -r '" + wav + "'"), "32000\n");
        EXPECT_EQ(Sortie("soxi -c '" + wav + "'"), std::to_string(canaux) + "\n");
        EXPECT_EQ(Sortie("soxi -s '" + wav + "'"), std::to_string(N) + "\n");
        EXPECT_EQ(Sortie("soxi -b '" + wav + "'"), "16\n");
        const std::string echantillons = Sortie("sox '" + wav + "' -t raw -e signed -b 16 -");
        ASSERT_EQ(echantillons.size(), static_cast<size_t>(N * canaux * 2));
        for (int i = 0; i < N; ++i)
            for (int k = 0; k < canaux; ++k)
                ASSERT_EQ(static_cast<int16_t>(Mot16(echantillons, 2 * (i * canaux + k))),
                          (*bruts)[k][i]);
    }
}

// A standard header, then a "LIST" chunk before the data, as many editors write.
std::string WavAvecListe(int32_t trames) {
    std::string f = "RIFF____WAVEfmt ";
    const auto mot32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            f += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const auto mot16 = [&](uint32_t v) {
        f += static_cast<char>(v & 0xFF);
        f += static_cast<char>(v >> 8);
    };
    mot32(16), mot16(1), mot16(1), mot32(48000), mot32(96000), mot16(2), mot16(16);
    f += "LIST";
    mot32(16);
    f += "INFOISFT";
    mot32(4);
    f += std::string("moi\0", 4);
    f += "data";
    mot32(static_cast<uint32_t>(trames) * 2);
    for (int i = 0; i < trames; ++i)
        mot16(static_cast<uint32_t>(i) & 0xFFFF);
    const uint32_t riff = static_cast<uint32_t>(f.size() - 8);
    for (int i = 0; i < 4; ++i)
        f[4 + i] = static_cast<char>((riff >> (8 * i)) & 0xFF);
    return f;
}

TEST(Signal, WavFilesThatCannotLoadChangeNothing) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("f.wav");
    auto bruts = Remplis(Sentinelle);

    EcritFichier(chemin, WavAvecListe(N));
    ASSERT_EQ(panel::ChargeSignal(chemin, *bruts, 2), ErreurChargement::Aucune);
    EXPECT_EQ((*bruts)[0][N - 1], static_cast<float>(N - 1));
    EXPECT_EQ((*bruts)[1][N - 1], 0.25f);

    std::string nous;
    {
        auto source = Remplis(Motif);
        ASSERT_TRUE(panel::EnregistreSignal(chemin, N, *source, 2, 44100));
        nous = LitFichier(chemin);
    }
    std::string menteur = nous.substr(0, 1000); // says 81920 bytes of data, holds 952
    menteur[44] = menteur[45] = menteur[46] = static_cast<char>(0xFF);
    struct Cas {
        const char* quoi;
        std::string contenu;
        ErreurChargement erreur;
    };
    const Cas cas[] = {
        {"one frame short", WavAvecListe(N - 1), ErreurChargement::WavTropCourt},
        {"cut short", nous.substr(0, 50000), ErreurChargement::WavTropCourt},
        {"a data size beyond the file", menteur, ErreurChargement::WavTropCourt},
        {"header only", nous.substr(0, 48), ErreurChargement::WavTropCourt},
        {"not a sound file", "bonjour, je suis du texte\r\n", ErreurChargement::WavNonSupporte},
        {"empty", "", ErreurChargement::WavNonSupporte},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.quoi);
        EcritFichier(chemin, c.contenu);
        auto intacts = Remplis(Sentinelle);
        EXPECT_EQ(panel::ChargeSignal(chemin, *intacts, 2), c.erreur);
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i < N; ++i)
                ASSERT_EQ((*intacts)[k][i], 0.25f);
    }
    // The caller's descriptor stays open whatever the file (the library would close it).
    EcritFichier(chemin, "pas du son");
    const int fd = ::open(chemin.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(panel::ChargeSignalWav(fd, *bruts, 2), ErreurChargement::WavNonSupporte);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1);
    ::close(fd);

    EXPECT_EQ(panel::MessageChargement(ErreurChargement::WavTropCourt),
              "La durée du fichier wav est trop courte");
    EXPECT_EQ(panel::MessageChargement(ErreurChargement::WavNonSupporte),
              "Format de fichier wav non supporté");
    EXPECT_EQ(panel::ChargeSignal(dossier.Chemin("absent.wav"), *bruts, 2),
              ErreurChargement::Illisible);
}

// A sine on each channel, in 16-bit units, written by the sound-file library in the
// given format. Empty, or what went wrong.
std::string EcritSon(const std::string& chemin, int format, int canaux) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = canaux;
    info.format = format;
    SNDFILE* f = sf_open(chemin.c_str(), SFM_WRITE, &info);
    if (!f) return sf_strerror(nullptr);
    // Into a float file, full scale ±32768 becomes ±1.
    sf_command(f, SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);
    std::vector<short> trames;
    for (int i = 0; i < N + 4096; ++i)
        for (int k = 0; k < canaux; ++k)
            trames.push_back(static_cast<short>(std::lround(16000 * std::sin(i * (k + 1) * 0.01))));
    const sf_count_t ecrites = sf_writef_short(f, trames.data(), N + 4096);
    sf_close(f);
    return ecrites == N + 4096 ? "" : "short write";
}

// The WAV loader reads the WAV family, holding plain samples, and nothing else, whatever
// the name: other containers and compressed codings go to decoders a WAV reader has no
// need of, and are refused without reaching them.
TEST(Signal, WavLoaderReadsTheWavFamilyOnly) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("son.wav");
    struct Cas {
        const char* quoi;
        int format;
        float ecart; // greatest difference from the written samples, when it loads
        int canaux = 2;
    };
    const float refus = -1;
    const Cas cas[] = {
        {"WAV 16 bits", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0},
        {"WAV 8 bits", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 256},
        {"WAV 24 bits", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0},
        {"WAV 32 bits", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 0},
        {"WAV float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0},
        {"WAV double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 0},
        {"WAV A-law", SF_FORMAT_WAV | SF_FORMAT_ALAW, 512},
        {"WAV mu-law", SF_FORMAT_WAV | SF_FORMAT_ULAW, 512},
        {"WAV big-endian (RIFX)", SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 0},
        {"WAVE_FORMAT_EXTENSIBLE 16 bits", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 0},
        {"WAVE_FORMAT_EXTENSIBLE float", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 0},
        {"RF64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 0},
        {"AIFF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, refus},
        {"FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, refus},
        {"Ogg Vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, refus},
        {"Ogg Opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, refus},
        {"AU", SF_FORMAT_AU | SF_FORMAT_PCM_16, refus},
        {"CAF", SF_FORMAT_CAF | SF_FORMAT_PCM_16, refus},
        {"W64", SF_FORMAT_W64 | SF_FORMAT_PCM_16, refus},
        {"SPHERE", SF_FORMAT_NIST | SF_FORMAT_PCM_16, refus},
        {"MP3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, refus},
        {"WAV IMA ADPCM", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, refus},
        {"WAV MS ADPCM", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, refus},
        {"WAV GSM 6.10", SF_FORMAT_WAV | SF_FORMAT_GSM610, refus, 1},
        {"WAV G.721", SF_FORMAT_WAV | SF_FORMAT_G721_32, refus, 1},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.quoi);
        ASSERT_EQ(EcritSon(chemin, c.format, c.canaux), "");
        auto bruts = Remplis(Sentinelle);
        const ErreurChargement erreur = panel::ChargeSignal(chemin, *bruts, 2);
        if (c.ecart == refus) {
            EXPECT_EQ(erreur, ErreurChargement::WavNonSupporte);
            EXPECT_EQ((*bruts)[0][0], 0.25f);
            EXPECT_EQ((*bruts)[1][N - 1], 0.25f);
            continue;
        }
        ASSERT_EQ(erreur, ErreurChargement::Aucune);
        float pire = 0;
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i < N; ++i)
                pire = std::max(pire, std::fabs((*bruts)[k][i] -
                                                std::lround(16000 * std::sin(i * (k + 1) * 0.01))));
        EXPECT_LE(pire, c.ecart);
    }
}

// RIFF WAVE files without a format before their data, or whose format is no plain
// samples, are refused before the library reads them.
TEST(Signal, WavWithoutPlainSamplesBeforeItsDataIsRefused) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("f.wav");
    const std::string bon = WavAvecListe(N);
    const size_t fmt = 12, liste = 36, donnees = liste + 8 + 16;
    ASSERT_EQ(EcritSon(chemin, SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2), "");
    std::string adpcm = LitFichier(chemin);
    ASSERT_EQ(adpcm.substr(fmt, 4), "fmt ");
    adpcm[fmt + 8 + 24] = 2; // the sub-format's GUID becomes MS ADPCM's
    std::string court = bon;
    court[fmt + 4] = 14; // a format chunk too short for a PCM format
    struct Cas {
        const char* quoi;
        std::string contenu;
    };
    const Cas cas[] = {
        {"no format", bon.substr(0, fmt) + bon.substr(liste)},
        {"the format after the data",
         bon.substr(0, fmt) + bon.substr(donnees) + bon.substr(fmt, liste - fmt)},
        {"an extensible format of ADPCM", adpcm},
        {"a format chunk too short", court},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.quoi);
        EcritFichier(chemin, c.contenu);
        auto bruts = Remplis(Sentinelle);
        EXPECT_EQ(panel::ChargeSignal(chemin, *bruts, 2), ErreurChargement::WavNonSupporte);
        EXPECT_EQ((*bruts)[0][5], 0.25f);
    }
}

// A named pipe would keep the loader waiting for a writer forever, on the GUI thread; a
// device or a folder is no signal file either. Each gets the usual message at once.
TEST(Signal, NamedPipesDevicesAndFoldersAreRefusedAtOnce) {
    DossierTemporaire dossier;
    std::vector<std::string> tubes;
    for (const char* nom : {"tube.csv", "tube.wav"}) {
        tubes.push_back(dossier.Chemin(nom));
        ASSERT_EQ(::mkfifo(tubes.back().c_str(), 0644), 0);
    }
    const std::string peripherique = dossier.Chemin("zero.wav");
    ASSERT_EQ(::symlink("/dev/zero", peripherique.c_str()), 0);
    const std::string dossierCsv = dossier.Chemin("dossier.csv");
    const std::string dossierWav = dossier.Chemin("dossier.wav");
    ASSERT_TRUE(std::filesystem::create_directory(dossierCsv));
    ASSERT_TRUE(std::filesystem::create_directory(dossierWav));

    auto bruts = Remplis(Sentinelle);
    for (const std::string& nom :
         {tubes[0], tubes[1], std::string("/dev/zero"), peripherique, dossierCsv, dossierWav}) {
        SCOPED_TRACE(nom);
        ErreurChargement erreur = ErreurChargement::Aucune;
        ASSERT_TRUE(RevientATemps([&] { erreur = panel::ChargeSignal(nom, *bruts, 2); }, tubes));
        EXPECT_EQ(erreur, ErreurChargement::Illisible);
        EXPECT_EQ((*bruts)[0][0], 0.25f);
    }

    // Saving there neither waits nor puts a regular file in the pipe's place.
    for (const std::string& tube : tubes) {
        bool enregistre = true;
        ASSERT_TRUE(RevientATemps(
            [&] { enregistre = panel::EnregistreSignal(tube, N, *bruts, 2, 44100); }, tubes));
        EXPECT_FALSE(enregistre);
        panel::EcrivainSignal tampon;
        EXPECT_FALSE(tampon.Enregistre(tube, 1000, *bruts, 2, 44100));
        struct stat etat;
        ASSERT_EQ(::stat(tube.c_str(), &etat), 0);
        EXPECT_TRUE(S_ISFIFO(etat.st_mode)) << tube;
    }
}

// Rewriting a signal file (the buffer file every frame, or a save from the menu) keeps
// its permissions, and as root its owner and group: the file stays its owner's.
TEST(Signal, ARewrittenFileKeepsItsOwnerAndPermissions) {
    DossierTemporaire dossier;
    const bool root = ::geteuid() == 0;
    const uid_t proprietaire = root ? 4242 : ::geteuid();
    const gid_t groupe = root ? 4343 : ::getegid();
    auto bruts = Remplis(Motif);
    for (const char* nom : {"Tamburella.csv", "signal.wav"}) {
        SCOPED_TRACE(nom);
        const std::string chemin = dossier.Chemin(nom);
        EcritFichier(chemin, "1\r\n");
        ASSERT_EQ(::chmod(chemin.c_str(), 0604), 0);
        if (root) {
            ASSERT_EQ(::chown(chemin.c_str(), proprietaire, groupe), 0);
        }
        panel::EcrivainSignal tampon;
        ASSERT_TRUE(tampon.Enregistre(chemin, 1000, *bruts, 2, 44100));
        ASSERT_TRUE(tampon.Enregistre(chemin, 1000, *bruts, 2, 44100));
        ASSERT_TRUE(panel::EnregistreSignal(chemin, N, *bruts, 1, 44100));
        struct stat etat;
        ASSERT_EQ(::stat(chemin.c_str(), &etat), 0);
        EXPECT_EQ(etat.st_mode & 07777, 0604u);
        EXPECT_EQ(etat.st_uid, proprietaire);
        EXPECT_EQ(etat.st_gid, groupe);
        EXPECT_GT(etat.st_size, 1000);
    }
}

} // namespace
