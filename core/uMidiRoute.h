#pragma once
// Where the N command's MIDI short messages go: out to the MIDI output and back
// into the MIDI input mapping as if received. Until a MIDI page installs its own
// route, the messages are only recorded.

#include <QList>
#include <cstdint>

class TMidiRoute {
public:
    virtual ~TMidiRoute() = default;
    virtual void SendMidiShortMessage(std::uint32_t message) { Sent.append(message); }
    virtual void HandleMidiMessage(std::uint32_t message) { Handled.append(message); }

    QList<std::uint32_t> Sent;
    QList<std::uint32_t> Handled;
};

TMidiRoute& MidiRoute();
// Installs route (not owned); nullptr restores the recording default.
void SetMidiRoute(TMidiRoute* route);
