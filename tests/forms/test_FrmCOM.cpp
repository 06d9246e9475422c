// The serial terminal page offscreen through its named widgets, on a
// pseudo-terminal mapped as COM3.

#include "TestHelpers.h"

#include "devices/uComTerminal.h"
#include "devices/uFrm_COM.h"
#include "devices/uMod_Interface.h"
#include "framework/uComposition.h"
#include "framework/uMod_Main.h"
#include "platform/SerialPort.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

TEST(FrmCOM, ConnectSendWithLineEndAndShowTheAnswer)
{
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    SetComDeviceTable({{3, name}});
    ProbeComPorts();
    {
        TEngine engine;
        engine.Start();
        QTabWidget tabs;
        CreateInterfacePages(&tabs);
        ASSERT_NE(FrmCOM, nullptr);
        TFrmCOM& f = *FrmCOM;
        EXPECT_EQ(f.parentWidget()->objectName(), "tabCOM");
        EXPECT_EQ(f.COMComboBox1->currentText(), "COM3");
        EXPECT_EQ(f.COMComboBox1->SelectedPort(), 3);
        EXPECT_EQ(f.lblConnect->text(), "Schnittstelle geschlossen");

        f.btnConnect->click();
        EXPECT_EQ(f.lblConnect->text(), QStringLiteral("Schnittstelle COM3 geöffnet"));
        EXPECT_EQ(f.btnConnect->text(), "&Trennen");

        f.edtSend->setText("hi");
        f.btnSend->click();
        f.rbAnhang1310->click();
        f.btnSend->click();
        std::string got;
        ASSERT_TRUE(WaitFor([&] {
            char buf[64];
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0) {
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, std::size_t(n));
            }
            return got.size() >= 6;
        }));
        EXPECT_EQ(got, "hihi\r\n");

        ASSERT_EQ(::write(master, "ok\r", 3), 3);
        ASSERT_TRUE(WaitFor([&] { return f.memAntwort->toPlainText().trimmed() == "ok"; }));

        // The C command closes the port; the page follows.
        ModuleInterface->ComTerminal().ExecuteComCommand({"C0", "D"});
        EXPECT_EQ(f.lblConnect->text(), "Schnittstelle geschlossen");
        EXPECT_EQ(f.btnConnect->text(), "&Verbinden");
    }
    ::close(master);
    ::close(slave);
    SetComDeviceTable({});
    ProbeComPorts();
}

TEST(FrmCOM, ThePortSetterAndTheUsersChoiceRaiseTheChange)
{
    int master[2] = {-1, -1}, slave[2] = {-1, -1};
    char name[2][128] = {};
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(openpty(&master[i], &slave[i], name[i], nullptr, nullptr), 0);
    SetComDeviceTable({{3, name[0]}, {7, name[1]}});
    ProbeComPorts();
    {
        TSerial serial;
        TCOMComboBox box(serial);
        QSignalSpy changed(&box, &TCOMComboBox::changed);
        const struct {
            int set;
            int port;      // of the box and of the serial port after it
            int changes;   // in all, so far
        } cases[] = {
            {7, 7, 1}, {7, 7, 2},                                      // raised even when already selected
            {3, 3, 3}, {5, 3, 3}, {30, 3, 3}, {0, 3, 3}, {-1, 3, 3},   // unavailable or outside: nothing
        };
        for (const auto& c : cases) {
            box.SetSelectedPort(c.set);
            EXPECT_EQ(box.SelectedPort(), c.port) << c.set;
            EXPECT_EQ(serial.COMPort(), c.port) << c.set;
            EXPECT_EQ(changed.count(), c.changes) << c.set;
        }
        // The user's choice.
        box.show();
        QTest::keyClick(&box, Qt::Key_Down);
        EXPECT_EQ(box.SelectedPort(), 7);
        EXPECT_EQ(serial.COMPort(), 7);
        EXPECT_EQ(changed.count(), 4);
    }
    for (int i = 0; i < 2; ++i) {
        ::close(master[i]);
        ::close(slave[i]);
    }
    SetComDeviceTable({});
    ProbeComPorts();
}
