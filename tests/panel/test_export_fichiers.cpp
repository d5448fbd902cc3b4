// The picture files of the export: the enhanced and placeable metafiles as outside readers
// see them (emf2svg-conv, wmf2svg), their headers, the whole-or-nothing write, and the
// layout of a printed page.

#include "DossierTemporaire.h"
#include "panel/ExportExemple.h"
#include "panel/ImageExport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using essais::Entier32;
using essais::ExportExemple;
using essais::Mot16;
using essais::Mot32;
using essais::Sortie;
using namespace panel;

void ExigeOutils() {
    ASSERT_EQ(std::system("command -v emf2svg-conv >/dev/null && command -v wmf2svg >/dev/null"), 0)
        << "emf2svg and libwmf-bin are needed (scripts/installer-paquets.sh installs them)";
}

// An element of the SVG that a reader made: its attributes and text. (Scanned by hand:
// std::regex recurses per character and overflows on a trace's long path.)
struct Element {
    std::string balise, attributs, texte;
    double Nombre(const std::string& nom) const {
        for (size_t p = attributs.find(nom + "=\""); p != std::string::npos;
             p = attributs.find(nom + "=\"", p + 1))
            if (p == 0 || attributs[p - 1] == ' ' || attributs[p - 1] == '\t' ||
                attributs[p - 1] == '\n')
                return std::strtod(attributs.c_str() + p + nom.size() + 2, nullptr);
        return -1e9;
    }
};

std::vector<Element> Elements(const std::string& svg, const std::string& balise) {
    std::vector<Element> r;
    const std::string debut = "<" + balise;
    for (size_t p = svg.find(debut); p != std::string::npos; p = svg.find(debut, p + 1)) {
        const size_t a = p + debut.size();
        if (a >= svg.size() || !std::isspace(static_cast<unsigned char>(svg[a]))) continue;
        const size_t fin = svg.find('>', a);
        if (fin == std::string::npos) break;
        Element e{balise, svg.substr(a, fin - a), {}};
        size_t t = fin + 1;
        if (svg.compare(t, 9, "<![CDATA[") == 0) t += 9;
        e.texte = svg.substr(t, svg.find_first_of("<]", t) - t);
        r.push_back(std::move(e));
    }
    return r;
}

const Element* Texte(const std::vector<Element>& textes, const std::string& contenu,
                     const std::string& ancre = "") {
    for (const Element& e : textes)
        if (e.texte == contenu && e.attributs.find(ancre) != std::string::npos) return &e;
    return nullptr;
}

// The records of an enhanced metafile, walked from the header to the end record:
// (type, offset) pairs; empty if a size is broken.
std::vector<std::pair<uint32_t, size_t>> EnregistrementsEmf(const std::string& emf) {
    std::vector<std::pair<uint32_t, size_t>> r;
    size_t position = 0;
    while (position + 8 <= emf.size()) {
        const uint32_t type = Mot32(emf, position), taille = Mot32(emf, position + 4);
        if (taille < 8 || taille % 4 != 0 || position + taille > emf.size()) return {};
        r.emplace_back(type, position);
        position += taille;
        if (type == 14) break; // EMR_EOF
    }
    if (position != emf.size()) return {};
    return r;
}

TEST(Metafichier, LargeurDesProportions) {
    struct Cas {
        int32_t L, H, w;
    };
    const Cas cas[] = {
        {150, 120, 2500}, {100, 100, 2000},  {200, 100, 4000},
        {120, 150, 1600}, {1, 800, 2},       {3, 800, 8}, // 2.5 and 7.5: halves to even
        {0, 120, 17},     {150, -5, 300000},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(LargeurMetafichier(c.L, c.H), c.w) << c.L << " x " << c.H;
}

TEST(Metafichier, FormatParLeNom) {
    struct Cas {
        const char* nom;
        FormatMetafichier format;
    };
    const Cas cas[] = {
        {"/d/x.EmF", FormatMetafichier::Emf},  {"/d/x.emf", FormatMetafichier::Emf},
        {"/d/x.wmf", FormatMetafichier::Wmf},  {"/d/x.WMF", FormatMetafichier::Wmf},
        {"/d/x.svgz", FormatMetafichier::Emf}, {"/d/x", FormatMetafichier::Emf},
        {"/d.wmf/x", FormatMetafichier::Emf},  {"/d/x.emf.wmf", FormatMetafichier::Wmf},
        {"/d/xwmf", FormatMetafichier::Emf},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(FormatDuNom(c.nom), c.format) << c.nom;
}

// The header as outside readers size the picture by: bounds (0, 0, w, 2000), frame in
// hundredths of a millimetre, a reference device of the picture's size, the byte and
// record counts matching the records.
TEST(Metafichier, EnteteEmf) {
    ExportExemple x;
    struct Cas {
        int32_t L, H;
    };
    for (const Cas c : {Cas{150, 120}, Cas{200, 100}, Cas{60, 90}}) {
        const int32_t w = LargeurMetafichier(c.L, c.H);
        const std::string emf = ContenuMetafichier(ImageMetafichier(x.s.vue, x.options, w, 2000),
                                                   FormatMetafichier::Emf, c.L, c.H);
        ASSERT_GT(emf.size(), 108u);
        EXPECT_EQ(Mot32(emf, 0), 1u); // EMR_HEADER
        EXPECT_EQ(emf.substr(40, 4), " EMF");
        const int32_t attendu[8] = {0, 0, w, 2000, 0, 0, c.L * 100, c.H * 100};
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(Entier32(emf, 8 + 4 * static_cast<size_t>(i)), attendu[i])
                << c.L << " x " << c.H << " field " << i;
        EXPECT_EQ(Mot32(emf, 48), emf.size());
        const auto enregistrements = EnregistrementsEmf(emf);
        ASSERT_FALSE(enregistrements.empty());
        EXPECT_EQ(enregistrements.back().first, 14u);
        EXPECT_EQ(Mot32(emf, 52), enregistrements.size());
        EXPECT_GE(Mot16(emf, 56), 4u);   // handles: pens, brushes, fonts alive at once
        EXPECT_EQ(Entier32(emf, 72), w); // reference device: the picture itself
        EXPECT_EQ(Entier32(emf, 76), 2000);
        EXPECT_EQ(Entier32(emf, 80), c.L); // ... in millimetres
        EXPECT_EQ(Entier32(emf, 84), c.H);
        EXPECT_EQ(Entier32(emf, 100), c.L * 1000); // and micrometres
    }
    // The default 150 × 120 mm: 2500 × 2000 units on a 15 000 × 12 000 frame.
    EXPECT_EQ(LargeurMetafichier(150, 120), 2500);
}

// emf2svg-conv reads the file and finds the frame, the traces and the labels where the
// layout puts them: L = 175, T = 100, PW = 2250, PH = 1700, t = 10 on 2500 × 2000.
TEST(Metafichier, EmfLuParEmf2svg) {
    ExigeOutils();
    ExportExemple x;
    DossierTemporaire dossier;
    const std::string emf = dossier.Chemin("courbe.emf"), svg = dossier.Chemin("courbe.svg");
    ASSERT_TRUE(
        EcritMetafichier(emf, ContenuMetafichier(ImageMetafichier(x.s.vue, x.options, 2500, 2000),
                                                 FormatMetafichier::Emf, 150, 120)));
    ASSERT_EQ(std::system(("emf2svg-conv -i " + emf + " -o " + svg).c_str()), 0);
    const std::string image = LitFichier(svg);
    EXPECT_NE(image.find("width=\"2500.0000\" height=\"2000.0000\""), std::string::npos);

    const auto rects = Elements(image, "rect");
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].Nombre("x"), 175);
    EXPECT_EQ(rects[0].Nombre("y"), 100);
    EXPECT_EQ(rects[0].Nombre("width"), 2249);
    EXPECT_EQ(rects[0].Nombre("height"), 1699);
    EXPECT_EQ(rects[0].Nombre("stroke-width"), 2);

    // The two traces: 2000 points from the plot's left edge; the right one dashed.
    int traces = 0, tirets = 0;
    for (const Element& p : Elements(image, "path")) {
        const std::string& a = p.attributs;
        if (std::count(a.begin(), a.end(), 'L') < 1999) continue;
        ++traces;
        EXPECT_EQ(p.Nombre("stroke-width"), 4);
        if (a.find("stroke-dasharray") != std::string::npos) {
            ++tirets;
            EXPECT_NE(a.find("d=\"M 175.0000,950.0000 "), std::string::npos); // T + PH/2
        } else {
            EXPECT_NE(a.find("d=\"M 175.0000,950.0000 "), std::string::npos);
        }
    }
    EXPECT_EQ(traces, 2);
    EXPECT_EQ(tirets, 1);

    const auto textes = Elements(image, "text");
    struct Cas {
        const char* texte;
        const char* ancre;
        double x, haut; // the text's anchor and top
        double taille;
    };
    const Cas cas[] = {
        {"0", "middle", 1300, 1870, 53},  // time 0 on the plot's centre column
        {"-20", "middle", 308, 1870, 53}, // 10 ms per label pair, 1.125 units per point
        {"0", "end", 155, 920, 53},       // the zero line, right-aligned left of the plot
        {"10", "end", 155, 70, 53},       // the top of the plot: 100 %
        {"t (ms)", "start", 2225, 1950, 67},
        {"x (×10%)", "start", 0, 0, 67},
        {"Tamburella v0.88", "start", 500, 0, 67},
        {"Dt=2,27 ms   Dx=10,0 %", "start", 375, 1950, 67},
    };
    for (const Cas& c : cas) {
        const Element* e = Texte(textes, c.texte, std::string("text-anchor=\"") + c.ancre);
        ASSERT_NE(e, nullptr) << c.texte;
        EXPECT_EQ(e->Nombre("x"), c.x) << c.texte;
        EXPECT_EQ(e->Nombre("font-size"), c.taille) << c.texte;
        // The reader places the baseline; the top is one ascent above it.
        EXPECT_GT(e->Nombre("y"), c.haut) << c.texte;
        EXPECT_LT(e->Nombre("y"), c.haut + c.taille) << c.texte;
    }
}

// A placeable metafile of the exact physical size: 0.01 mm units, 2540 per inch, the
// header's checksum; wmf2svg reads it and finds the same layout (it fits the drawing to
// its own page, so positions are checked relative to the picture).
TEST(Metafichier, WmfPlacableLuParWmf2svg) {
    ExigeOutils();
    ExportExemple x;
    DossierTemporaire dossier;
    const std::string wmf = dossier.Chemin("courbe.wmf"), svg = dossier.Chemin("courbe.svg");
    const std::string octets = ContenuMetafichier(ImageMetafichier(x.s.vue, x.options, 2500, 2000),
                                                  FormatMetafichier::Wmf, 150, 120);
    ASSERT_GT(octets.size(), 40u);
    EXPECT_EQ(Mot32(octets, 0), 0x9AC6CDD7u);
    EXPECT_EQ(Mot16(octets, 6), 0);
    EXPECT_EQ(Mot16(octets, 8), 0);
    EXPECT_EQ(Mot16(octets, 10), 15000);
    EXPECT_EQ(Mot16(octets, 12), 12000);
    EXPECT_EQ(Mot16(octets, 14), 2540);
    uint16_t controle = 0;
    for (size_t i = 0; i < 20; i += 2)
        controle ^= Mot16(octets, i);
    EXPECT_EQ(Mot16(octets, 20), controle);
    EXPECT_EQ(Mot16(octets, 22 + 4), 0x0300);
    EXPECT_EQ(Mot32(octets, 22 + 6) * 2, octets.size() - 22);
    // The records, to the end record (3 words, type 0).
    size_t position = 40, plusGrand = 0;
    while (position + 6 <= octets.size()) {
        const size_t mots = Mot32(octets, position);
        ASSERT_GE(mots, 3u);
        plusGrand = std::max(plusGrand, mots);
        position += 2 * mots;
        if (mots == 3 && Mot16(octets, position - 2) == 0) break;
    }
    EXPECT_EQ(position, octets.size());
    EXPECT_EQ(Mot32(octets, 22 + 12), plusGrand);

    ASSERT_TRUE(EcritMetafichier(wmf, octets));
    ASSERT_EQ(std::system(("wmf2svg -o " + svg + " " + wmf).c_str()), 0);
    const std::string image = Sortie("iconv -f latin1 -t utf-8 " + svg);
    const auto svgs = Elements(image, "svg");
    ASSERT_EQ(svgs.size(), 1u);
    const double W = svgs[0].Nombre("width"), H = svgs[0].Nombre("height");
    EXPECT_NEAR(W / H, 1.25, 0.01); // 150 × 120 mm

    const auto rects = Elements(image, "rect");
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_NEAR(rects[0].Nombre("x") / W, 0.07, 0.02);
    EXPECT_NEAR(rects[0].Nombre("y") / H, 0.05, 0.02);
    EXPECT_NEAR(rects[0].Nombre("width") / W, 0.9, 0.02);
    EXPECT_NEAR(rects[0].Nombre("height") / H, 0.85, 0.02);
    int traces = 0;
    for (const Element& p : Elements(image, "polyline"))
        if (std::count(p.attributs.begin(), p.attributs.end(), ',') >= 1999) ++traces;
    EXPECT_EQ(traces, 2);
    // Texts by their place: the last two numbers of the matrix, the baseline's start.
    const auto textes = Elements(image, "text");
    for (const char* contenu : {"Tamburella v0.88", "t (ms)", "x (×10%)"}) {
        const Element* e = Texte(textes, contenu);
        ASSERT_NE(e, nullptr) << contenu;
        const size_t fin = e->attributs.rfind(')');
        ASSERT_NE(fin, std::string::npos) << contenu;
        const size_t espace2 = e->attributs.rfind(' ', fin);
        const size_t espace1 = e->attributs.rfind(' ', espace2 - 1);
        const double tx = std::strtod(e->attributs.c_str() + espace1 + 1, nullptr) / W;
        const double ty = std::strtod(e->attributs.c_str() + espace2 + 1, nullptr) / H;
        if (std::string(contenu) == "Tamburella v0.88") {
            EXPECT_NEAR(tx, 0.2, 0.02);
            EXPECT_LT(ty, 0.05);
        } else if (std::string(contenu) == "t (ms)") {
            EXPECT_NEAR(tx, 0.89, 0.02);
            EXPECT_GT(ty, 0.95);
        } else if (std::string(contenu) == "x (×10%)") {
            EXPECT_NEAR(tx, 0, 0.01);
            EXPECT_LT(ty, 0.05);
        }
    }
}

// A metafile far above 64 KiB (four dense exports in one picture) is written whole and
// read back whole.
TEST(Metafichier, GrandFichierEcritEnEntier) {
    ExigeOutils();
    ExportExemple x;
    display::ImageEnregistree image(2500, 2000);
    for (int k = 0; k < 4; ++k)
        display::DessinerExport(x.s.vue, image, 2500, 2000, x.options);
    const std::string octets = ContenuMetafichier(image, FormatMetafichier::Emf, 150, 120);
    ASSERT_GT(octets.size(), 65536u);
    DossierTemporaire dossier;
    const std::string emf = dossier.Chemin("grand.emf"), svg = dossier.Chemin("grand.svg");
    ASSERT_TRUE(EcritMetafichier(emf, octets));
    EXPECT_EQ(LitFichier(emf), octets);
    EXPECT_EQ(EnregistrementsEmf(LitFichier(emf)).back().first, 14u);
    ASSERT_EQ(std::system(("emf2svg-conv -i " + emf + " -o " + svg).c_str()), 0);
    int traces = 0;
    for (const Element& p : Elements(LitFichier(svg), "path"))
        if (std::count(p.attributs.begin(), p.attributs.end(), 'L') >= 1999) ++traces;
    EXPECT_EQ(traces, 8);
}

// A file that cannot be created or written leaves nothing under its name (an existing
// file there keeps its content) and no temporary beside it.
TEST(Metafichier, EcritureImpossible) {
    ExportExemple x;
    const std::string contenu = ContenuMetafichier(ImageMetafichier(x.s.vue, x.options, 2500, 2000),
                                                   FormatMetafichier::Emf, 150, 120);
    DossierTemporaire dossier;
    EcritFichier(dossier.Chemin("lecture-seule.emf"), "ancien");
    ::chmod(dossier.Chemin("lecture-seule.emf").c_str(), 0444);
    ::mkdir(dossier.Chemin("dossier.emf").c_str(), 0755);

    EXPECT_FALSE(EcritMetafichier(dossier.Chemin("absent/x.emf"), contenu));
    EXPECT_FALSE(EcritMetafichier(dossier.Chemin("dossier.emf"), contenu));
    EXPECT_FALSE(EcritMetafichier(dossier.Chemin("lecture-seule.emf"), contenu));
    EXPECT_FALSE(EcritMetafichier(dossier.Chemin("vide.emf"), "")); // nothing was built
    EXPECT_EQ(LitFichier(dossier.Chemin("lecture-seule.emf")), "ancien");

    // The disk takes part of it only.
    rlimit limite;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limite), 0);
    const rlimit ancienne = limite;
    limite.rlim_cur = 4096;
    const auto ancienSignal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limite), 0);
    const bool ecrit = EcritMetafichier(dossier.Chemin("plein.emf"), contenu);
    ::setrlimit(RLIMIT_FSIZE, &ancienne);
    std::signal(SIGXFSZ, ancienSignal);
    EXPECT_FALSE(ecrit);

    EXPECT_EQ(dossier.Fichiers(), (std::vector<std::string>{"dossier.emf", "lecture-seule.emf"}));
    EXPECT_EQ(MessageEcritureImpossible("/d/x.emf"),
              "Impossible d'enregistrer le métafichier\r/d/x.emf");
}

TEST(Metafichier, DossierDuFichier) {
    EXPECT_EQ(DossierDuFichier("/home/u/courbes/x.emf"), "/home/u/courbes");
    EXPECT_EQ(DossierDuFichier("/x.emf"), "/");
    EXPECT_EQ(DossierDuFichier("x.emf"), "");
}

// A4 printable areas at 600 dpi: portrait and landscape, square and fitted.
TEST(PageImprimee, MiseEnPage) {
    struct Cas {
        bool ajuste;
        double Z, V; // mm
        int32_t PW, PH;
        int32_t w, h;
        display::Rect cible;
    };
    const Cas cas[] = {
        {false, 200, 287, 4724, 6780, 2000, 2000, {0, 0, 4724, 4725}},
        {true, 200, 287, 4724, 6780, 1394, 2000, {0, 0, 4724, 6780}},
        {false, 287, 200, 6780, 4724, 2000, 2000, {0, 0, 4725, 4724}},
        {true, 287, 200, 6780, 4724, 2870, 2000, {0, 0, 6780, 4724}},
        {false, 0, 200, 0, 4724, 2000, 2000, {0, 0, 0, 0}}, // no printable area
    };
    for (const Cas& c : cas) {
        const MiseEnPage page = CalculeMiseEnPage(c.ajuste, c.Z, c.V, c.PW, c.PH);
        EXPECT_EQ(page.w, c.w) << c.ajuste << " " << c.Z;
        EXPECT_EQ(page.h, c.h) << c.ajuste << " " << c.Z;
        EXPECT_EQ(page.cible, c.cible) << c.ajuste << " " << c.Z;
    }
}

} // namespace
