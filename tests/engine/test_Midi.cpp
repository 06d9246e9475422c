// MIDI mapping on the whole engine, headless: messages from the loopback backend
// (the same path from raw bytes on as the ALSA backend's) and from the N command
// learn scenes and recall them; the "MIDI" show section by hand; the ALSA
// sequencer itself where the machine has one.

#include "TestHelpers.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "cues/uMod_Szenen.h"
#include "devices/uMidiUtils.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "platform/Midi.h"
#include "platform/MidiAlsa.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include <functional>

namespace {

constexpr std::uint32_t NoteOn60 = 0x90 + 60 * 256 + 100 * 65536;   // 6569104

class MidiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        TErrorLog::Instance().Clear();
        auto backend = std::make_unique<TLoopbackMidiBackend>(QStringList{"Keyboard", "Pads"});
        Loop = backend.get();
        Midi = std::make_unique<TMidiMapping>(std::move(backend));
    }
    void TearDown() override { Midi.reset(); }

    static int Scenes() { return ModuleSzenen->SceneCount(); }
    static int Recalls() { return int(ModuleSzenen->Protokoll.size()); }
    static QStringList Saved(const TMidiMapping& m)
    {
        QStringList lines;
        m.SaveMidiMappings(lines);
        return lines;
    }

    TEngine Engine;
    TLoopbackMidiBackend* Loop = nullptr;
    std::unique_ptr<TMidiMapping> Midi;
};

} // namespace

TEST(MidiMessage, DecodesChannelCommandAndDataBytesIntoTheLabelAndTheSceneName)
{
    const struct {
        std::uint32_t Message;
        const char* Log;
        const char* SceneName;
    } cases[] = {
        // The N command's K1 B3 P7 Z127.
        {0 + 3 * 16 + 7 * 256 + 127 * 65536, "Kanal 1  [control change]   Param1 7   Param2 127",
         "MIDI 1  [control change]  7  127"},
        // A real note-on status has command nibble 9: shown as its number.
        {NoteOn60, "Kanal 1  [9]   Param1 60   Param2 100", "MIDI 1  [9]  60  100"},
        {15 + 5 * 16, "Kanal 16  [chanal aftertouch]   Param1 0   Param2 0", "MIDI 16  [chanal aftertouch]  0  0"},
        {0xFFFFFFFFu, "Kanal 16  [15]   Param1 255   Param2 255", "MIDI 16  [15]  255  255"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MidiMessageText(c.Message), QString::fromUtf8(c.Log));
        EXPECT_EQ(MidiSceneName(c.Message), QString::fromUtf8(c.SceneName));
    }
}

TEST(MidiMessage, PacksShortMessagesAndRefusesWhatIsNone)
{
    const struct {
        std::vector<std::uint8_t> Bytes;
        bool Ok;
        std::uint32_t Message;
    } cases[] = {
        {{0x90, 60, 100}, true, NoteOn60},
        {{0x90, 60, 0}, true, 0x90 + 60 * 256},   // note-on with velocity 0 stays note-on
        {{0xC3, 5}, true, 0xC3 + 5 * 256},
        {{0xF8}, true, 0xF8},
        {{0xF0, 1, 2, 0xF7}, false, 0},
        {{0x3C, 100}, false, 0},
        {{}, false, 0},
    };
    for (const auto& c : cases) {
        std::uint32_t m = 0;
        EXPECT_EQ(PackShortMessage(c.Bytes.data(), int(c.Bytes.size()), m), c.Ok);
        if (c.Ok) {
            EXPECT_EQ(m, c.Message);
        }
    }
}

// A sequencer event as the ALSA backend reads it, into the short message; the
// decoder is used again for every case, as the backend does.
TEST(MidiMessage, ASequencerEventBecomesItsShortMessage)
{
    snd_midi_event_t* decoder = nullptr;
    ASSERT_GE(snd_midi_event_new(256, &decoder), 0);
    snd_midi_event_no_status(decoder, 1);
    const auto event = [](const std::function<void(snd_seq_event_t&)>& set) {
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        set(ev);
        return ev;
    };
    static std::uint8_t sysex[] = {0xF0, 0x7E, 0xF7};
    const struct {
        const char* Name;
        snd_seq_event_t Event;
        bool Ok;
        std::uint32_t Message;
    } cases[] = {
        {"note on", event([](auto& e) { snd_seq_ev_set_noteon(&e, 0, 60, 100); }), true, NoteOn60},
        {"the same again", event([](auto& e) { snd_seq_ev_set_noteon(&e, 0, 60, 100); }), true, NoteOn60},
        {"note off", event([](auto& e) { snd_seq_ev_set_noteoff(&e, 15, 1, 0); }), true, 0x8F + 1 * 256},
        {"controller", event([](auto& e) { snd_seq_ev_set_controller(&e, 2, 7, 127); }), true,
         0xB2 + 7 * 256 + 127 * 65536},
        {"program change", event([](auto& e) { snd_seq_ev_set_pgmchange(&e, 3, 5); }), true, 0xC3 + 5 * 256},
        {"pitch bend, centre", event([](auto& e) { snd_seq_ev_set_pitchbend(&e, 0, 0); }), true, 0xE0 + 64 * 65536},
        {"clock", event([](auto& e) { e.type = SND_SEQ_EVENT_CLOCK; }), true, 0xF8},
        {"system exclusive", event([](auto& e) { snd_seq_ev_set_sysex(&e, sizeof sysex, sysex); }), false, 0},
        {"no event", event([](auto& e) { e.type = SND_SEQ_EVENT_NONE; }), false, 0},
        {"port subscribed", event([](auto& e) { e.type = SND_SEQ_EVENT_PORT_SUBSCRIBED; }), false, 0},
    };
    for (const auto& c : cases) {
        std::uint32_t m = 0;
        EXPECT_EQ(SeqEventToShortMessage(decoder, c.Event, m), c.Ok) << c.Name;
        if (c.Ok) {
            EXPECT_EQ(m, c.Message) << c.Name;
        }
    }
    snd_midi_event_free(decoder);
}

TEST_F(MidiTest, ALearnedMessageRecallsItsSceneOnlyTheNextTime)
{
    ModuleLichtpult->GetKanal(1).Pegel = 200;
    Midi->Anlegen = Midi->Steuern = true;
    Loop->Receive(0, {0x90, 60, 100});
    EXPECT_TRUE(Midi->LogText().isEmpty()) << "input is closed";
    EXPECT_EQ(Scenes(), 0);

    Midi->SetAktiv(true);
    EXPECT_EQ(Midi->StatusText(), QStringLiteral("MIDI In offen: Keyboard"));
    Loop->Receive(1, {0x90, 60, 100});   // another device than the open one
    EXPECT_EQ(Scenes(), 0);

    Loop->Receive(0, {0x90, 60, 100});
    ASSERT_EQ(Scenes(), 1);
    EXPECT_EQ(ModuleSzenen->GetScene(0).NAME, QStringLiteral("MIDI 1  [9]  60  100"));
    TLevelArray levels;
    TModuleSzenen::CurrentLevels(ModuleSzenen->GetScene(0), levels);
    EXPECT_EQ(levels[1], 200);
    EXPECT_EQ(Recalls(), 0) << "the learning message recalls nothing";
    EXPECT_EQ(Midi->LogText(), QStringLiteral("Kanal 1  [9]   Param1 60   Param2 100"));

    Loop->Receive(0, {0x90, 60, 100});
    EXPECT_EQ(Scenes(), 1);
    EXPECT_EQ(Recalls(), 1);
    EXPECT_EQ(ModuleMaster->GetMasterState(), 1);
    EXPECT_EQ(Saved(*Midi), QStringList({"", "[MIDI]", "Count=1", "Para_1=6569104", "Szene_1=1"}));

    // Learning alone never recalls; control alone never learns.
    Midi->Steuern = false;
    Loop->Receive(0, {0x90, 60, 100});
    EXPECT_EQ(Recalls(), 1);
    Midi->Anlegen = false;
    Midi->Steuern = true;
    Loop->Receive(0, {0xB0, 7, 1});
    EXPECT_EQ(Scenes(), 1);
    EXPECT_EQ(Recalls(), 1);

    Midi->SetAktiv(false);
    EXPECT_EQ(Midi->StatusText(), QStringLiteral("MIDI In geschlossen"));
}

// The device the input opened can leave the list (unplugged) while the input
// stays open: the status then names no device.
TEST_F(MidiTest, TheStatusNamesTheOpenDeviceOnlyWhileTheListHoldsIt)
{
    const QString none = QStringLiteral("MIDI In offen: kein Gerät, nur der eigene Port");
    const struct {
        int Device;
        QStringList Listed;
        QString Status;
    } cases[] = {
        {0, {"Keyboard", "Pads"}, QStringLiteral("MIDI In offen: Keyboard")},
        {1, {"Keyboard", "Pads"}, QStringLiteral("MIDI In offen: Pads")},
        {1, {"Keyboard"}, none},
        {0, {}, none},
    };
    for (const auto& c : cases) {
        Midi->SetAktiv(false);
        Loop->Devices = {"Keyboard", "Pads"};
        Midi->Device = c.Device;
        Midi->SetAktiv(true);
        ASSERT_TRUE(Midi->Aktiv()) << c.Device;
        Loop->Devices = c.Listed;
        EXPECT_EQ(Midi->StatusText(), c.Status) << c.Device << " of " << c.Listed.size();
    }
}

TEST_F(MidiTest, TheNCommandGoesOutAndIntoTheMappingAsIfReceived)
{
    Midi->Anlegen = Midi->Steuern = true;
    Loop->Accepted = false;   // nothing connected to the output
    ModuleMain->ExecuteLines({QStringLiteral("N0K1B9P60Z100")}, false);
    EXPECT_EQ(Loop->Sent, QList<std::uint32_t>({NoteOn60}));
    EXPECT_FALSE(Midi->LastSendAccepted);
    EXPECT_EQ(Scenes(), 1);
    ModuleMain->ExecuteLines({QStringLiteral("N0K1B9P60Z100")}, false);
    EXPECT_EQ(Recalls(), 1);
    EXPECT_TRUE(Midi->Rows().size() == 1);
}

TEST_F(MidiTest, TheSectionWrittenByHandIsReadAndWrittenAgainUnchanged)
{
    const QString hand = QStringLiteral("[MIDI]\r\nCount=3\r\nPara_1=6569104\r\nSzene_1=2\r\nPara_2=46\r\nSzene_2=\r\n"
                                        "Para_3=-5\r\nSzene_3=x\r\n");
    TStringIniFile ini;
    ini.SetText(hand);
    Midi->LoadMidiMappings(ini);
    EXPECT_EQ(Saved(*Midi).mid(1).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"), hand);
    EXPECT_EQ(Midi->FindRow(46), 1);

    // A scene cell that is no positive number does nothing; row 1 names scene 2,
    // which does not exist.
    for (int row : {0, 1, 2, 3, -1})
        EXPECT_FALSE(Midi->ExecuteRow(row)) << row;

    // Loading a shorter section leaves no old row behind to match.
    ini.SetText(QStringLiteral("[MIDI]\r\nCount=1\r\nPara_1=46\r\nSzene_1=1\r\n"));
    Midi->LoadMidiMappings(ini);
    EXPECT_EQ(Midi->FindRow(6569104), -1);

    const struct {
        const char* Text;
        int Rows;
        int Logged;
    } counts[] = {{"", 0, 0}, {"[MIDI]\nCount=-3\n", 0, 0}, {"[MIDI]\nCount=2000000000\nPara_1=46\n", 2, 1}};
    for (const auto& c : counts) {
        TErrorLog::Instance().Clear();
        ini.SetText(QString::fromLatin1(c.Text));
        Midi->LoadMidiMappings(ini);
        EXPECT_EQ(Midi->Rows().size(), c.Rows) << c.Text;
        EXPECT_EQ(ErrorLogCount(QStringLiteral("MIDI: Count=")), c.Logged) << c.Text;
    }
    ini.SetText(QString());
    Midi->LoadMidiMappings(ini);
    EXPECT_EQ(Saved(*Midi), QStringList({"", "[MIDI]", "Count=0"}));
}

TEST_F(MidiTest, TheLearnedSceneIsNamedInTheSceneList)
{
    struct TPage : TScenePageLink {
        void FillSceneList() override
        {
            Names.clear();
            for (int i = 0; i < ModuleSzenen->SceneCount(); ++i)
                Names << ModuleSzenen->GetScene(i).NAME;
        }
        void SelectScene(int) override {}
        void RefreshSceneForm() override {}
        void ScenesCleared() override {}
        QStringList Names;
    } page;
    ModuleSzenen->SetScenePage(&page);
    Midi->Anlegen = true;
    Midi->SetAktiv(true);
    Loop->Receive(0, {0xC2, 7});
    ModuleSzenen->SetScenePage(nullptr);
    EXPECT_EQ(page.Names, QStringList({QStringLiteral("MIDI 3  [12]  7  0")}));
}

// The ALSA sequencer itself: another client sends a note-on to the program's
// port "MIDI In", and the program's output has no receiver.
TEST(MidiAlsa, AnotherClientSendsToTheProgramsPort)
{
    if (!QFileInfo::exists(QStringLiteral("/dev/snd/seq")))
        GTEST_SKIP() << "this machine has no ALSA sequencer (/dev/snd/seq)";
    auto system = CreateSystemMidiBackend(QStringLiteral("PV Test MIDI"));
    ASSERT_TRUE(system->Available());
    QList<std::uint32_t> got;
    system->OnShortMessage = [&](std::uint32_t m) { got << m; };
    ASSERT_TRUE(system->OpenInput(system->InputDevices().size()) || system->OpenInput(0));
    EXPECT_FALSE(system->SendShortMessage(NoteOn60)) << "nothing listens to the output";

    snd_seq_t* seq = nullptr;
    ASSERT_GE(snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0), 0);
    const int out = snd_seq_create_simple_port(seq, "send", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                               SND_SEQ_PORT_TYPE_MIDI_GENERIC);
    // Find the program's "MIDI In" by its client name.
    snd_seq_addr_t dest{};
    bool found = false;
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (!found && snd_seq_query_next_client(seq, client) >= 0) {
        if (QString::fromUtf8(snd_seq_client_info_get_name(client)) != QStringLiteral("PV Test MIDI"))
            continue;
        snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
        snd_seq_port_info_set_port(port, -1);
        while (!found && snd_seq_query_next_port(seq, port) >= 0)
            if (QString::fromUtf8(snd_seq_port_info_get_name(port)) == QStringLiteral("MIDI In")) {
                dest = *snd_seq_port_info_get_addr(port);
                found = true;
            }
    }
    ASSERT_TRUE(found);
    ASSERT_GE(snd_seq_connect_to(seq, out, dest.client, dest.port), 0);
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    snd_seq_ev_set_noteon(&ev, 0, 60, 100);
    snd_seq_ev_set_source(&ev, out);
    snd_seq_ev_set_subs(&ev);
    snd_seq_ev_set_direct(&ev);
    ASSERT_GE(snd_seq_event_output_direct(seq, &ev), 0);
    QDeadlineTimer deadline(10000);
    while (got.isEmpty() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    snd_seq_close(seq);
    EXPECT_EQ(got, QList<std::uint32_t>({NoteOn60}));
}

TEST(MidiSettings, AktivStaysAsTheUserLeftItWhereTheInputCannotOpen)
{
    TEngine engine;
    engine.Start();
    // No input device here (no MIDI system on this machine).
    TMidiMapping midi(std::make_unique<TLoopbackMidiBackend>(QStringList{}));
    TStringIniFile stored;
    stored.WriteBool("MIDI", "Aktiv", true);
    midi.LoadMidiSettings(stored);
    EXPECT_FALSE(midi.Aktiv());
    TStringIniFile written;
    midi.SaveMidiSettings(written);
    EXPECT_TRUE(written.ReadBool("MIDI", "Aktiv", false));
    // Unticked by the user: that is kept.
    midi.SetAktiv(false);
    midi.SaveMidiSettings(written);
    EXPECT_FALSE(written.ReadBool("MIDI", "Aktiv", true));
}
