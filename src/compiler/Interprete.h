// Execution of compiled formulas: an interpreter of exactly the x87 byte sequences that
// the compiler emits. Nothing is ever made executable.
//
// The code names memory by 32-bit virtual addresses, mapped here: the literals of the
// record being run (at their offsets inside the record), the named constants and the
// run-time routines. The code is decoded once into a register-allocated form; decoding
// refuses any byte sequence outside that subset, an x87 or processor stack overflow or
// underflow, a read of a parked operand never written and any address outside the map,
// so a decoded program always runs to completion.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace compiler {

// Virtual address of a record's first byte, and of its literal areas.
inline constexpr uint32_t BaseFonction = 0x00400000;
inline constexpr uint32_t DecalageReels = 1280;
inline constexpr uint32_t DecalageEntiers = 1536;
inline constexpr int CapaciteLitteraux = 32;
inline constexpr uint32_t BaseConstantes = 0x00500000; // 8 bytes per named constant
inline constexpr uint32_t BaseRoutines = 0x00600000;   // 16 bytes per routine entry

constexpr uint32_t AdresseReel(int k) {
    return BaseFonction + DecalageReels + 8 * static_cast<uint32_t>(k);
}
constexpr uint32_t AdresseEntier(int k) {
    return BaseFonction + DecalageEntiers + 4 * static_cast<uint32_t>(k);
}
constexpr uint32_t AdresseConstante(int k) {
    return BaseConstantes + 8 * static_cast<uint32_t>(k);
}
// Entries 0..18 are the called functions in table order; entry 19 is Puissance.
inline constexpr int RoutinePuissance = 19;
constexpr uint32_t AdresseRoutine(int k) {
    return BaseRoutines + 16 * static_cast<uint32_t>(k);
}

// Limits of the machine the code runs on: parked 8-byte operands below the frame, and
// x87 registers a routine may use besides its result.
inline constexpr int CapacitePile = 256;
inline constexpr int RegistresRoutine = 4;

// One decoded instruction, the x87 registers resolved to fixed positions.
struct Operation {
    uint8_t Code;
    uint8_t Registre;    // x87 register position that the instruction reads or writes
    uint8_t Emplacement; // parked-operand slot
    uint8_t Indice;      // literal, named constant or routine
};

inline constexpr int CapaciteOperations = 512;

struct Programme {
    std::array<Operation, CapaciteOperations> Operations;
    uint16_t Nombre = 0;
    bool Valide = false;
};

// Why decoding refused a code area: the offset of the faulty instruction and a message.
struct RefusDecodage {
    int Position = -1;
    const char* Message = nullptr;
};

// Decodes code[0..taille-1], which must start with the routine's prologue and reach its
// epilogue. Returns false (programme.Valide false) on anything else. Any thread.
bool DecodeCode(const uint8_t* code, std::size_t taille, Programme& programme,
                RefusDecodage* refus = nullptr);

// Runs a decoded program for the argument x; reels and entiers are the record's literal
// areas (CapaciteLitteraux entries each). An invalid program gives NaN. Any thread.
long double Execute(const Programme& programme, const double* reels, const int32_t* entiers,
                    double x);

// The same for n arguments, results into resultats[0..n-1].
void ExecuteSerie(const Programme& programme, const double* reels, const int32_t* entiers,
                  const double* x, long double* resultats, std::size_t n);

} // namespace compiler
