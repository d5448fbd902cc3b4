#include "compiler/Compilateur.h"

#include <cfenv>
#include <charconv>
#include <clocale>
#include <cstddef>
#include <initializer_list>

namespace compiler {

static_assert(offsetof(fonction, Reels) == DecalageReels);
static_assert(offsetof(fonction, Entiers) == DecalageEntiers);
static_assert(sizeof(ChaineCourte) == 256);

void ChaineCourte::Affecte(std::string_view texte) {
    Longueur = static_cast<uint8_t>(texte.size() < Caracteres.size() ? texte.size() : 255);
    texte.copy(Caracteres.data(), Longueur);
}

char SeparateurDecimal() {
    const char* point = std::localeconv()->decimal_point;
    return point && point[0] && !point[1] ? point[0] : '.';
}

namespace {

constexpr int TailleEpilogue = 4;
constexpr uint8_t Parque[] = {0x83, 0xEC, 0x08, 0xDD, 0x1C, 0x24}; // sub esp, 8; fstp [esp]

// One compilation: recursive descent over the normalised text, emitting code as it goes.
class Compilation {
public:
    Compilation(std::string_view variable, fonction& f, char separateur)
        : variable_(variable), f_(f), separateur_(separateur) {}

    bool Compile(ErreurCompilation* erreur);

private:
    bool Normalise();
    char Courant() const { return texte_[position_]; }
    bool Fin() const { return position_ == fin_; }
    static bool EstChiffre(char c) { return c >= '0' && c <= '9'; }
    static bool EstLettre(char c) { return c >= 'A' && c <= 'Z'; }

    void Echec(int position, const char* message) {
        if (!ok_) return;
        ok_ = false;
        erreur_ = {origine_[position], message};
    }
    void Emet(std::initializer_list<uint8_t> octets) { Emet(octets.begin(), octets.size()); }
    void Emet(const uint8_t* octets, std::size_t n);
    void EmetImmediat(uint8_t instruction, uint32_t adresse) {
        Emet({instruction, static_cast<uint8_t>(adresse), static_cast<uint8_t>(adresse >> 8),
              static_cast<uint8_t>(adresse >> 16), static_cast<uint8_t>(adresse >> 24)});
    }
    void EmetAppel(int routine) {
        Emet(Parque, sizeof Parque);
        EmetImmediat(0xB8, AdresseRoutine(routine)); // mov eax, routine
        Emet({0xFF, 0xD0});                          // call eax
    }

    void Expression();
    void Terme();
    void Puissance();
    void Facteur();
    void Nombre();
    void Nom();
    void Argument(int debutNom);

    std::string_view variable_;
    fonction& f_;
    char separateur_;
    std::array<char, 256> texte_{};  // normalised text, then "$"
    std::array<int, 256> origine_{}; // offset in the caller's text of each character
    int fin_ = 0;                    // position of the end marker
    int position_ = 0;
    int longueurCode_ = 0;
    int nbReels_ = 0;
    int nbEntiers_ = 0;
    bool ok_ = true;
    ErreurCompilation erreur_;
};

bool Compilation::Compile(ErreurCompilation* erreur) {
    f_.Code.fill(0xC3); // ret
    f_.Reels.fill(0);
    f_.Entiers.fill(0);
    f_.CodeDecode.Valide = false;
    Emet({0x55, 0x89, 0xE5}); // push ebp; mov ebp, esp
    if (Normalise()) {
        Expression();
        if (!Fin()) Echec(position_, "Caractère inattendu");
    }
    // The epilogue always has room: Emet keeps it free.
    for (uint8_t o : {0x5D, 0xC2, 0x08, 0x00}) // pop ebp; ret 8
        f_.Code[longueurCode_++] = o;
    if (ok_ && !DecodeCode(f_.Code.data(), f_.Code.size(), f_.CodeDecode))
        Echec(0, "Erreur interne du compilateur");
    if (erreur) *erreur = ok_ ? ErreurCompilation{} : erreur_;
    return ok_;
}

bool Compilation::Normalise() {
    const std::string_view source = f_.Source.Vue();
    if (source.size() >= 255) {
        // No room is left for the end marker.
        origine_[0] = static_cast<int>(source.size());
        Echec(0, "Formule trop longue");
        return false;
    }
    for (std::size_t i = 0; i < source.size(); ++i) {
        auto c = static_cast<unsigned char>(source[i]);
        if (c >= 'a') c = static_cast<unsigned char>(c - 32);
        if (c == ' ') continue;
        origine_[fin_] = static_cast<int>(i);
        texte_[fin_++] = static_cast<char>(c);
    }
    // The marker itself is not a character of the grammar: a "$" typed by the user is
    // refused like any other stray character.
    origine_[fin_] = static_cast<int>(source.size());
    texte_[fin_] = '$';
    return true;
}

void Compilation::Emet(const uint8_t* octets, std::size_t n) {
    if (!ok_) return;
    if (longueurCode_ + static_cast<int>(n) > TailleCode - TailleEpilogue) {
        Echec(position_, "Formule trop complexe");
        return;
    }
    for (std::size_t i = 0; i < n; ++i)
        f_.Code[longueurCode_++] = octets[i];
}

// expression = ["+" | "-"] term {("+" | "-") term}
void Compilation::Expression() {
    const char signe = Courant();
    if (signe == '+' || signe == '-') ++position_;
    Terme();
    if (signe == '-') Emet({0xD9, 0xE0}); // fchs
    while (ok_ && (Courant() == '+' || Courant() == '-')) {
        const char operateur = Courant();
        ++position_;
        Emet(Parque, sizeof Parque);
        Terme();
        if (operateur == '+')
            Emet({0xDC, 0x04, 0x24, 0x83, 0xC4, 0x08}); // fadd [esp]; add esp, 8
        else
            Emet({0xDC, 0x2C, 0x24, 0x83, 0xC4, 0x08}); // fsubr [esp]; add esp, 8
    }
}

// term = power {("*" | "/") power}
void Compilation::Terme() {
    Puissance();
    while (ok_ && (Courant() == '*' || Courant() == '/')) {
        const char operateur = Courant();
        ++position_;
        Emet(Parque, sizeof Parque);
        Puissance();
        if (operateur == '*')
            Emet({0xDC, 0x0C, 0x24, 0x83, 0xC4, 0x08}); // fmul [esp]; add esp, 8
        else
            Emet({0xDC, 0x3C, 0x24, 0x83, 0xC4, 0x08}); // fdivr [esp]; add esp, 8
    }
}

// power = factor {"^" factor}
void Compilation::Puissance() {
    Facteur();
    while (ok_ && Courant() == '^') {
        ++position_;
        Emet(Parque, sizeof Parque);
        Facteur();
        EmetAppel(RoutinePuissance);
    }
}

// factor = number | name | name "(" expression ")" | "(" expression ")"
void Compilation::Facteur() {
    if (!ok_) return;
    const char c = Courant();
    if (EstChiffre(c)) {
        Nombre();
    } else if (EstLettre(c)) {
        Nom();
    } else if (c == '(') {
        const int ouvrante = position_++;
        Expression();
        if (Courant() == ')')
            ++position_;
        else
            Echec(ouvrante, "Parenthèse non fermée");
    } else {
        Echec(position_, Fin() ? "Formule incomplète" : "Opérande attendu");
    }
}

// number = digits [separator digits] ["E" ["+" | "-"] digits]
void Compilation::Nombre() {
    const int debut = position_;
    while (EstChiffre(Courant()))
        ++position_;
    if (Courant() == separateur_) {
        ++position_;
        while (EstChiffre(Courant()))
            ++position_;
    }
    if (Courant() == 'E') {
        ++position_;
        if (Courant() == '+' || Courant() == '-') ++position_;
        while (EstChiffre(Courant()))
            ++position_;
    }
    const char* premier = texte_.data() + debut;
    const char* dernier = texte_.data() + position_;

    int32_t entier = 0;
    auto lu = std::from_chars(premier, dernier, entier);
    if (lu.ec == std::errc() && lu.ptr == dernier) {
        if (nbEntiers_ == CapaciteLitteraux) return Echec(debut, "Trop de nombres entiers");
        f_.Entiers[nbEntiers_] = entier;
        EmetImmediat(0xBA, AdresseEntier(nbEntiers_++)); // mov edx, Entiers[k]
        return Emet({0xDB, 0x02});                       // fild dword [edx]
    }
    // from_chars wants ".": the separator is swapped in a copy.
    std::array<char, 256> copie{};
    std::size_t n = 0;
    for (const char* c = premier; c != dernier; ++c)
        copie[n++] = *c == separateur_ ? '.' : *c;
    double reel = 0;
    auto converti = std::from_chars(copie.data(), copie.data() + n, reel);
    if (converti.ec != std::errc() || converti.ptr != copie.data() + n)
        return Echec(debut, converti.ec == std::errc::result_out_of_range ? "Nombre hors limites"
                                                                          : "Nombre incorrect");
    if (nbReels_ == CapaciteLitteraux) return Echec(debut, "Trop de nombres réels");
    f_.Reels[nbReels_] = reel;
    EmetImmediat(0xBA, AdresseReel(nbReels_++)); // mov edx, Reels[k]
    Emet({0xDD, 0x02});                          // fld qword [edx]
}

// A name is, in this order, a named constant, a called function, an inline function or
// the variable.
void Compilation::Nom() {
    const int debut = position_;
    while (EstLettre(Courant()))
        ++position_;
    const std::string_view nom(texte_.data() + debut, static_cast<std::size_t>(position_ - debut));
    for (int k = 0; k < NbConstantes; ++k)
        if (Constantes[k].Nom == nom) {
            EmetImmediat(0xBA, AdresseConstante(k)); // mov edx, constant
            return Emet({0xDD, 0x02});               // fld qword [edx]
        }
    for (int k = 0; k < NbFonctionsAppelees; ++k)
        if (FonctionsAppelees[k].Nom == nom) {
            Argument(debut);
            return EmetAppel(k);
        }
    for (const FonctionEnLigne& fonction : FonctionsEnLigne)
        if (fonction.Nom == nom) {
            Argument(debut);
            return Emet(fonction.Octets.data(), fonction.Longueur);
        }
    if (!variable_.empty() && nom == variable_)
        return Emet({0xDD, 0x45, 0x08}); // fld qword [ebp+8]
    Echec(debut, "Nom inconnu");
}

// "(" expression ")" right after a function's name.
void Compilation::Argument(int debutNom) {
    if (Courant() != '(') return Echec(debutNom, "« ( » attendue après le nom de la fonction");
    const int ouvrante = position_++;
    Expression();
    if (Courant() == ')')
        ++position_;
    else
        Echec(ouvrante, "Parenthèse non fermée");
}

} // namespace

bool CompileFormule(std::string_view variable, fonction& f) {
    return CompileFormule(variable, f, SeparateurDecimal());
}

bool CompileFormule(std::string_view variable, fonction& f, char separateur,
                    ErreurCompilation* erreur) {
    // A separator that the grammar already uses would make numbers ambiguous.
    const std::string_view reserves = "0123456789+-*/^()$ ";
    const bool lettre =
        (separateur >= 'A' && separateur <= 'Z') || (separateur >= 'a' && separateur <= 'z');
    if (separateur == '\0' || lettre || reserves.find(separateur) != std::string_view::npos)
        separateur = '.';
    return Compilation(variable, f, separateur).Compile(erreur);
}

bool PrepareFonction(fonction& f, RefusDecodage* refus) {
    return DecodeCode(f.Code.data(), f.Code.size(), f.CodeDecode, refus);
}

long double AppelleFonction(double x, const fonction& f) {
    const long double resultat = Execute(f.CodeDecode, f.Reels.data(), f.Entiers.data(), x);
    std::feclearexcept(FE_ALL_EXCEPT);
    return resultat;
}

void AppelleFonctionSerie(const fonction& f, const double* x, long double* resultats,
                          std::size_t n) {
    ExecuteSerie(f.CodeDecode, f.Reels.data(), f.Entiers.data(), x, resultats, n);
    std::feclearexcept(FE_ALL_EXCEPT);
}

double EvalueConstante(std::string_view texte) {
    return EvalueConstante(texte, SeparateurDecimal());
}

double EvalueConstante(std::string_view texte, char separateur, ErreurCompilation* erreur) {
    ErreurFormule = 0;
    fonction f;
    f.Source.Affecte(texte);
    if (!CompileFormule("", f, separateur, erreur)) {
        ErreurFormule = 1;
        return NonNombre;
    }
    return static_cast<double>(AppelleFonction(1.0, f));
}

} // namespace compiler
