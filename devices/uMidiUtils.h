#pragma once
// MIDI short messages mapped to scenes. Each message from the open input device
// (or from the N command, as if received) is shown as the last message; in
// learn mode ("MIDI legt Szenen an") a message without a mapping row stores a
// new scene from the console's set levels and adds a row; in control mode
// ("MIDI steuert Szenen") a known message recalls its scene. A message learned
// just now is not recalled by the same message. The MIDI page is a view of it.

#include "framework/uMidiRoute.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

class TMidiBackend;
class TStringIniFile;

struct TMidiMessageInfo {
    int Channel = 1;   // 1..16
    int Command = 0;   // the command nibble, 0..15
    int Param1 = 0;
    int Param2 = 0;
    QString Name;      // the command's name, or its number as text
};

TMidiMessageInfo DecodeMidiMessage(std::uint32_t message);
// "Kanal 1  [control change]   Param1 7   Param2 127"
QString MidiMessageText(std::uint32_t message);
// The name a learned scene gets: "MIDI 1  [note on]  60  100"
QString MidiSceneName(std::uint32_t message);

struct TMidiMappingRow {
    qint32 Message = 0;   // the key, as the show stores it
    QString Scene;        // the scene number (1-based) as text, as stored
};

class TMidiMapping : public QObject, public TMidiRoute {
    Q_OBJECT
public:
    // Installs itself as the route of the N command while it lives.
    explicit TMidiMapping(std::unique_ptr<TMidiBackend> backend, QObject* parent = nullptr);
    ~TMidiMapping() override;

    TMidiBackend& Backend() const { return *FBackend; }

    // "MIDI In aktiv": opens the chosen input device, or closes input.
    void SetAktiv(bool on);
    bool Aktiv() const;
    bool Steuern = false;   // "MIDI steuert Szenen"
    bool Anlegen = false;   // "MIDI legt Szenen an"
    // The input device opened by SetAktiv (index into Devices()).
    int Device = 0;
    QStringList Devices() const;
    // What the page shows about the MIDI system and the open device.
    QString StatusText() const;
    // The last message, as MidiMessageText; empty before the first.
    QString LogText() const { return FLogText; }

    const QList<TMidiMappingRow>& Rows() const { return FRows; }
    // The row whose key is message, -1 when none.
    int FindRow(std::uint32_t message) const;
    // Recalls the scene of row (0-based) forward; false when the row's scene is
    // not a positive number or the recall is refused.
    bool ExecuteRow(int row);

    // The N command's route: out to the MIDI output, then as if received.
    void SendMidiShortMessage(std::uint32_t message) override;
    void HandleMidiMessage(std::uint32_t message) override;
    // The last send's result (true when a receiver took the message).
    bool LastSendAccepted = false;

    // Show section "MIDI": "Count", then "Para_" i and "Szene_" i.
    void LoadMidiMappings(const TStringIniFile& ini);
    void SaveMidiMappings(QStringList& lines) const;
    // Settings section "MIDI": the page's three boxes, so that a console set up
    // for MIDI starts that way again.
    void LoadMidiSettings(const TStringIniFile& ini);
    void SaveMidiSettings(TStringIniFile& ini) const;

signals:
    void rowsChanged();
    void logChanged();
    void stateChanged();

private:
    void AddMidiMapping(std::uint32_t message);

    std::unique_ptr<TMidiBackend> FBackend;
    QList<TMidiMappingRow> FRows;
    QString FLogText;
    // What the user asked for last: the settings keep it even when the input
    // could not be opened (no MIDI system on this machine, the device absent).
    bool FAktivWanted = false;
};
