// Parameterised fixture for number texts: expectations are written with a comma and
// each case runs under the separator of its parameter (',' and '.').
#pragma once

#include "platform/Locale.h"

#include <gtest/gtest.h>

#include <string>

class SeparateurImpose : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override { platform::ImposeSeparateurDecimal(GetParam()); }
    void TearDown() override { platform::ImposeSeparateurDecimal('\0'); }
    static std::string Attendu(std::string texte) {
        for (char& c : texte)
            if (c == ',') c = GetParam();
        return texte;
    }
};
