#pragma once
// The icon table loaded from a temporary Data folder and published as ModuleIcons;
// shared by the engine's icon tests and the forms' glyph tests.

#include "TestHelpers.h"

#include "console/uMod_Icons.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"

#include <gtest/gtest.h>

inline int SetPixels(const TIcon& icon)
{
    int n = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            n += icon.Pixel(x, y);
    return n;
}

// An icon table loaded from a temporary Data folder and published as ModuleIcons.
class IconTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOldDataDir = DataDir;
        FOldIcons = ModuleIcons;
        DataDir = Dir.File(QStringLiteral("Data/"));
        ModuleIcons = &Icons;
        TErrorLog::Instance().Clear();
    }
    void TearDown() override
    {
        DataDir = FOldDataDir;
        ModuleIcons = FOldIcons;
    }
    void Load(const QByteArray& ini)
    {
        Dir.Write(QStringLiteral("Data/icons.ini"), ini);
        Icons.Init();
    }

    TTempProgramDir Dir;
    TModuleIcons Icons;

private:
    QString FOldDataDir;
    TModuleIcons* FOldIcons = nullptr;
};

