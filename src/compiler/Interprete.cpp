#include "compiler/Interprete.h"

#include "compiler/Routines.h"
#include "compiler/X87.h"

#include <algorithm>
#include <optional>

namespace compiler {

namespace {

enum CodeOperation : uint8_t {
    OpChargeX,         // fld qword [ebp+8]
    OpChargeEntier,    // fild dword [edx]
    OpChargeReel,      // fld qword [edx], a literal of the record
    OpChargeConstante, // fld qword [edx], a named constant
    OpRange,           // fstp qword [esp]
    OpAjoute,          // fadd qword [esp]
    OpSoustraitDe,     // fsubr qword [esp]
    OpMultiplie,       // fmul qword [esp]
    OpDiviseDe,        // fdivr qword [esp]
    OpOppose,          // fchs
    OpAbs,             // fabs
    OpRacine,          // fsqrt
    OpArrondit,        // frndint
    OpSin,             // fsin
    OpCos,             // fcos
    OpCarre,           // fmul st(0), st(0)
    OpSinCos,          // fsincos
    OpDivise,          // fdivp st(1), st(0)
    OpDiviseInverse,   // fdivrp st(1), st(0)
    OpUn,              // fld1
    OpPatan,           // fpatan
    OpEchange,         // fxch st(1)
    OpAppel,           // call eax, a one-argument routine
    OpPuissance,       // call eax, Puissance
    OpFin,             // pop ebp; ret 8
};

constexpr int RegistresX87 = 8;

// Walks the code once, tracking everything statically: the code has no branches, so the
// x87 depth, the parked operands and the values of edx and eax are known at each byte.
class Decodeur {
public:
    Decodeur(const uint8_t* code, std::size_t taille, Programme& programme)
        : code_(code), taille_(taille), programme_(programme) {}

    bool Decode(RefusDecodage* refus);

private:
    bool Suit(std::initializer_list<uint8_t> octets) {
        if (position_ + octets.size() > taille_) return false;
        std::size_t i = position_;
        for (uint8_t o : octets)
            if (code_[i++] != o) return false;
        position_ = i;
        return true;
    }
    bool LitImmediat(uint32_t& valeur) {
        if (position_ + 4 > taille_) return false;
        valeur = 0;
        for (int i = 3; i >= 0; --i)
            valeur = valeur << 8 | code_[position_ + i];
        position_ += 4;
        return true;
    }
    bool Refuse(const char* message) {
        message_ = message;
        return false;
    }
    bool Emet(uint8_t operation, int registre, int emplacement = 0, int indice = 0) {
        if (programme_.Nombre >= CapaciteOperations) return Refuse("code trop long");
        programme_.Operations[programme_.Nombre++] = {operation, static_cast<uint8_t>(registre),
                                                      static_cast<uint8_t>(emplacement),
                                                      static_cast<uint8_t>(indice)};
        return true;
    }
    // Instructions that push onto the x87 stack.
    bool Empile(uint8_t operation, int emplacement = 0, int indice = 0) {
        if (profondeur_ >= RegistresX87) return Refuse("dépassement de la pile x87");
        if (!Emet(operation, profondeur_, emplacement, indice)) return false;
        ++profondeur_;
        return true;
    }
    // Instructions on st(0) alone.
    bool SurSommet(uint8_t operation) {
        if (profondeur_ < 1) return Refuse("pile x87 vide");
        return Emet(operation, profondeur_ - 1);
    }
    // Instructions on st(1) and st(0); `depile` when st(0) is popped.
    bool SurDeux(uint8_t operation, bool depile) {
        if (profondeur_ < 2) return Refuse("pile x87 insuffisante");
        if (!Emet(operation, profondeur_ - 2)) return false;
        profondeur_ -= depile ? 1 : 0;
        return true;
    }
    // The parked operand at [esp], which must have been written.
    bool OperandeSommet(uint8_t operation) {
        if (profondeur_ < 1) return Refuse("pile x87 vide");
        if (parques_ < 1 || !ecrit_[parques_ - 1]) return Refuse("opérande non rangé");
        return Emet(operation, profondeur_ - 1, parques_ - 1);
    }

    bool Instruction();
    bool ChargeDepuisEdx(bool entier);
    bool Appel();

    const uint8_t* code_;
    std::size_t taille_;
    Programme& programme_;
    std::size_t position_ = 0;
    const char* message_ = nullptr;
    int profondeur_ = 0; // x87 registers in use
    int parques_ = 0;    // 8-byte operands below the frame
    std::array<bool, CapacitePile> ecrit_{};
    std::optional<uint32_t> edx_, eax_;
    bool fini_ = false;
};

bool Decodeur::Decode(RefusDecodage* refus) {
    programme_.Nombre = 0;
    programme_.Valide = false;
    bool ok = Suit({0x55, 0x89, 0xE5}) || Refuse("prologue attendu");
    std::size_t debut = 0;
    while (ok && !fini_) {
        debut = position_;
        ok = Instruction();
    }
    if (!ok) {
        programme_.Nombre = 0;
        if (refus) *refus = {static_cast<int>(debut), message_};
        return false;
    }
    programme_.Valide = true;
    return true;
}

bool Decodeur::Instruction() {
    if (position_ >= taille_) return Refuse("fin de code sans retour");
    uint32_t valeur = 0;
    if (Suit({0xDD, 0x45, 0x08})) return Empile(OpChargeX);
    if (Suit({0xBA}))
        return LitImmediat(valeur) ? (edx_ = valeur, true) : Refuse("immédiat tronqué");
    if (Suit({0xB8}))
        return LitImmediat(valeur) ? (eax_ = valeur, true) : Refuse("immédiat tronqué");
    if (Suit({0xDB, 0x02})) return ChargeDepuisEdx(true);
    if (Suit({0xDD, 0x02})) return ChargeDepuisEdx(false);
    if (Suit({0x83, 0xEC, 0x08})) {
        if (parques_ >= CapacitePile) return Refuse("dépassement de la pile");
        ecrit_[parques_++] = false;
        return true;
    }
    if (Suit({0x83, 0xC4, 0x08})) {
        if (parques_ < 1) return Refuse("pile vide");
        --parques_;
        return true;
    }
    if (Suit({0xDD, 0x1C, 0x24})) {
        if (profondeur_ < 1) return Refuse("pile x87 vide");
        if (parques_ < 1) return Refuse("pile vide");
        ecrit_[parques_ - 1] = true;
        --profondeur_;
        return Emet(OpRange, profondeur_, parques_ - 1);
    }
    if (Suit({0xDC, 0x04, 0x24})) return OperandeSommet(OpAjoute);
    if (Suit({0xDC, 0x2C, 0x24})) return OperandeSommet(OpSoustraitDe);
    if (Suit({0xDC, 0x0C, 0x24})) return OperandeSommet(OpMultiplie);
    if (Suit({0xDC, 0x3C, 0x24})) return OperandeSommet(OpDiviseDe);
    if (Suit({0xFF, 0xD0})) return Appel();
    if (Suit({0xD9, 0xE0})) return SurSommet(OpOppose);
    if (Suit({0xD9, 0xE1})) return SurSommet(OpAbs);
    if (Suit({0xD9, 0xFA})) return SurSommet(OpRacine);
    if (Suit({0xD9, 0xFC})) return SurSommet(OpArrondit);
    if (Suit({0xD9, 0xFE})) return SurSommet(OpSin);
    if (Suit({0xD9, 0xFF})) return SurSommet(OpCos);
    if (Suit({0xDC, 0xC8})) return SurSommet(OpCarre);
    if (Suit({0xD9, 0xFB})) {
        if (profondeur_ < 1) return Refuse("pile x87 vide");
        if (profondeur_ >= RegistresX87) return Refuse("dépassement de la pile x87");
        ++profondeur_;
        return Emet(OpSinCos, profondeur_ - 2);
    }
    if (Suit({0xDE, 0xF9})) return SurDeux(OpDivise, true);
    if (Suit({0xDE, 0xF1})) return SurDeux(OpDiviseInverse, true);
    if (Suit({0xD9, 0xF3})) return SurDeux(OpPatan, true);
    if (Suit({0xD9, 0xC9})) return SurDeux(OpEchange, false);
    if (Suit({0xD9, 0xE8})) return Empile(OpUn);
    if (Suit({0x5D, 0xC2, 0x08, 0x00})) {
        if (parques_ != 0) return Refuse("pile non rétablie au retour");
        if (profondeur_ != 1) return Refuse("pile x87 sans résultat unique au retour");
        fini_ = true;
        return Emet(OpFin, 0);
    }
    return Refuse("instruction inconnue");
}

bool Decodeur::ChargeDepuisEdx(bool entier) {
    if (!edx_) return Refuse("adresse indéfinie");
    const uint32_t a = *edx_;
    if (entier) {
        const uint32_t debut = AdresseEntier(0);
        if (a < debut || a >= AdresseEntier(CapaciteLitteraux) || (a - debut) % 4 != 0)
            return Refuse("adresse hors de la carte");
        return Empile(OpChargeEntier, 0, static_cast<int>((a - debut) / 4));
    }
    if (a >= AdresseReel(0) && a < AdresseReel(CapaciteLitteraux) && (a - AdresseReel(0)) % 8 == 0)
        return Empile(OpChargeReel, 0, static_cast<int>((a - AdresseReel(0)) / 8));
    if (a >= AdresseConstante(0) && a < AdresseConstante(NbConstantes) &&
        (a - AdresseConstante(0)) % 8 == 0)
        return Empile(OpChargeConstante, 0, static_cast<int>((a - AdresseConstante(0)) / 8));
    return Refuse("adresse hors de la carte");
}

bool Decodeur::Appel() {
    if (!eax_) return Refuse("adresse indéfinie");
    const uint32_t a = *eax_;
    if (a < AdresseRoutine(0) || a > AdresseRoutine(RoutinePuissance) ||
        (a - AdresseRoutine(0)) % 16 != 0)
        return Refuse("adresse hors de la carte");
    const int routine = static_cast<int>((a - AdresseRoutine(0)) / 16);
    const int arguments = routine == RoutinePuissance ? 2 : 1;
    if (parques_ < arguments) return Refuse("argument manquant");
    for (int i = 1; i <= arguments; ++i)
        if (!ecrit_[parques_ - i]) return Refuse("opérande non rangé");
    if (profondeur_ + RegistresRoutine >= RegistresX87) return Refuse("dépassement de la pile x87");
    parques_ -= arguments;
    // The routine leaves its result in st(0) and may change eax and edx.
    edx_.reset();
    eax_.reset();
    return Empile(routine == RoutinePuissance ? OpPuissance : OpAppel, parques_, routine);
}

} // namespace

bool DecodeCode(const uint8_t* code, std::size_t taille, Programme& programme,
                RefusDecodage* refus) {
    return Decodeur(code, taille, programme).Decode(refus);
}

namespace {

static_assert(CapacitePile <= 256 && NbFonctionsAppelees == RoutinePuissance);

// The machine state: x87 registers at fixed positions and the parked operands, stored
// as 64-bit floats like the processor stack holds them.
inline long double Interprete(const Operation* o, const double* reels, const int32_t* entiers,
                              double x) {
    long double st[RegistresX87];
    double pile[CapacitePile];
    for (;; ++o) {
        long double& r = st[o->Registre];
        switch (o->Code) {
        case OpChargeX:
            r = x;
            break;
        case OpChargeEntier:
            r = entiers[o->Indice];
            break;
        case OpChargeReel:
            r = reels[o->Indice];
            break;
        case OpChargeConstante:
            r = Constantes[o->Indice].Valeur;
            break;
        case OpRange:
            pile[o->Emplacement] = static_cast<double>(r);
            break;
        case OpAjoute:
            r += pile[o->Emplacement];
            break;
        case OpSoustraitDe:
            r = pile[o->Emplacement] - r;
            break;
        case OpMultiplie:
            r *= pile[o->Emplacement];
            break;
        case OpDiviseDe:
            r = pile[o->Emplacement] / r;
            break;
        case OpOppose:
            r = -r;
            break;
        case OpAbs:
            r = std::fabs(r);
            break;
        case OpRacine:
            r = Fsqrt(r);
            break;
        case OpArrondit:
            r = Frndint(r);
            break;
        case OpSin:
            r = Fsin(r);
            break;
        case OpCos:
            r = Fcos(r);
            break;
        case OpCarre:
            r *= r;
            break;
        case OpSinCos:
            Fsincos(r, r, st[o->Registre + 1]);
            break;
        case OpDivise:
            r /= st[o->Registre + 1];
            break;
        case OpDiviseInverse:
            r = st[o->Registre + 1] / r;
            break;
        case OpUn:
            r = 1;
            break;
        case OpPatan:
            r = Fpatan(r, st[o->Registre + 1]);
            break;
        case OpEchange:
            std::swap(r, st[o->Registre + 1]);
            break;
        case OpAppel:
            r = FonctionsAppelees[o->Indice].Routine(pile[o->Emplacement]);
            break;
        case OpPuissance:
            r = Puissance(pile[o->Emplacement], pile[o->Emplacement + 1]);
            break;
        default: // OpFin: the decoder ends every program with it
            return r;
        }
    }
}

} // namespace

long double Execute(const Programme& programme, const double* reels, const int32_t* entiers,
                    double x) {
    if (!programme.Valide) return NonNombre;
    return Interprete(programme.Operations.data(), reels, entiers, x);
}

void ExecuteSerie(const Programme& programme, const double* reels, const int32_t* entiers,
                  const double* x, long double* resultats, std::size_t n) {
    if (!programme.Valide) {
        std::fill(resultats, resultats + n, NonNombre);
        return;
    }
    for (std::size_t i = 0; i < n; ++i)
        resultats[i] = Interprete(programme.Operations.data(), reels, entiers, x[i]);
}

} // namespace compiler
