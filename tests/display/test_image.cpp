// Pixels of the screen picture, drawn off screen into a QImage.

#include "ScopeExemple.h"
#include "display/CanevasQt.h"
#include "display/Rendu.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <memory>
#include <set>
#include <vector>

namespace {

using essais::ScopeExemple;
using namespace display;

// Fonts need an application object; the test main chose the off-screen platform.
class ApplicationQt : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char nom[] = "test_image";
        static char* argv[] = {nom, nullptr};
        application_ = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { application_.reset(); }

private:
    std::unique_ptr<QGuiApplication> application_;
};
::testing::Environment* const application = ::testing::AddGlobalTestEnvironment(new ApplicationQt);

Couleur Pixel(const ImageQt& image, int x, int y) {
    const QRgb p = image.Pixels().pixel(x, y);
    return {static_cast<uint8_t>(qRed(p)), static_cast<uint8_t>(qGreen(p)),
            static_cast<uint8_t>(qBlue(p))};
}

// Columns of row y (or rows of column x) in a colour.
std::vector<int> Colonnes(const ImageQt& image, int y, Couleur c) {
    std::vector<int> r;
    for (int x = 0; x < image.Largeur(); ++x)
        if (Pixel(image, x, y) == c) r.push_back(x);
    return r;
}
std::vector<int> Rangees(const ImageQt& image, int x, Couleur c) {
    std::vector<int> r;
    for (int y = 0; y < image.Hauteur(); ++y)
        if (Pixel(image, x, y) == c) r.push_back(y);
    return r;
}

// Lengths of the first on and off runs of colour c along a column (or a row), from the
// first pixel in c.
std::vector<int> Motif(const ImageQt& image, bool colonne, int position, Couleur c) {
    const int n = colonne ? image.Hauteur() : image.Largeur();
    std::vector<int> runs;
    bool dans = false;
    for (int i = 0; i < n; ++i) {
        const bool est = (colonne ? Pixel(image, position, i) : Pixel(image, i, position)) == c;
        if (runs.empty() && !est) continue;
        if (runs.empty() || est != dans) {
            if (runs.size() == 2) break;
            runs.push_back(0);
            dans = est;
        }
        ++runs.back();
    }
    return runs;
}

class Image : public ::testing::Test {
protected:
    Image() { s.vue.Image = &image; }
    void Dessine() { Dessiner(s.vue); }

    ScopeExemple s;
    ImageQt image{441, 300};
};

TEST_F(Image, GrilleCentreeDuSignal) {
    Dessine();
    // 5 divisions of 88.2 pixels from the centre; 4 of 75 pixels, the last one off the
    // bottom edge.
    EXPECT_EQ(Colonnes(image, 10, CouleurGrille), (std::vector<int>{44, 132, 220, 309, 397}));
    EXPECT_EQ(Rangees(image, 10, CouleurGrille), (std::vector<int>{74, 149, 224, 299}));
    EXPECT_EQ(Pixel(image, 221, 100), Noir);
}

TEST_F(Image, GrilleDuSpectreDepuisLeCoinBasGauche) {
    image.Redimensionner(400, 300);
    s.Spectre(400);
    Dessine();
    EXPECT_EQ(Colonnes(image, 10, CouleurGrille), (std::vector<int>{0, 93, 186, 279, 372}));
    EXPECT_EQ(Rangees(image, 10, CouleurGrille), (std::vector<int>{59, 119, 179, 239, 299}));
}

TEST_F(Image, TraceDroiteSousLaGauche) {
    s.Stereo();
    s.Remplit(0, 0.6f); // row 179
    s.Remplit(1, 0.3f); // row 89
    for (int i = 0; i < 100; ++i)
        s.etat->Trace[1][i] = 0.6f; // the right trace meets the left one
    Dessine();
    EXPECT_EQ(Pixel(image, 50, 179), CouleurGauche);
    EXPECT_EQ(Pixel(image, 300, 179), CouleurGauche);
    EXPECT_EQ(Pixel(image, 300, 89), CouleurDroite);
    EXPECT_EQ(Pixel(image, 50, 89), Noir);

    s.etat->MasqueCanaux = 2;
    Dessine();
    EXPECT_EQ(Pixel(image, 50, 179), CouleurDroite);
    EXPECT_EQ(Pixel(image, 300, 179), Noir);
}

TEST_F(Image, OrdonneesHorsDuCadre) {
    s.etat->TraceValide = true;
    s.Remplit(0, 0.0f);
    s.etat->Trace[0][200] = 2.0f; // clamped extremes: off the picture
    s.etat->Trace[0][201] = -1.0f;
    Dessine();
    EXPECT_EQ(Pixel(image, 100, 0), Noir);            // 0 is row -1, just above the top
    EXPECT_EQ(Pixel(image, 200, 150), CouleurGauche); // the jump down and up again
}

TEST_F(Image, CurseursCouleursEtTraits) {
    s.vue.CurseursVerticaux1 = s.vue.CurseursHorizontaux1 = true;
    s.etat->Xcurs1 = 101; // away from the grid
    s.etat->Xcurs2 = 201;
    s.etat->Ycurs1 = 50;
    s.etat->Ycurs2 = 180;
    Dessine();
    const std::vector<int> tirets = {18, 6}, points = {3, 3};
    EXPECT_EQ(Motif(image, true, 101, CouleurCurseursVerticaux), tirets);
    EXPECT_EQ(Motif(image, true, 201, CouleurCurseursVerticaux), points);
    EXPECT_EQ(Motif(image, false, 50, CouleurCurseursHorizontaux), tirets);
    EXPECT_EQ(Motif(image, false, 180, CouleurCurseursHorizontaux), points);
    EXPECT_EQ(Pixel(image, 101, 0), CouleurCurseursVerticaux);
    EXPECT_EQ(Pixel(image, 0, 50), CouleurCurseursHorizontaux);

    // Spectrum mode: cursor 1 of each pair only.
    s.Spectre(441);
    Dessine();
    EXPECT_FALSE(Rangees(image, 101, CouleurCurseursVerticaux).empty());
    EXPECT_TRUE(Rangees(image, 201, CouleurCurseursVerticaux).empty());
    EXPECT_FALSE(Colonnes(image, 50, CouleurCurseursHorizontaux).empty());
    EXPECT_TRUE(Colonnes(image, 180, CouleurCurseursHorizontaux).empty());
}

TEST_F(Image, MarqueurAuNiveau) {
    s.affichage.TypeSynchro = engine::Declenchement;
    s.etat->PosDecl = 200;
    s.etat->NiveauDeclPos = 40; // (0.5 - 0.2) · 300 - 1 = row 89
    Dessine();
    std::vector<int> colonne, rangee;
    for (int y = 80; y <= 98; ++y)
        if (Pixel(image, 200, y) == CouleurMarqueur) colonne.push_back(y);
    for (int x = 190; x <= 210; ++x)
        if (Pixel(image, x, 89) == CouleurMarqueur) rangee.push_back(x);
    EXPECT_EQ(colonne, (std::vector<int>{84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94}));
    EXPECT_EQ(rangee, (std::vector<int>{195, 196, 197, 198, 199, 200, 201, 202, 203, 204, 205}));

    struct Cas {
        int32_t synchro, masque, canalSync;
        bool spectre, marque;
    };
    for (const Cas& c :
         {Cas{engine::DeclUnique, 1, 0, false, true}, Cas{engine::Universelle, 1, 0, false, false},
          Cas{engine::Declenchement, 2, 0, false, false},
          Cas{engine::Declenchement, 2, 1, false, true},
          Cas{engine::Declenchement, 1, 0, true, false}}) {
        s.affichage.TypeSynchro = c.synchro;
        s.etat->MasqueCanaux = c.masque;
        s.etat->CanalSyncActif = c.canalSync;
        s.affichage.SpectreBouton = c.spectre;
        Dessine();
        EXPECT_EQ(Pixel(image, 200, 85) == CouleurMarqueur, c.marque) << c.synchro << c.masque;
    }
}

TEST_F(Image, SansTraceValideGrilleCurseursEtMarqueurSeuls) {
    s.Stereo();
    s.etat->TraceValide = false;
    s.vue.CurseursVerticaux1 = s.vue.CurseursHorizontaux1 = true;
    s.affichage.TypeSynchro = engine::Declenchement;
    s.etat->PosDecl = 220;
    Dessine();
    const std::set<uint32_t> permises = {0x000000, 0x800000, 0xff0000, 0x00b000, 0x00ff00};
    std::set<uint32_t> vues;
    for (int y = 0; y < image.Hauteur(); ++y)
        for (int x = 0; x < image.Largeur(); ++x)
            vues.insert(image.Pixels().pixel(x, y) & 0xffffff);
    EXPECT_EQ(vues, permises);
}

TEST_F(Image, PresenterCopieLImage) {
    s.Stereo();
    Dessine();
    ImageQt fenetre(441, 300);
    fenetre.Toile().CouleurBrosse({0, 0, 255});
    fenetre.Toile().Remplir({0, 0, 441, 300});
    Presenter(s.vue, fenetre.Toile());
    EXPECT_EQ(fenetre.Pixels(), image.Pixels());
}

TEST_F(Image, SansImageRienNEstDessine) {
    s.vue.Image = nullptr;
    Dessiner(s.vue);
    DessinerImage(s.vue);
    ImageQt fenetre(10, 10);
    Presenter(s.vue, fenetre.Toile());
    EXPECT_EQ(Pixel(fenetre, 5, 5), Noir);
}

TEST_F(Image, RedimensionnerGardeLEtatDuCanevas) {
    image.Redimensionner(441, 300); // same size: the picture stays
    s.Stereo();
    Dessine();
    image.Redimensionner(200, 100);
    EXPECT_EQ(image.Largeur(), 200);
    EXPECT_EQ(Pixel(image, 100, 49), Noir); // filled black
    s.vue.LargeurClient = 200;
    s.vue.HauteurClient = 100;
    s.etat->NbPoints = 200;
    Calibrer(s.vue);
    Dessine();
    EXPECT_EQ(Pixel(image, 100, 49), CouleurGauche);
    EXPECT_EQ(Pixel(image, 100, 24), CouleurDroite);
}

// Text placement of the QPainter canvas: (x, y) is the top, the left end, right end or
// middle of the text.
TEST(CanevasQt, AlignementDuTexte) {
    struct Cas {
        AlignementTexte alignement;
        int gaucheMin, gaucheMax, droiteMin, droiteMax;
    };
    for (const Cas& c : {Cas{AlignementTexte::GaucheHaut, 100, 104, 130, 200},
                         Cas{AlignementTexte::Droite, 0, 70, 96, 100},
                         Cas{AlignementTexte::Centre, 40, 95, 105, 160}}) {
        ImageQt image(200, 100);
        Canevas& t = image.Toile();
        t.CouleurBrosse({255, 255, 255});
        t.Remplir({0, 0, 200, 100});
        t.NomPolice("Times New Roman");
        t.TaillePolice(24);
        t.CouleurPolice(Noir);
        t.AlignerTexte(c.alignement);
        t.Texte(100, 40, "HHH");
        int gauche = 200, droite = -1, haut = 100;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x)
                if (qGray(image.Pixels().pixel(x, y)) < 128) {
                    gauche = std::min(gauche, x);
                    droite = std::max(droite, x);
                    haut = std::min(haut, y);
                }
        EXPECT_GE(gauche, c.gaucheMin);
        EXPECT_LE(gauche, c.gaucheMax);
        EXPECT_GE(droite, c.droiteMin);
        EXPECT_LE(droite, c.droiteMax);
        EXPECT_GE(haut, 40);
        EXPECT_LE(haut, 52);
        if (c.alignement == AlignementTexte::Centre) {
            EXPECT_LE(std::abs(gauche + droite - 200), 4);
        }
    }
}

TEST(CanevasQt, RectangleEtDecoupe) {
    ImageQt image(50, 50);
    Canevas& t = image.Toile();
    t.CouleurStylo({255, 255, 255});
    t.EpaisseurStylo(1);
    t.StyleDeBrosse(StyleBrosse::Creux);
    t.Rectangle({10, 10, 20, 20}); // outline on columns and rows 10 .. 19
    EXPECT_EQ(Pixel(image, 10, 15), (Couleur{255, 255, 255}));
    EXPECT_EQ(Pixel(image, 19, 15), (Couleur{255, 255, 255}));
    EXPECT_EQ(Pixel(image, 20, 15), Noir);
    EXPECT_EQ(Pixel(image, 15, 15), Noir); // hollow

    t.Decouper({30, 30, 40, 40});
    t.DeplacerVers(0, 35);
    t.LigneVers(50, 35);
    t.SansDecoupe();
    EXPECT_EQ(Colonnes(image, 35, {255, 255, 255}).front(), 30);
    EXPECT_EQ(Colonnes(image, 35, {255, 255, 255}).back(), 39);
    t.DeplacerVers(0, 45);
    t.LigneVers(40, 45); // the end point is not drawn
    EXPECT_EQ(Colonnes(image, 45, {255, 255, 255}).size(), 40u);
}

} // namespace
