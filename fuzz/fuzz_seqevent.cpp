// A MIDI event from the ALSA sequencer into the short message the MIDI page
// takes: the bytes are the event's fields (type, flags, addresses, the data of
// a note, controller or other event); up to four events per input go through
// one decoder, as the backend reads them one after another. A message always
// starts with a status byte, is no system exclusive, and its data bytes are
// below 0x80.

#include "FuzzEngine.h"

#include "platform/MidiAlsa.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static snd_midi_event_t* decoder = [] {
        snd_midi_event_t* d = nullptr;
        if (snd_midi_event_new(256, &d) < 0)
            std::abort();
        snd_midi_event_no_status(d, 1);
        return d;
    }();

    for (std::size_t at = 0; at < size && at < 4 * sizeof(snd_seq_event_t); at += sizeof(snd_seq_event_t)) {
        snd_seq_event_t ev;
        std::memset(&ev, 0, sizeof ev);
        std::memcpy(&ev, data + at, std::min(sizeof ev, size - at));
        std::uint32_t message = 0;
        if (!SeqEventToShortMessage(decoder, ev, message))
            continue;
        const std::uint8_t status = message & 0xFF;
        if (status < 0x80 || status == 0xF0 || status == 0xF7 || (message & 0xFF808000u) != 0)
            std::abort();
    }
    return 0;
}
