#pragma once
// The ALSA sequencer's side of MIDI input: an event read from the sequencer
// turned into the short message the MIDI page takes.

#include <alsa/asoundlib.h>

#include <cstdint>

// Decodes ev with decoder (made by snd_midi_event_new, with running status
// off) into a short message (see PackShortMessage). False for system exclusive
// and for every event that is no MIDI message.
bool SeqEventToShortMessage(snd_midi_event_t* decoder, const snd_seq_event_t& ev, std::uint32_t& message);
