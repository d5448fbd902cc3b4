// A QApplication for the window tests of one test program, on the platform the test main
// chose (off screen unless a display was asked for). Include it in one file per program.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

class ApplicationQt : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char nom[] = "tamburella-essai";
        static char* argv[] = {nom, nullptr};
        application_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { application_.reset(); }

private:
    std::unique_ptr<QApplication> application_;
};

inline ::testing::Environment* const applicationQt =
    ::testing::AddGlobalTestEnvironment(new ApplicationQt);
