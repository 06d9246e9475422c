#pragma once
// A fixture for tests of the console window: the whole engine in a fresh program
// folder, and console window 0 docked into a shown host widget.

#include "TestHelpers.h"

#include "console/uFader.h"
#include "console/uFrm_Lichtpult.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uMod_Main.h"

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

class TConsoleWindowTest : public ::testing::Test {
protected:
    // Files placed into the program folder before the engine starts.
    virtual void PrepareFolder() {}

    void SetUp() override
    {
        PrepareFolder();
        Engine.Start();
        L = ModuleLichtpult;
        Host = std::make_unique<QWidget>();
        Host->resize(1200, 400);
        CreateLichtpultWindows(*L, Host.get());
        Window = LichtpultWindow(0);
        Host->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Host.get()));
    }
    void TearDown() override
    {
        Host.reset();
        Engine.Stop();
    }

    TFader* F(int slot) { return Window->Fader(slot); }
    TKanal& K(int nr) { return L->GetKanal(nr); }

    TEngine Engine;
    TModuleLichtpult* L = nullptr;
    std::unique_ptr<QWidget> Host;
    TFrmLichtpult* Window = nullptr;
};
