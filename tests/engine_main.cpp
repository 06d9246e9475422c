// Main of the engine test program: a core application object only, so the engine
// tests have an event loop and no widget library is linked into the program.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "TestHelpers.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ResetProgramStateBeforeEachTest();
    return RUN_ALL_TESTS();
}
