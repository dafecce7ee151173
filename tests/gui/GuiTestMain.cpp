// Entry point of the window tests: one QApplication for all tests, offscreen unless a platform
// was chosen, and the program's name for the captions that show it.

#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

#include "tests/gui/OffscreenToolkit.h"

int main(int argc, char** argv) {
    const auto runtime = norvo::testing::PrepareOffscreenToolkit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("norvo"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
