#include "panel/Reglages.h"

#include "platform/Locale.h"
#include "platform/Windows1252.h"

#include "DossierTemporaire.h"

#include <gtest/gtest.h>

#include <functional>

using panel::ContexteEntree;
using panel::ContexteSortie;
using platform::FichierIni;

namespace {

// Two ALSA devices and three sound-server sources besides the default one. Best rates:
// default 48000, device 0 44100, device 1 none, device 2 22050.
engine::TablesEntrees Tables() {
    engine::TablesEntrees t;
    t.NbEntreesWave = 2;
    t.NbEntreesDS = 3;
    t.MeilleurFe.fill(-1);
    t.MeilleurFe[0] = 6;
    t.MeilleurFe[1] = 5;
    t.MeilleurFe[3] = 3;
    return t;
}

// Two outputs besides the default; output 1 refuses everything but 32000, output 0
// accepts no rate at all.
ContexteSortie Sorties() {
    ContexteSortie s;
    s.NbSorties = 2;
    s.MeilleurFeSortie = {6, -1, 4};
    s.AccepteFe = [](int32_t d, int32_t fe) { return d == -1 || (d == 1 && fe == 32000); };
    return s;
}

struct Tout {
    panel::ReglagesControle Controle;
    panel::GeometrieFenetre Ecran;
    panel::PositionsCurseurs Curseurs;
    panel::ReglagesOptions Options;
    panel::ReglagesGene Gene;
    panel::ReglagesGeneOptions GeneOptions;
};

// The control window's outer geometry and the scope window's client size.
constexpr panel::GeometrieFenetre FenetreControle{10, 5, 386, 177};
constexpr int32_t HauteurClient = 300, LargeurClient = 400;

Tout LitTout(const FichierIni& ini, bool directSound = true, int32_t vsyncDispo = 2) {
    const engine::TablesEntrees tables = Tables();
    const ContexteEntree entree{tables, directSound, vsyncDispo};
    return {panel::LitReglagesControle(ini, entree),
            panel::LitEcran(ini, FenetreControle),
            panel::LitCurseurs(ini, HauteurClient, LargeurClient),
            panel::LitReglagesOptions(ini),
            panel::LitReglagesGene(ini, Sorties()),
            panel::LitReglagesGeneOptions(ini)};
}

// In the order of the program's end: the control window closes, then the windows are
// destroyed last created first.
void EcritTout(FichierIni& ini, const Tout& t, bool ecranNormal = true) {
    panel::EcritReglages(ini, t.Controle);
    panel::EcritReglages(ini, t.GeneOptions);
    panel::EcritReglages(ini, t.Gene);
    panel::EcritReglages(ini, t.Options);
    panel::ReglagesScope scope{std::nullopt, t.Curseurs};
    if (ecranNormal) scope.Ecran = t.Ecran;
    panel::EcritReglages(ini, scope);
}

std::vector<std::string> Sections(const std::string& texte) {
    std::vector<std::string> noms;
    for (size_t debut = 0; debut < texte.size();) {
        const size_t fin = std::min(texte.find("\r\n", debut), texte.size());
        if (texte[debut] == '[') noms.push_back(texte.substr(debut + 1, fin - debut - 2));
        debut = fin + 2;
    }
    return noms;
}

std::string Cp1252(const std::string& utf8) {
    std::string octets;
    EXPECT_TRUE(platform::VersWindows1252(utf8, octets));
    return octets;
}

TEST(Reglages, NoFileGivesEveryDefaultAndOneRunWritesTheTenSections) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("tamburella.ini");
    platform::ImposeSeparateurDecimal(',');
    const Tout lu = LitTout(FichierIni(chemin));

    Tout attendu;
    attendu.Ecran = {10, 5 + 177 + 2, 386, 386}; // below the control window, square
    attendu.Curseurs = {100, 200, 133, 266};     // X from the height, Y from the width
    EXPECT_EQ(lu.Controle, attendu.Controle);
    EXPECT_EQ(lu.Ecran, attendu.Ecran);
    EXPECT_EQ(lu.Curseurs, attendu.Curseurs);
    EXPECT_EQ(lu.Options, attendu.Options);
    EXPECT_EQ(lu.Gene, attendu.Gene);
    EXPECT_EQ(lu.Gene.Niveau, "0,95");
    EXPECT_EQ(lu.GeneOptions, attendu.GeneOptions);
    EXPECT_EQ(lu.Controle.Entree.FichierTampon, "Tamburella.csv");
    EXPECT_EQ(lu.Options.Fenetre.Gauche, 250);

    FichierIni ini(chemin);
    EcritTout(ini, lu);
    ASSERT_EQ(ini.Enregistre(), std::nullopt);
    const std::string texte = LitFichier(chemin);
    const std::vector<std::string> sections = {"FenetreControl",
                                               "Defaut",
                                               "Options",
                                               Cp1252("FenêtreOptionsGéné"),
                                               Cp1252("FenêtreGéné"),
                                               Cp1252("Générateur"),
                                               Cp1252("OptionsGéné"),
                                               "FenetreOptions",
                                               "Ecran",
                                               "Curseurs"};
    EXPECT_EQ(Sections(texte), sections);
    EXPECT_EQ(texte.find('\xC3'), std::string::npos) << "UTF-8 in the file";
    EXPECT_NE(texte.find("[Options]\r\n"), std::string::npos);

    const Tout relu = LitTout(FichierIni(chemin));
    EXPECT_EQ(relu.Controle, lu.Controle);
    EXPECT_EQ(relu.Ecran, lu.Ecran);
    EXPECT_EQ(relu.Curseurs, lu.Curseurs);
    EXPECT_EQ(relu.Gene, lu.Gene);
    platform::ImposeSeparateurDecimal('\0');
}

TEST(Reglages, KeysWrittenInOrderWithAccentsInWindows1252) {
    FichierIni ini;
    panel::ReglagesControle controle;
    controle.Entree.Stereo = true;
    panel::EcritReglages(ini, controle);
    panel::ReglagesGene gene;
    gene.Niveau = gene.NiveauSweep = "0.5";
    panel::EcritReglages(ini, gene);
    const std::string texte = ini.Texte();
    const std::string options = "[Options]\r\n"
                                "Proportions=0\r\nPosition=0\r\nCurseurs=0\r\nGrille=0\r\n"
                                "HautGraph=120\r\nLargGraph=150\r\nFenetreTFR=0\r\n"
                                "NbPointsTFR=0\r\nSurEchTFR=0\r\nBulles=1\r\nTypeEntree=1\r\n"
                                "NoEntree=-1\r\nFe=44100\r\nCanal=1\r\nCanalSync=0\r\n"
                                "St\xE9r\xE9o=1\r\nVSync=2\r\nUtiliseFichierTampon=0\r\n"
                                "FichierTampon=Tamburella.csv\r\nNbEchFichierTampon=1000\r\n";
    EXPECT_NE(texte.find(options), std::string::npos) << texte;
    const std::string generateur = "[G\xE9n\xE9rateur]\r\n"
                                   "Predefini=0\r\nChoix=0\r\nFr\xE9quence=441\r\nNiveau=0.5\r\n"
                                   "Fonction=sin(5*x+2*sin(x))\r\nf1=20\r\nf2=20000\r\n"
                                   "Dur\xE9"
                                   "e=10\r\nNiveauSweep=0.5\r\na=-pi\r\nb=pi\r\n";
    EXPECT_NE(texte.find(generateur), std::string::npos) << texte;
    EXPECT_NE(texte.find("[Fen\xEAtreG\xE9n\xE9]\r\nGauche=49\r\nHaut=148\r\n"), std::string::npos);
    EXPECT_NE(texte.find("[OptionsG\xE9n\xE9]\r\nNoSortie=-1\r\nFe=44100\r\nCanalSync=0\r\n"),
              std::string::npos);
}

// A stored value, what it reads as, and (checked in the file after the rewrite) what it
// is written back as.
struct Cas {
    const char* section;
    const char* cle;
    const char* stocke;
    std::function<int64_t(const Tout&)> champ;
    int64_t attendu;
    bool directSound = true;
    int32_t vsyncDispo = 2;
};

TEST(Reglages, ReadingChecksAndRangesThenWrittenBack) {
    using T = const Tout&;
    const auto fe = [](T t) { return t.Controle.Entree.Fe; };
    const auto noEntree = [](T t) { return t.Controle.Entree.NoEntree; };
    const auto vsync = [](T t) { return t.Controle.Entree.VSync; };
    const Cas cas[] = {
        {"Options", "Fe", "0x5622", fe, 22050},
        {"Options", "Fe", "abc", fe, 44100},
        {"Options", "Fe", "96000", fe, 48000}, // lowered to the default device's best
        {"Defaut", "Spectre", "2", [](T t) { return t.Controle.Spectre; }, 1},
        {"Options", "NbEchFichierTampon", "50000",
         [](T t) { return t.Controle.Entree.NbEchFichierTampon; }, 20480},
        {"Options", "NbEchFichierTampon", "0",
         [](T t) { return t.Controle.Entree.NbEchFichierTampon; }, 1},
        {"Options", "VSync", "1", vsync, 0},
        {"Options", "VSync", "2", vsync, 2},
        {"Options", "VSync", "2", vsync, 0, true, 0}, // no vertical-blank wait available
        {"Options", "TypeEntree", "1", [](T t) { return t.Controle.Entree.TypeEntree; }, 0,
         false}, // no sound server
        {"Options", "TypeEntree", "7", [](T t) { return t.Controle.Entree.TypeEntree; }, 1},
        {"Options", "NoEntree", "2", noEntree, 2},         // a source of the sound server
        {"Options", "NoEntree", "2", noEntree, -1, false}, // ALSA has two devices only
        {"Options", "NoEntree", "-2", noEntree, -1},
        {"Options", "NoEntree", "1", noEntree, -1}, // a device that accepted no rate
        {"Options", "Canal", "6", [](T t) { return t.Controle.Entree.Canal; }, 2},
        {"Options", "CanalSync", "2", [](T t) { return t.Controle.Entree.CanalSync; }, 1},
        {"Options", "Stéréo", "1", [](T t) { return t.Controle.Entree.Stereo; }, 1},
        {"Options", "FenetreTFR", "5", [](T t) { return t.Controle.FenetreTFR; }, 4},
        {"Options", "NbPointsTFR", "-1", [](T t) { return t.Controle.NbPointsTFR; }, 0},
        {"Options", "SurEchTFR", "9", [](T t) { return t.Controle.SurEchTFR; }, 3},
        {"Options", "HautGraph", "0", [](T t) { return t.Controle.HautGraph; }, 1},
        {"Options", "LargGraph", "-150", [](T t) { return t.Controle.LargGraph; }, 1},
        {"Options", "Bulles", "0", [](T t) { return t.Controle.Bulles; }, 0},
        {"Defaut", "EchelleT", "-5", [](T t) { return t.Controle.EchelleT; }, -3},
        {"Defaut", "EchelleF", "4", [](T t) { return t.Controle.EchelleF; }, 3},
        {"Defaut", "EchelleX", "101", [](T t) { return t.Controle.EchelleX; }, 100},
        {"Defaut", "DeplaceX", "-300", [](T t) { return t.Controle.DeplaceX; }, -100},
        {"Defaut", "DecalageT", "501", [](T t) { return t.Controle.DecalageT; }, 500},
        {"Defaut", "DecalageF", "-1", [](T t) { return t.Controle.DecalageF; }, 0},
        {"Defaut", "TypeSynchro", "4", [](T t) { return t.Controle.TypeSynchro; }, 3},
        {"Defaut", "DeclPos", "$FF", [](T t) { return t.Controle.DeclPos; }, 100},
        {"Defaut", "Ralenti", "8", [](T t) { return t.Controle.Ralenti; }, 7},
        {"Defaut", "RalentiSpectre", "5", [](T t) { return t.Controle.RalentiSpectre; }, 4},
        {"Defaut", "InitialWavType", "9", [](T t) { return t.Controle.InitialWavType; }, 2},
        {"FenetreControl", "Gauche", "-20", [](T t) { return t.Controle.Fenetre.Gauche; }, -20},
        {"FenetreOptions", "PageIndex", "4", [](T t) { return t.Options.PageIndex; }, 3},
        {"Générateur", "Predefini", "6", [](T t) { return t.Gene.Predefini; }, 5},
        {"Générateur", "Choix", "3", [](T t) { return t.Gene.Choix; }, 2},
        {"OptionsGéné", "NoSortie", "2", [](T t) { return t.Gene.NoSortie; }, -1},
        {"OptionsGéné", "NoSortie", "-2", [](T t) { return t.Gene.NoSortie; }, -1},
        {"OptionsGéné", "CanalSync", "-1", [](T t) { return t.Gene.CanalSync; }, 1},
        {"Ecran", "Hauteur", "600", [](T t) { return t.Ecran.Hauteur; }, 600},
        {"Curseurs", "Ycurs2", "17", [](T t) { return t.Curseurs.Ycurs2; }, 17},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(std::string(c.section) + " " + c.cle + "=" + c.stocke);
        FichierIni ini = FichierIni::DepuisTexte("[" + Cp1252(c.section) + "]\r\n" + Cp1252(c.cle) +
                                                 "=" + c.stocke + "\r\nAjoutALaMain=1\r\n");
        const Tout lu = LitTout(ini, c.directSound, c.vsyncDispo);
        EXPECT_EQ(c.champ(lu), c.attendu);
        EcritTout(ini, lu);
        const std::string texte = ini.Texte();
        const std::string ligne = "\r\n" + Cp1252(c.cle) + "=" + std::to_string(c.attendu) + "\r\n";
        EXPECT_NE(texte.find(ligne), std::string::npos) << texte;
        EXPECT_EQ(texte.find("AjoutALaMain"), std::string::npos);
    }
}

TEST(Reglages, DeviceRatesOnReading) {
    struct CasFe {
        const char* options;
        int32_t fe;
    };
    const CasFe entrees[] = {
        {"NoEntree=0\r\nFe=48000", 44100}, // ALSA device 0 reaches 44100
        {"NoEntree=0\r\nFe=22050", 22050}, // below its best: kept
        {"NoEntree=2\r\nFe=32000", 22050}, // source 2 reaches 22050
    };
    for (const CasFe& c : entrees) {
        const Tout lu = LitTout(FichierIni::DepuisTexte(std::string("[Options]\n") + c.options));
        EXPECT_EQ(lu.Controle.Entree.Fe, c.fe) << c.options;
    }
    // A default device that accepted no rate leaves the rate to the driver's fall-backs.
    engine::TablesEntrees aucune = Tables();
    aucune.MeilleurFe.fill(-1);
    const auto controle = panel::LitReglagesControle(
        FichierIni::DepuisTexte("[Options]\nFe=48000\n"), ContexteEntree{aucune, true, 2});
    EXPECT_EQ(controle.Entree.Fe, 48000);

    const CasFe sorties[] = {
        {"NoSortie=1\r\nFe=44100", 32000}, // refused: its best rate
        {"NoSortie=1\r\nFe=32000", 32000},
        {"NoSortie=0\r\nFe=11025", 11025}, // refused, but no best rate: kept
        {"NoSortie=-1\r\nFe=8000", 8000},
    };
    for (const CasFe& c : sorties) {
        const auto gene = panel::LitReglagesGene(
            FichierIni::DepuisTexte(Cp1252("[OptionsGéné]\n") + c.options), Sorties());
        EXPECT_EQ(gene.Fe, c.fe) << c.options;
    }
}

TEST(Reglages, EachWindowRewritesOnlyItsOwnSections) {
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("tamburella.ini");
    EcritFichier(chemin, "[Ecran]\nGauche=1\nHaut=2\nLargeur=3\nHauteur=4\n"
                         "[Curseurs]\nXcurs1=9\n"
                         "[Defaut]\nEchelleT=2\nAjoutALaMain=1\n");

    // The scope window ends in full screen: "Ecran" keeps the last normal geometry.
    panel::ReglagesScope scope{std::nullopt, {5, 6, 7, 8}};
    ASSERT_EQ(panel::EnregistreReglages(chemin, scope), std::nullopt);
    // The control window rewrites "Defaut" without the hand-added key.
    panel::ReglagesControle controle;
    controle.EchelleT = -1;
    ASSERT_EQ(panel::EnregistreReglages(chemin, controle), std::nullopt);

    const Tout lu = LitTout(FichierIni(chemin));
    EXPECT_EQ(lu.Ecran, (panel::GeometrieFenetre{1, 2, 3, 4}));
    EXPECT_EQ(lu.Curseurs, (panel::PositionsCurseurs{5, 6, 7, 8}));
    EXPECT_EQ(lu.Controle.EchelleT, -1);
    EXPECT_EQ(LitFichier(chemin).find("AjoutALaMain"), std::string::npos);
}

TEST(Reglages, InputSettingsToAndFromTheEngine) {
    panel::ValeursEntree v;
    v.TypeEntree = 0, v.NoEntree = 3, v.Fe = 16000, v.Canal = 2, v.CanalSync = 1;
    v.Stereo = true, v.VSync = 0, v.UtiliseFichierTampon = true;
    v.FichierTampon = "/tmp/tampon.wav", v.NbEchFichierTampon = 512;
    engine::ReglagesEntree entree;
    panel::AppliqueEntree(v, entree);
    EXPECT_EQ(panel::CopieEntree(entree), v);
}

} // namespace
