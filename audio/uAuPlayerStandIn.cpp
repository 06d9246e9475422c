// TEMPORARY stand-in for the player until its implementation is merged: no
// output, every Initialize fails. Compiled only while audio/uAuPlayer.cpp is
// absent; deleted with the merge.
#include "audio/uAuPlayer.h"

TAuAudio::TAuAudio() = default;
TAuAudio::~TAuAudio() = default;
bool TAuAudio::Initialize()
{
    FLastError = QStringLiteral("Keine Audioausgabe vorhanden.");
    return false;
}

TAuCustomAudioObject::TAuCustomAudioObject(TAuAudio* parent) : FParent(parent) {}
TAuCustomAudioObject::~TAuCustomAudioObject() = default;
QString TAuCustomAudioObject::URL() const { return {}; }
void TAuCustomAudioObject::SetOnStateChange(TNotifyEvent) {}
void TAuCustomAudioObject::SetOnDestroy(TNotifyEvent) {}
void TAuCustomAudioObject::SetState(TAuObjectState state, bool) { FState = state; }

TAuPlayer::TAuPlayer(TAuAudio* parent, TAuDecoderFilter*, TAuOutputFilter*) : TAuCustomAudioObject(parent) {}
TAuPlayer::~TAuPlayer() = default;
bool TAuPlayer::LoadFromFile(const QString&) { return false; }
bool TAuPlayer::LoadFromStream(QIODevice*, bool) { return false; }
bool TAuPlayer::LoadFromProtocol(TAuProtocol*, bool) { return false; }
bool TAuPlayer::Open() { return false; }
void TAuPlayer::Play() {}
void TAuPlayer::Pause() {}
void TAuPlayer::Stop() {}
void TAuPlayer::Seek(std::int32_t) {}
bool TAuPlayer::Seekable() { return false; }
std::int32_t TAuPlayer::Position() { return -1; }
std::int32_t TAuPlayer::GetLength() { return -1; }
float TAuPlayer::Volume() const { return 1; }
void TAuPlayer::SetVolume(float) {}
void TAuPlayer::Close() {}
void TAuPlayer::SetOnFinish(TNotifyEvent) {}
void TAuPlayer::SetDeviceID(std::int32_t) {}
