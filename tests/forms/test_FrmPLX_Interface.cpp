// The input/relay box page offscreen over the fake HID backend: the device
// list, the output check boxes and the I command writing reports, the input
// buttons and memos running and holding the scripts, and the debug log.

#include "TestHelpers.h"

#include "devices/uFrm_PLX_Interface.h"
#include "devices/uPlxBox.h"
#include "framework/uUtils.h"
#include "platform/Hid.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

TEST(FrmPLXInterface, ThePageDrivesTheBoxAndFollowsIt)
{
    auto backend = std::make_unique<TFakeHidBackend>();
    TFakeHidBackend& fake = *backend;
    TPlxBox box(std::move(backend));
    QStringList ran;
    box.RunLines = [&](const QStringList& lines) { ran << lines; };
    TFrmPLX_Interface page(box);
    page.show();

    THidDeviceInfo info;
    info.VendorID = 0x16C0;
    info.ProductID = 0x05DF;
    info.Product = TPlxBox::ProductString;
    info.ReportDescriptor = QByteArray::fromHex("0600FF0901A101150026FF007508950809018102950809019102C0");
    const QString key = fake.Plug(info);
    ASSERT_TRUE(WaitFor([&] { return page.DevListBox->count() == 1 && box.HasOpenBox(); }));
    EXPECT_EQ(page.DevListBox->currentRow(), 0);

    // A click on output 10 writes its bit; the I command moves the box without a second report.
    QTest::mouseClick(page.Outputs[9], Qt::LeftButton);
    EXPECT_EQ(fake.TakeOutput(key, 1000).toHex(' '), "00 00 00 02 00 00 00 00 00");
    EXPECT_EQ(page.Label4->text(), "9");
    QStringList tokens{"I10", "S0", "E"};
    box.ExecuteInterfaceCommand(tokens);
    EXPECT_FALSE(page.Outputs[9]->isChecked());
    EXPECT_EQ(fake.TakeOutput(key, 1000).toHex(' '), "00 00 00 00 00 00 00 00 00");
    EXPECT_TRUE(fake.TakeOutput(key, 0).isEmpty());

    // Typed script lines reach the box; the left button presses and releases, the right does nothing.
    for (const char* line : {"K1P255", "uK1P0"}) {
        QTest::keyClicks(page.Scripts[1], line);
        QTest::keyClick(page.Scripts[1], Qt::Key_Return);
    }
    EXPECT_EQ(box.Script(1), QStringList({"K1P255", "uK1P0"}));
    QTest::mousePress(page.Inputs[1], Qt::RightButton);
    QTest::mouseRelease(page.Inputs[1], Qt::RightButton);
    EXPECT_TRUE(ran.isEmpty());
    QTest::mouseClick(page.Inputs[1], Qt::LeftButton);
    EXPECT_EQ(ran, QStringList({"K1P255", "K1P0"}));

    // A pressed input shows bold; the debug log gets a line per report and is copied on a double click.
    page.cbDebug->setChecked(true);
    fake.SendInput(key, QByteArray::fromHex("FD00000000000000"));
    fake.SendInput(key, QByteArray::fromHex("FD00000000000000"));
    ASSERT_TRUE(WaitFor([&] { return page.Inputs[1]->font().bold(); }));
    EXPECT_EQ(page.memDebug->blockCount(), 3);
    QTest::mouseDClick(page.memDebug->viewport(), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), page.memDebug->toPlainText());

    // A paste of megabytes into a script is cut to what a command line can be;
    // the box gets what the memo shows.
    QStringList lines;
    for (int i = 0; i < 60000; ++i)
        lines << QStringLiteral("K%1P255").arg(i % 510 + 1) + QString(90, u' ');
    QGuiApplication::clipboard()->setText(lines.join(u'\n'));
    page.Scripts[2]->paste();
    const QString kept = lines.join(u'\n').left(MaxCommandLineLength);
    EXPECT_EQ(page.Scripts[2]->toPlainText(), kept);
    EXPECT_EQ(box.Script(2).join(u'\n'), kept);
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Einfügen in memInput3: ")), 1);

    // A new show empties the memos and unchecks the outputs.
    box.SetOutput(0, true);
    box.ClearInputsAndOutputs();
    EXPECT_TRUE(page.Scripts[1]->toPlainText().isEmpty());
    EXPECT_FALSE(page.Outputs[0]->isChecked());

    fake.Unplug(key);
    ASSERT_TRUE(WaitFor([&] { return page.DevListBox->count() == 0; }));
    EXPECT_FALSE(box.HasOpenBox());
}
