// The texts of the control window's display panel: the scale per grid division, the
// cursor measurements, the trigger level and the frame rate. The number of digits
// follows the resolution of the quantity (one screen pixel's worth), so a readout never
// shows more digits than the screen resolves. Plain functions, any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace panel {

// From 16-bit sample units to percent of full scale.
inline constexpr double PourcentParUnite = 100.0 / 32767.5;

// A value per division with three significant digits and a "k" or "m" prefix outside
// 0.01 .. 1000, followed by one space and the prefix: FormatEchelle(3, 0.005) = "5 m",
// FormatEchelle(3, 20) = "20 ". Zero gives "0".
std::string FormatEchelle(int n, double x);

// nombre · pas followed by " " and the unit (with a "k" or "m" prefix outside
// 0.01 .. 1000), with decimals down to the decade of `pas`:
// FormatMesure("s", 100, 1/44100.) = "2,27 ms". A zero count gives "0" and the unit.
std::string FormatMesure(std::string_view unite, float nombre, float pas);

// 20 · log10(v · pas / 100): v counts of `pas` percent, in decibels relative to 100 %.
float EnDecibels(float v, float pas);

// |nombre| · pas in decibels relative to 100 %, with decimals down to the decade of one
// pixel's change at that distance; FormatDecibels("dB", 30, 0.6667f) = "-14,0 dB".
// A zero count gives "-inf " and the unit; an exact 0 dB gives "0" and those decimals.
std::string FormatDecibels(std::string_view unite, float nombre, float pas);

// The trigger level, NiveauDecl in sample units, as a percentage with one decimal:
// 16384 gives "50,0 %".
std::string TexteNiveauDecl(int32_t NiveauDecl);

// The measured frame rate: 59.97 gives "60,0 Hz".
std::string TexteFreqRafraich(float frequence);

// What the two main readouts depend on.
struct EntreesMesures {
    bool Spectre = false;             // `SpectreBouton` checked
    bool CurseursVerticaux = false;   // `CurseursVerticaux1` checked
    bool CurseursHorizontaux = false; // `CurseursHorizontaux1` checked
    bool Decibels = false;            // "&Amplitude dB" checked
    int32_t Xcurs1 = 0, Xcurs2 = 0, Ycurs1 = 0, Ycurs2 = 0;
    int32_t HauteurClient = 1; // of the scope window
    double PasX = 0;           // grid steps from the calibration
    double PasY = 0;
    int32_t FeCourante = 44100;
    double FacteurT = 1; // 2^EchelleT
    double FacteurF = 1; // 2^(EchelleF + SurEchTFR)
    int32_t TailleTFR = 2048;
    int32_t DebutSpectre = 0;
    float PleineEchelle = 32768.0f;
};

struct Legendes {
    std::string LabelH; // horizontal scale or vertical-cursor measurement
    std::string LabelV; // vertical scale or horizontal-cursor measurement
};

// The captions of LabelH and LabelV: "Dt=2,27 ms" / "f=215 Hz" or "5 ms/c" / "2 kHz/c";
// "Dx=20,0 %", "Dx=-14,0 dB", "x=..." or "20 %/c".
Legendes LegendesMesures(const EntreesMesures& e);

} // namespace panel
