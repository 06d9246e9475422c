// Main of the test programs that need widgets (forms, the program itself): an
// offscreen application object.
#include <QApplication>
#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "framework/uPromptsGui.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // As in the program: Qt's own dialogs and buttons speak German.
    InstallGermanQtTranslations();
    ::testing::InitGoogleTest(&argc, argv);
    ResetProgramStateBeforeEachTest();
    return RUN_ALL_TESTS();
}
