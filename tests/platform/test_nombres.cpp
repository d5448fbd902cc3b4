#include "platform/Locale.h"
#include "platform/Nombres.h"

#include "SeparateurImpose.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using platform::ExposantDecimal;
using platform::FormatFixe;
using platform::FormatGeneral;

using Nombres = SeparateurImpose;

TEST(ExposantDecimal, PuissancesExactesSurLeurDecade) {
    struct Cas {
        double v;
        int32_t e;
    };
    for (const Cas& c :
         {Cas{1000, 3}, Cas{999.999, 2}, Cas{1, 0}, Cas{0.1, -1}, Cas{0.001, -3}, Cas{0.00099, -4},
          Cas{1e-5, -5}, Cas{-250, 2}, Cas{2.2675737e-5, -5}, Cas{21.533, 1}})
        EXPECT_EQ(ExposantDecimal(c.v), c.e) << c.v;
}

TEST(ExposantDecimal, SansDecadePourZeroEtNonFinis) {
    EXPECT_EQ(ExposantDecimal(0.0), 0);
    EXPECT_EQ(ExposantDecimal(std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(ExposantDecimal(std::nan("")), 0);
}

TEST_P(Nombres, Fixe) {
    struct Cas {
        double v;
        int precision, decimales;
        const char* texte;
    };
    const Cas cas[] = {
        {22.676, 4, 2, "22,68"},
        {2.2676, 3, 2, "2,27"},
        {215.33, 3, 0, "215"},
        {50.0008, 3, 1, "50,0"},
        {-10.0006, 3, 1, "-10,0"},
        {123.456, 3, 1, "123,0"}, // beyond the precision: zeros
        {0.125, 3, 2, "0,13"},    // halves away from zero
        {-0.125, 3, 2, "-0,13"},
        {2.5, 3, 0, "3"},
        {-2.5, 3, 0, "-3"},
        {9.996, 3, 2, "10,00"}, // carry into a new integer digit
        {0.006, 3, 2, "0,01"},  // rounding at the digit before the first one
        {0.0004, 3, 2, "0,00"}, // below the last decimal
        {-0.004, 3, 1, "0,0"},  // a value rounding to zero has no sign
        {0, 3, 2, "0,00"},
        {1.5, 1, 1, "1,5"}, // precision clamped to 2
        {7, 3, 0, "7"},
        {123456, 3, 0, "1,23E+5"}, // more integer digits than the precision
        {999.96, 3, 1, "1E+3"},    // ... after rounding
        {-99.7, 2, 0, "-1E+2"},
        // Rounded once, on the exact digits: 1558.40088457241949998…, 123.0000152587890625
        {1558.4008845724195, 16, 12, "1558,400884572419"},
        {123 + 0x1p-16, 18, 15, "123,000015258789063"},
        {61266548.73276501, 17, 9, "61266548,732765011"},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(FormatFixe(c.v, c.precision, c.decimales), Attendu(c.texte))
            << c.v << " " << c.precision << " " << c.decimales;
}

TEST_P(Nombres, General) {
    struct Cas {
        double v;
        int precision, exposant;
        const char* texte;
    };
    const Cas cas[] = {
        {0.5, 3, 0, "0,5"},
        {2.50, 3, 0, "2,5"},
        {20, 3, 0, "20"},
        {10, 3, 0, "10"},
        {0.1, 3, 0, "0,1"},
        {2.15333, 3, 0, "2,15"},
        {-0.0125, 3, 0, "-0,0125"},
        {0.0000123456, 3, 0, "0,0000123"},
        {0.000001234, 3, 0, "1,23E-6"},
        {0.000001234, 3, 2, "1,23E-06"},
        // The exponent is signed and has at least the width asked for.
        {123456, 3, 0, "1,23E+5"},
        {999.5, 3, 0, "1E+3"},
        {-100, 2, 0, "-1E+2"},
        {22050, 4, 2, "2,205E+04"},
        {1e100, 3, 2, "1E+100"},
        {-1.5e-12, 4, 3, "-1,5E-012"},
        {1.5e-12, 4, 8, "1,5E-0012"}, // the width is held within 0 .. 4
        {0, 3, 0, "0"},
        // Rounded once, on the exact digits of the value (not first to 18 digits, which
        // would round 55.577936924662949991… up, or the tie 2^-26 = …765625E-8 to even).
        {55.57793692466295, 15, 0, "55,5779369246629"},
        {12552.238963544105, 16, 0, "12552,2389635441"},
        {61266548.73276501, 17, 0, "61266548,732765011"},
        {6.6122727408074715e-09, 17, 0, "6,6122727408074715E-9"},
        {0x1p-26, 18, 0, "1,49011611938476563E-8"},
        {123 + 0x1p-16, 18, 0, "123,000015258789063"},
        {0.1, 18, 0, "0,100000000000000006"},
        {5e-324, 3, 0, "4,94E-324"},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(FormatGeneral(c.v, c.precision, c.exposant), Attendu(c.texte))
            << c.v << " " << c.precision;
}

TEST_P(Nombres, NonFinis) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(FormatFixe(-inf, 3, 1), "-inf");
    EXPECT_EQ(FormatGeneral(inf, 3), "inf");
    EXPECT_EQ(FormatFixe(std::nan(""), 3, 1), "nan");
}

INSTANTIATE_TEST_SUITE_P(Separateurs, Nombres, ::testing::Values(',', '.'),
                         [](const auto& info) { return info.param == ',' ? "Virgule" : "Point"; });

} // namespace
