// main() of the window tests: a QApplication on the offscreen platform in the station's own
// fonts (the ones the program sets before its first window), then GoogleTest. Qt's default
// font differs from platform to platform; the station's are the same on each.
#include <gtest/gtest.h>

#include <QApplication>

#include "widgets/fonts.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    UseStationFonts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
