#include "devices/uMidiUtils.h"

#include "cues/uMod_Szenen.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "platform/Midi.h"

namespace {

const QString SectionMidi = QStringLiteral("MIDI");

const char* const CommandNames[8] = {"note off",       "note on",           "key aftertouch", "control change",
                                     "program change", "chanal aftertouch", "pitchbend",      "system message"};

} // namespace

TMidiMessageInfo DecodeMidiMessage(std::uint32_t message)
{
    TMidiMessageInfo info;
    info.Channel = int(message & 15) + 1;
    info.Command = int((message >> 4) & 15);
    info.Param1 = int((message >> 8) & 255);
    info.Param2 = int((message >> 16) & 255);
    info.Name = info.Command < 8 ? QString::fromLatin1(CommandNames[info.Command]) : QString::number(info.Command);
    return info;
}

QString MidiMessageText(std::uint32_t message)
{
    const TMidiMessageInfo m = DecodeMidiMessage(message);
    return QStringLiteral("Kanal %1  [%2]   Param1 %3   Param2 %4").arg(m.Channel).arg(m.Name).arg(m.Param1).arg(m.Param2);
}

QString MidiSceneName(std::uint32_t message)
{
    const TMidiMessageInfo m = DecodeMidiMessage(message);
    return QStringLiteral("MIDI %1  [%2]  %3  %4").arg(m.Channel).arg(m.Name).arg(m.Param1).arg(m.Param2);
}

TMidiMapping::TMidiMapping(std::unique_ptr<TMidiBackend> backend, QObject* parent)
    : QObject(parent), FBackend(std::move(backend))
{
    FBackend->OnShortMessage = [this](std::uint32_t message) { HandleMidiMessage(message); };
    SetMidiRoute(this);
}

TMidiMapping::~TMidiMapping()
{
    if (&MidiRoute() == this)
        SetMidiRoute(nullptr);
    FBackend->OnShortMessage = nullptr;
    FBackend->CloseInput();
}

void TMidiMapping::SetAktiv(bool on)
{
    FAktivWanted = on;
    if (on)
        FBackend->OpenInput(Device);
    else
        FBackend->CloseInput();
    emit stateChanged();
}

bool TMidiMapping::Aktiv() const
{
    return FBackend->InputOpen();
}

QStringList TMidiMapping::Devices() const
{
    return FBackend->InputDevices();
}

QString TMidiMapping::StatusText() const
{
    if (!FBackend->Available())
        return QStringLiteral("Kein MIDI-System vorhanden (kein ALSA-Sequenzer): MIDI In empfängt nichts");
    const QStringList devices = FBackend->InputDevices();
    if (!FBackend->InputOpen())
        return devices.isEmpty() ? QStringLiteral("MIDI In geschlossen, kein MIDI-Gerät gefunden")
                                 : QStringLiteral("MIDI In geschlossen");
    if (Device >= 0 && Device < devices.size())
        return QStringLiteral("MIDI In offen: ") + devices.at(Device);
    return QStringLiteral("MIDI In offen: kein Gerät, nur der eigene Port");
}

int TMidiMapping::FindRow(std::uint32_t message) const
{
    for (int i = 0; i < FRows.size(); ++i)
        if (std::uint32_t(FRows.at(i).Message) == message)
            return i;
    return -1;
}

bool TMidiMapping::ExecuteRow(int row)
{
    if (row < 0 || row >= FRows.size() || !ModuleSzenen)
        return false;
    bool ok = false;
    const int nr = FRows.at(row).Scene.trimmed().toInt(&ok);
    return ok && nr > 0 && ModuleSzenen->RecallScene(nr - 1, false, false);
}

void TMidiMapping::SendMidiShortMessage(std::uint32_t message)
{
    TMidiRoute::SendMidiShortMessage(message);   // the recent messages stay inspectable
    LastSendAccepted = FBackend->SendShortMessage(message);
}

void TMidiMapping::HandleMidiMessage(std::uint32_t message)
{
    TMidiRoute::HandleMidiMessage(message);
    FLogText = MidiMessageText(message);
    emit logChanged();
    // The row is looked up before learning, so a message learned now is not
    // recalled by itself.
    const int row = FindRow(message);
    if (Anlegen && row < 0)
        AddMidiMapping(message);
    if (Steuern && row >= 0)
        ExecuteRow(row);
}

void TMidiMapping::AddMidiMapping(std::uint32_t message)
{
    if (!ModuleSzenen)
        return;
    TSzene& scene = ModuleSzenen->StoreNewScene(false);
    ModuleSzenen->SetSceneName(scene, MidiSceneName(message));
    // The scene list showed the scene before it had its name.
    ModuleSzenen->FillSceneList();
    ModuleSzenen->SelectScene(ModuleSzenen->SceneCount() - 1);
    FRows.append({qint32(message), QString::number(ModuleSzenen->SceneCount())});
    emit rowsChanged();
}

void TMidiMapping::LoadMidiMappings(const TStringIniFile& ini)
{
    int count = ini.ReadInteger(SectionMidi, QStringLiteral("Count"), 0);
    // Each row has two lines in the section; a count beyond the section's size is
    // plainly corrupt: it is logged and bounded, so that it costs nothing.
    const QStringList* section = ini.GetSection(SectionMidi);
    const int held = section ? int(section->size()) : 0;
    if (count > held) {
        AddToErrorLog(elWarning, QStringLiteral("MIDI: Count=%1 ist größer als der Abschnitt").arg(count));
        count = held;
    }
    // The old rows go first: none of them may stay behind and still match.
    FRows.clear();
    for (int i = 1; i <= count; ++i)
        FRows.append({ini.ReadInteger(SectionMidi, QStringLiteral("Para_%1").arg(i), 0),
                      ini.ReadString(SectionMidi, QStringLiteral("Szene_%1").arg(i), QString())});
    emit rowsChanged();
}

void TMidiMapping::SaveMidiMappings(QStringList& lines) const
{
    lines << QString() << u'[' + SectionMidi + u']' << QStringLiteral("Count=%1").arg(FRows.size());
    for (int i = 0; i < FRows.size(); ++i)
        lines << QStringLiteral("Para_%1=%2").arg(i + 1).arg(FRows.at(i).Message)
              << QStringLiteral("Szene_%1=%2").arg(i + 1).arg(FRows.at(i).Scene);
}

void TMidiMapping::LoadMidiSettings(const TStringIniFile& ini)
{
    Steuern = ini.ReadBool(SectionMidi, QStringLiteral("Steuern"), false);
    Anlegen = ini.ReadBool(SectionMidi, QStringLiteral("Anlegen"), false);
    Device = ini.ReadInteger(SectionMidi, QStringLiteral("Geraet"), 0);
    SetAktiv(ini.ReadBool(SectionMidi, QStringLiteral("Aktiv"), false));
}

void TMidiMapping::SaveMidiSettings(TStringIniFile& ini) const
{
    ini.WriteBool(SectionMidi, QStringLiteral("Aktiv"), FAktivWanted);
    ini.WriteBool(SectionMidi, QStringLiteral("Steuern"), Steuern);
    ini.WriteBool(SectionMidi, QStringLiteral("Anlegen"), Anlegen);
    ini.WriteInteger(SectionMidi, QStringLiteral("Geraet"), Device);
}
