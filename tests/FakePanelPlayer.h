#pragma once
// A scripted player for the panels: records what it was told, answers with a
// length and a position set by the test, and lets the test end the track.

#include "audio/uSonivexPanel.h"
#include "framework/uErrors.h"

#include <QThread>

#include <memory>
#include <mutex>
#include <vector>

namespace {

// What a scripted player was told and what it answers.
struct TFakeState {
    std::mutex Mutex;
    QStringList Calls;
    int Len = 10000;
    int Position = 0;
    bool Playing = false;
    bool LoadThrows = false;
    bool OpenThrows = false;
    float Volume = 1;
    Qt::HANDLE PlayThread = nullptr;
    std::function<void()> Finish;
    void Call(const QString& c)
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Calls << c;
    }
};

class TFakePlayer : public TPanelPlayer {
public:
    explicit TFakePlayer(std::shared_ptr<TFakeState> s) : S(std::move(s)) {}
    bool LoadFromFile(const QString& f) override
    {
        S->Call("load " + TSonivexPanel::FileNamePart(f));
        if (S->LoadThrows)
            throw EPvError(QStringLiteral("Zugriff verweigert"));
        return true;
    }
    bool Open() override
    {
        S->Call("open");
        if (S->OpenThrows)
            throw EPvError(QStringLiteral("kein Decoder"));
        return true;
    }
    std::int32_t Len() override { return S->Len; }
    void Play() override
    {
        S->Call("play");
        S->Playing = true;
        S->PlayThread = QThread::currentThreadId();
    }
    void Pause() override { S->Call("pause"), S->Playing = false; }
    void Stop() override { S->Call("stop"), S->Playing = false; }
    void Seek(std::int32_t ms) override { S->Call(QStringLiteral("seek %1").arg(ms)); }
    std::int32_t Position() override { return S->Position; }
    bool IsPlaying() override { return S->Playing; }
    void SetVolume(float f) override { S->Volume = f; }
    void Close() override { S->Call("close"), S->Playing = false; }
    void SetOnFinish(std::function<void()> h) override
    {
        std::lock_guard<std::mutex> lock(S->Mutex);
        S->Finish = std::move(h);
    }
    std::shared_ptr<TFakeState> S;
};

// Every panel made from now on gets a scripted player, appended to states;
// none while *noOutput is true.
inline void InstallFakePlayers(std::vector<std::shared_ptr<TFakeState>>& states, const bool* noOutput = nullptr)
{
    SetPanelPlayerFactory([&states, noOutput](QString& error) -> std::unique_ptr<TPanelPlayer> {
        if (noOutput && *noOutput) {
            error = QStringLiteral("Kein Ausgabegerät");
            return nullptr;
        }
        auto s = std::make_shared<TFakeState>();
        states.push_back(s);
        return std::make_unique<TFakePlayer>(s);
    });
}

}   // namespace
