// Test entry point: every test program gets a QApplication on the offscreen platform, so
// logic tests and window tests share one main.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <cstdlib>

#include "forms/fonts.h"

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    forms::installFontSubstitutions();
    return RUN_ALL_TESTS();
}
