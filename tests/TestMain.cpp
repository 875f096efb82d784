// Test entry: a QApplication on the offscreen platform with the program's fonts and Turkish
// settings.
#include "core/RegionalSettings.h"
#include "platform/Application.h"
#include "platform/Fonts.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::loadFonts();
    platform::useClassicLook(); // as the program does
    const core::RegionalSettings regional(core::turkishFormatSettings());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
