#pragma once
// Where the N command's MIDI short messages go: out to the MIDI output and back
// into the MIDI input mapping as if received. Until a MIDI page installs its own
// route, the messages are only recorded.

#include <QList>
#include <cstdint>

class TMidiRoute {
public:
    virtual ~TMidiRoute() = default;
    virtual void SendMidiShortMessage(std::uint32_t message) { Record(Sent, message); }
    virtual void HandleMidiMessage(std::uint32_t message) { Record(Handled, message); }

    // The most recent messages (at most MaxRecorded each), oldest first.
    static constexpr int MaxRecorded = 256;
    QList<std::uint32_t> Sent;
    QList<std::uint32_t> Handled;

private:
    static void Record(QList<std::uint32_t>& list, std::uint32_t message)
    {
        if (list.size() >= MaxRecorded)
            list.removeFirst();
        list.append(message);
    }
};

TMidiRoute& MidiRoute();
// Installs route (not owned); nullptr restores the recording default.
void SetMidiRoute(TMidiRoute* route);
