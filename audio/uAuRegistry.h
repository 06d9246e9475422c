#pragma once
// Start and end of the audio engine for the whole process. StartAudioEngine
// starts the engine's notification thread and registers the decoders,
// protocols and output drivers in their fixed order (the media-library
// decoder when its library binds, the WAV decoder, the CD audio protocol and
// decoder; the sound-card driver, then the bridge driver when its library
// binds). It runs on the main thread before any player exists; a second call
// does nothing. StopAudioEngine ends the notification thread after every
// player is gone.

void StartAudioEngine();
void StopAudioEngine();
