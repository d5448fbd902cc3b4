#include "platform/Fichiers.h"
#include "platform/Ini.h"
#include "platform/Windows1252.h"

#include "AttenteBornee.h"
#include "DossierTemporaire.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::FichierIni;

namespace {

TEST(Ini, IntegerValueSyntax) {
    struct Cas {
        const char* texte;
        int32_t attendu;
    };
    const int32_t d = -77; // the default
    const Cas cas[] = {
        {"44100", 44100},
        {"-1", -1},
        {"+7", 7},
        {"0x5622", 22050},
        {"0X5622", 22050},
        {"$5622", 22050},
        {"-$10", -16},
        {"0xFFFFFFFF", -1},
        {"0x80000000", INT32_MIN},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", d},
        {"0x100000000", d},
        {"abc", d},
        {"", d},
        {"0x", d},
        {"$", d},
        {"12a", d},
        {"1.5", d},
        {"- 1", d},
        {"0x5622 ", d},
        {"--1", d},
        {"0xG", d},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(platform::LitEntierTexte(c.texte, d), c.attendu) << c.texte;
}

TEST(Ini, ReadsSectionsAndKeysWithoutRegardToCase) {
    const FichierIni ini = FichierIni::DepuisTexte("avant=1\n"
                                                   "[Options]\r\n"
                                                   "  Fe = 0x5622  \r\n"
                                                   "fe=11025\n"
                                                   "; commentaire=3\n"
                                                   "sans egal\n"
                                                   "Spectre=2\n"
                                                   "[options]\n"
                                                   "Canal=3\n"
                                                   "[Vide]\n");
    EXPECT_EQ(ini.LitEntier("OPTIONS", "FE", 0), 22050); // the first of two
    EXPECT_TRUE(ini.LitBooleen("options", "spectre", false));
    EXPECT_EQ(ini.LitEntier("Options", "Canal", 1), 1); // a second section is not searched
    EXPECT_EQ(ini.LitEntier("Options", "; commentaire", 9), 9);
    EXPECT_EQ(ini.LitEntier("Options", "avant", 9), 9);
    EXPECT_EQ(ini.LitEntier("Absente", "Fe", 44100), 44100);
    EXPECT_EQ(ini.LitTexte("Vide", "x", "defaut"), "defaut");
    EXPECT_EQ(ini.LitTexte("Options", "Fe", ""), "0x5622");
}

TEST(Ini, AccentedNamesAreWindows1252InTheFile) {
    FichierIni ini;
    ini.EcritBooleen("Options", "Stéréo", true);
    ini.EcritTexte("Générateur", "Durée", "10");
    EXPECT_EQ(ini.Texte(), "[Options]\r\nSt\xE9r\xE9o=1\r\n[G\xE9n\xE9rateur]\r\nDur\xE9"
                           "e=10\r\n");

    // Upper-case accented letters of the code page match too.
    const FichierIni lu = FichierIni::DepuisTexte("[G\xC9N\xC9RATEUR]\nDUR\xC9"
                                                  "E=7\n"
                                                  "[FEN\xCATREG\xC9N\xC9]\nGauche=3\n");
    EXPECT_EQ(lu.LitEntier("Générateur", "Durée", 0), 7);
    EXPECT_EQ(lu.LitEntier("FenêtreGéné", "Gauche", 0), 3);

    // A file that an editor saved in UTF-8 (with its byte-order mark) is still read, and
    // its sections are replaced by the program's own spelling.
    FichierIni utf8 = FichierIni::DepuisTexte("\xEF\xBB\xBF[Générateur]\nDurée=8\n[Options]\n"
                                              "Stéréo=1\n");
    EXPECT_EQ(utf8.LitEntier("Générateur", "Durée", 0), 8);
    EXPECT_TRUE(utf8.LitBooleen("Options", "Stéréo", false));
    utf8.EffaceSection("Générateur");
    utf8.EcritEntier("Générateur", "Durée", 9);
    EXPECT_EQ(utf8.Texte(), "[Options]\r\nStéréo=1\r\n[G\xE9n\xE9rateur]\r\nDur\xE9"
                            "e=9\r\n");
}

TEST(Ini, StringValues) {
    const std::string cyrillique = "/home/user/Сигнал.csv";
    const std::string longue(1500, 'x');
    FichierIni ini;
    ini.EcritTexte("Defaut", "InitialWavDir", "/home/moi/Données");
    ini.EcritTexte("Defaut", "Cyrillique", cyrillique);
    ini.EcritTexte("Defaut", "Longue", longue);
    // What the code page holds is stored in it; the rest stays UTF-8 rather than be lost.
    EXPECT_NE(ini.Texte().find("InitialWavDir=/home/moi/Donn\xE9"
                               "es\r\n"),
              std::string::npos);
    const FichierIni relu = FichierIni::DepuisTexte(ini.Texte());
    EXPECT_EQ(relu.LitTexte("Defaut", "InitialWavDir", ""), "/home/moi/Données");
    EXPECT_EQ(relu.LitTexte("Defaut", "Cyrillique", ""), cyrillique);
    EXPECT_EQ(relu.LitTexte("Defaut", "Longue", ""), longue.substr(0, 1023));
    EXPECT_EQ(relu.LitTexte("Defaut", "Absente", "Tamburella.csv"), "Tamburella.csv");
}

TEST(Ini, EraseThenRewriteDropsHandAddedKeysAndKeepsOtherLines) {
    FichierIni ini = FichierIni::DepuisTexte("; mes réglages\n"
                                             "[Defaut]\n"
                                             "EchelleT=2\n"
                                             "AjoutALaMain=1\n"
                                             "\n"
                                             "[Autre]\n"
                                             "  garde = tel quel\n"
                                             "\n");
    ini.EffaceSection("DEFAUT");
    ini.EcritEntier("Defaut", "EchelleT", -1);
    ini.EcritEntier("Autre", "Nouvelle", 5);
    ini.EcritEntier("Autre", "GARDE", 6);
    EXPECT_EQ(ini.Texte(), "; mes réglages\r\n"
                           "[Autre]\r\n"
                           "garde=6\r\n"
                           "Nouvelle=5\r\n"
                           "\r\n"
                           "[Defaut]\r\n"
                           "EchelleT=-1\r\n");
}

TEST(Ini, SettingsFilePlace) {
    EXPECT_EQ(platform::NomFichierIni("/usr/bin/tamburella"), "/usr/bin/tamburella.ini");
    EXPECT_EQ(platform::NomFichierIni("/opt/prog.exe"), "/opt/prog.ini");
    EXPECT_EQ(platform::NomFichierIni("/opt/v1.2/prog"), "/opt/v1.2/prog.ini");
    EXPECT_EQ(platform::NomFichierIni("/opt/.prog"), "/opt/.prog.ini");

    DossierTemporaire dossier;
    const std::string programme = dossier.Chemin("tamburella");
    EXPECT_EQ(platform::CheminFichierReglages(programme), programme + ".ini");

    // A folder that cannot take the file sends it to the user's configuration folder.
    const char* ancienXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string sauveXdg = ancienXdg ? ancienXdg : "";
    const std::string sauveHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", "/conf", 1);
    setenv("HOME", "/maison", 1);
    EXPECT_EQ(platform::CheminFichierReglages("/absent/bin/tamburella"),
              "/conf/tamburella/tamburella.ini");
    setenv("XDG_CONFIG_HOME", "relatif", 1); // not absolute: ignored
    EXPECT_EQ(platform::CheminFichierReglages("/absent/bin/tamburella"),
              "/maison/.config/tamburella/tamburella.ini");
    ancienXdg ? setenv("XDG_CONFIG_HOME", sauveXdg.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", sauveHome.c_str(), 1);
}

TEST(Ini, SavesAsAWholeAndCreatesTheFolder) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("conf/tamburella/tamburella.ini");
    {
        FichierIni ini(chemin); // no file yet: an empty store
        EXPECT_EQ(ini.LitEntier("Options", "Fe", 44100), 44100);
        ini.EcritEntier("Options", "Fe", 48000);
        EXPECT_EQ(ini.Enregistre(), std::nullopt);
    }
    EXPECT_EQ(LitFichier(chemin), "[Options]\r\nFe=48000\r\n");
    EXPECT_EQ(FichierIni(chemin).LitEntier("Options", "Fe", 0), 48000);
    EXPECT_EQ(dossier.Fichiers(), std::vector<std::string>{"conf"});

    // Through a symbolic link the file it names is replaced, and the link stays.
    const std::string lien = dossier.Chemin("lien.ini");
    ASSERT_EQ(::symlink(chemin.c_str(), lien.c_str()), 0);
    FichierIni parLien(lien);
    parLien.EcritEntier("Options", "Fe", 8000);
    EXPECT_EQ(parLien.Enregistre(), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_symlink(lien));
    EXPECT_EQ(LitFichier(chemin), "[Options]\r\nFe=8000\r\n");
}

TEST(Ini, RefusedWritesLeaveThePreviousFile) {
    DossierTemporaire dossier;
    const std::string ancien = "[Defaut]\r\nEchelleT=2\r\n[Options]\r\nFe=22050\r\n";

    // A read-only file.
    const std::string lecture = dossier.Chemin("lecture.ini");
    EcritFichier(lecture, ancien);
    ASSERT_EQ(::chmod(lecture.c_str(), 0444), 0);
    FichierIni ini(lecture);
    ini.EffaceSection("Defaut");
    ini.EcritEntier("Defaut", "EchelleT", 1);
    EXPECT_EQ(ini.Enregistre(), "Ne peut écrire dans " + lecture);
    EXPECT_EQ(LitFichier(lecture), ancien);

    // A place where no file can be created.
    FichierIni impossible("/proc/tamburella-test/tamburella.ini");
    impossible.EcritEntier("Options", "Fe", 1);
    EXPECT_EQ(impossible.Enregistre(), "Ne peut écrire dans /proc/tamburella-test/tamburella.ini");

    // Something that is there but could not be read is never replaced by defaults.
    const std::string dossierAuNomDuFichier = dossier.Chemin("dossier.ini");
    ASSERT_TRUE(std::filesystem::create_directory(dossierAuNomDuFichier));
    FichierIni illisible(dossierAuNomDuFichier);
    illisible.EcritEntier("Options", "Fe", 1);
    EXPECT_EQ(illisible.Enregistre(), "Ne peut écrire dans " + dossierAuNomDuFichier);
    EXPECT_TRUE(std::filesystem::is_directory(dossierAuNomDuFichier));
}

// A save cut short in the middle of writing (the file-size limit makes the kernel refuse
// the rest of the data, as a full disk or a killed process would leave it) keeps the
// previous file whole and leaves no temporary behind.
TEST(Ini, WriteFailingPartWayLeavesTheOldFileWhole) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("tamburella.ini");
    const std::string ancien = "[Defaut]\r\nEchelleT=2\r\n[Options]\r\nFe=22050\r\n";
    EcritFichier(chemin, ancien);

    FichierIni ini(chemin);
    ini.EffaceSection("Defaut");
    ini.EffaceSection("Options");
    for (int i = 0; i < 200; ++i)
        ini.EcritEntier("Options", "Cle" + std::to_string(i), i);
    ASSERT_GT(ini.Texte().size(), 1000u);

    rlimit limite;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limite), 0);
    const rlimit ancienne = limite;
    limite.rlim_cur = 512;
    const auto ancienSignal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limite), 0);
    const auto erreur = ini.Enregistre();
    ::setrlimit(RLIMIT_FSIZE, &ancienne);
    std::signal(SIGXFSZ, ancienSignal);

    EXPECT_EQ(erreur, "Ne peut écrire dans " + chemin);
    EXPECT_EQ(LitFichier(chemin), ancien);
    EXPECT_EQ(dossier.Fichiers(), std::vector<std::string>{"tamburella.ini"});
    // Once the disk takes it again, the same save goes through.
    EXPECT_EQ(ini.Enregistre(), std::nullopt);
    EXPECT_EQ(FichierIni(chemin).LitEntier("Options", "Cle199", 0), 199);
}

// A named pipe where the settings file should be: reading it would wait for a writer
// forever, on the GUI thread. It reads as empty at once, is never replaced, and the save
// reports the usual message.
TEST(Ini, ANamedPipeIsRefusedAtOnceAndLeftInPlace) {
    DossierTemporaire dossier;
    const std::string tube = dossier.Chemin("tamburella.ini");
    ASSERT_EQ(::mkfifo(tube.c_str(), 0644), 0);
    std::optional<std::string> erreur;
    ASSERT_TRUE(RevientATemps(
        [&] {
            FichierIni ini(tube);
            EXPECT_EQ(ini.LitEntier("Options", "Fe", 44100), 44100);
            ini.EcritEntier("Options", "Fe", 8000);
            erreur = ini.Enregistre();
        },
        {tube}));
    EXPECT_EQ(erreur, "Ne peut écrire dans " + tube);
    struct stat etat;
    ASSERT_EQ(::stat(tube.c_str(), &etat), 0);
    EXPECT_TRUE(S_ISFIFO(etat.st_mode));
    EXPECT_EQ(dossier.Fichiers(), std::vector<std::string>{"tamburella.ini"});

    // Nor is a file that became a pipe between the reading and the save replaced.
    const std::string chemin = dossier.Chemin("devenu.ini");
    EcritFichier(chemin, "[Options]\r\nFe=22050\r\n");
    FichierIni ini(chemin);
    ASSERT_EQ(::unlink(chemin.c_str()), 0);
    ASSERT_EQ(::mkfifo(chemin.c_str(), 0644), 0);
    EXPECT_EQ(ini.Enregistre(), "Ne peut écrire dans " + chemin);
    ASSERT_EQ(::stat(chemin.c_str(), &etat), 0);
    EXPECT_TRUE(S_ISFIFO(etat.st_mode));

    // Nothing that is no regular file opens for reading.
    for (const char* autre : {"/dev/null", "/dev/zero", "/"}) {
        EXPECT_EQ(platform::OuvreFichierRegulier(autre), -1) << autre;
        EXPECT_NE(errno, ENOENT) << autre;
    }
    EXPECT_EQ(platform::OuvreFichierRegulier(dossier.Chemin("absent").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
}

// Whatever stands at the temporary file's name (a stale temporary, a named pipe, a link
// to another file) is neither waited on nor written through.
TEST(Ini, TheTemporaryIsAlwaysANewFile) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("tamburella.ini");
    const std::string victime = dossier.Chemin("victime.txt");
    EcritFichier(victime, "à garder");
    struct Cas {
        const char* quoi;
        std::function<int(const std::string&)> pose;
    };
    const Cas cas[] = {
        {"a stale temporary", [](const std::string& t) { return EcritFichier(t, "vieux"), 0; }},
        {"a named pipe", [](const std::string& t) { return ::mkfifo(t.c_str(), 0644); }},
        {"a link to another file",
         [&](const std::string& t) { return ::symlink(victime.c_str(), t.c_str()); }},
    };
    int32_t fe = 8000;
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.quoi);
        FichierIni ini(chemin);
        ini.EcritEntier("Options", "Fe", ++fe);
        std::optional<std::string> erreur = "not run";
        std::vector<std::string> temporaire(1);
        // The temporary is named after the thread that saves.
        ASSERT_TRUE(RevientATemps(
            [&] {
                temporaire[0] = platform::NomTemporaire(chemin);
                ASSERT_EQ(c.pose(temporaire[0]), 0);
                erreur = ini.Enregistre();
            },
            temporaire));
        EXPECT_EQ(erreur, std::nullopt);
        EXPECT_EQ(FichierIni(chemin).LitEntier("Options", "Fe", 0), fe);
        EXPECT_FALSE(std::filesystem::is_symlink(chemin));
        EXPECT_EQ(LitFichier(victime), "à garder");
        EXPECT_EQ(dossier.Fichiers(), (std::vector<std::string>{"tamburella.ini", "victime.txt"}));
    }
}

// A save keeps the permissions, owner and group of the file it replaces: run as root (an
// administrator's session, sudo), it must not take the file from its owner, whose next
// save would then be refused.
TEST(Ini, ASaveKeepsTheFilesOwnerAndPermissions) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("tamburella.ini");
    EcritFichier(chemin, "[Options]\r\nFe=22050\r\n");
    ASSERT_EQ(::chmod(chemin.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    // Any other user will do; it need not exist.
    const uid_t proprietaire = root ? 4242 : ::geteuid();
    const gid_t groupe = root ? 4343 : ::getegid();
    if (root) {
        ASSERT_EQ(::chown(chemin.c_str(), proprietaire, groupe), 0);
    }

    FichierIni ini(chemin);
    ini.EcritEntier("Options", "Fe", 48000);
    ASSERT_EQ(ini.Enregistre(), std::nullopt);
    EXPECT_EQ(FichierIni(chemin).LitEntier("Options", "Fe", 0), 48000);
    struct stat etat;
    ASSERT_EQ(::stat(chemin.c_str(), &etat), 0);
    EXPECT_EQ(etat.st_mode & 07777, 0640u);
    EXPECT_EQ(etat.st_uid, proprietaire);
    EXPECT_EQ(etat.st_gid, groupe);
}

TEST(Windows1252, ConversionsBothWays) {
    std::string octets;
    ASSERT_TRUE(platform::VersWindows1252("é ê € Œ ÿ", octets));
    EXPECT_EQ(octets, "\xE9 \xEA \x80 \x8C \xFF");
    EXPECT_EQ(platform::DepuisWindows1252(octets), "é ê € Œ ÿ");
    EXPECT_EQ(platform::DepuisWindows1252("\x81\x9D"), "\u0081\u009D");
    EXPECT_FALSE(platform::VersWindows1252("Ж", octets));
    EXPECT_FALSE(platform::VersWindows1252("\xE9", octets)); // not UTF-8
    EXPECT_FALSE(platform::EstUtf8Valide("\xC0\x80"));       // overlong
    EXPECT_FALSE(platform::EstUtf8Valide("\xED\xA0\x80"));   // surrogate
    EXPECT_TRUE(platform::EstUtf8Valide("Générateur"));
    EXPECT_EQ(platform::MinusculeWindows1252(0xC9), 0xE9);
    EXPECT_EQ(platform::MinusculeWindows1252(0xD7), 0xD7); // ×, not a letter
}

} // namespace
