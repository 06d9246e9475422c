#include "audio/uSonivexPanel.h"

#include "audio/uAuPlayer.h"
#include "audio/uAuTypes.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uUtils.h"
#include "platform/PcmOut.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QTimer>

#include <algorithm>
#include <atomic>

namespace {

// The audio engine's player behind the panel interface.
class TEnginePanelPlayer : public TPanelPlayer {
public:
    TEnginePanelPlayer(std::unique_ptr<TAuAudio> audio) : FAudio(std::move(audio)), FPlayer(FAudio.get()) {}
    ~TEnginePanelPlayer() override
    {
        FPlayer.SetOnFinish(nullptr);
        FPlayer.Stop();
    }
    bool LoadFromFile(const QString& fileName) override { return FPlayer.LoadFromFile(fileName); }
    bool Open() override { return FPlayer.Open(); }
    std::int32_t Len() override { return FPlayer.Len(); }
    void Play() override { FPlayer.Play(); }
    void Pause() override { FPlayer.Pause(); }
    void Stop() override { FPlayer.Stop(); }
    void Seek(std::int32_t ms) override { FPlayer.Seek(ms); }
    std::int32_t Position() override { return FPlayer.Position(); }
    bool IsPlaying() override { return FPlayer.State() == aosPlaying; }
    void SetVolume(float factor) override { FPlayer.SetVolume(factor); }
    void Close() override { FPlayer.Close(); }
    void SetOnFinish(std::function<void()> handler) override
    {
        if (handler)
            FPlayer.SetOnFinish([handler = std::move(handler)](TAuCustomAudioObject*) { handler(); });
        else
            FPlayer.SetOnFinish(nullptr);
    }

private:
    std::unique_ptr<TAuAudio> FAudio;   // outlives the player
    TAuPlayer FPlayer;
};

std::unique_ptr<TPanelPlayer> MakeEnginePlayer(QString& error)
{
    auto audio = std::make_unique<TAuAudio>();
    if (!audio->Initialize()) {
        error = audio->LastError();
        return nullptr;
    }
    return std::make_unique<TEnginePanelPlayer>(std::move(audio));
}

TPanelPlayerFactory& Factory()
{
    static TPanelPlayerFactory factory;
    return factory;
}

std::function<void(const QString&)>& OutputErrorHandler()
{
    static std::function<void(const QString&)> handler;
    return handler;
}

// Ten panels without an output would report it ten times: the log and the
// user get it once per run of the engine.
std::atomic<bool> AudioErrorLogged{false};

}   // namespace

void ResetAudioOutputWarning()
{
    AudioErrorLogged = false;
    ResetPcmSelectionWarning();
}

void SetAudioOutputErrorHandler(std::function<void(const QString& error)> handler)
{
    OutputErrorHandler() = std::move(handler);
}

void SetPanelPlayerFactory(TPanelPlayerFactory factory)
{
    Factory() = std::move(factory);
}

TSonivexPanel::TSonivexPanel(QObject* parent) : QObject(parent), FGate(std::make_shared<TFinishGate>())
{
    FGate->Panel = this;
    FView.LevelText = LevelText(0);
    CreateAudioPlayer();
}

TSonivexPanel::~TSonivexPanel()
{
    {
        // A finish notice racing with the end posts nothing any more.
        QMutexLocker lock(&FGate->Mutex);
        FGate->Panel = nullptr;
    }
    FPlayer.reset();
}

void TSonivexPanel::CreateAudioPlayer()
{
    QString error;
    try {
        FPlayer = Factory() ? Factory()(error) : MakeEnginePlayer(error);
    } catch (const std::exception& e) {
        FPlayer.reset();
        error = QString::fromUtf8(e.what());
    }
    if (!FPlayer) {
        if (!AudioErrorLogged.exchange(true)) {
            AddToErrorLog(elWarning, QStringLiteral("Audio: ") + error);
            // Shown once the event loop runs: the panels are made before the
            // main window shows, and a modal box there would hold up the start.
            // A program that ends meanwhile (a signal, "Beenden") shows nothing.
            QTimer::singleShot(0, this, [error] {
                if (!AppClosing && !AppTerminating && OutputErrorHandler())
                    OutputErrorHandler()(error);
            });
        }
        return;
    }
    FPlayer->SetOnFinish([gate = FGate] {
        QMutexLocker lock(&gate->Mutex);
        if (TSonivexPanel* panel = gate->Panel) {
            const unsigned track = gate->Track;
            QMetaObject::invokeMethod(
                panel,
                [panel, track] {
                    // The notice of a track the panel has let go since (a new
                    // show, "leeren") would restore that track's level and
                    // reload into the playlist that is there now.
                    if (panel->FGate->Track == track)
                        panel->EndOfTrack();
                },
                Qt::QueuedConnection);
        }
    });
}

void TSonivexPanel::SetNumber(int n)
{
    FNumber = n;
    FView.NumberText = QString::number(n);
    emit changed();
}

void TSonivexPanel::SetPanelName(const QString& s)
{
    FPanelName = s;
    FView.NameText = s;
    emit changed();
}

QString TSonivexPanel::FileNamePart(const QString& path)
{
    qsizetype i = path.size();
    while (i > 0 && path.at(i - 1) != u'/' && path.at(i - 1) != u'\\' && path.at(i - 1) != u':')
        --i;
    return path.mid(i);
}

void TSonivexPanel::SetEntry(QStringList& list, int index, const QString& value)
{
    // A track number from a command can be huge ("T999999999"): the list never
    // grows past a playlist's size, and an empty entry past its end is there
    // already.
    if (index < 0 || index >= MaxPlaylistEntries || (value.isEmpty() && index >= list.size()))
        return;
    while (list.size() <= index)
        list.append(QString());
    list[index] = value;
}

void TSonivexPanel::SetFilename(const QString& f)
{
    if (!f.isEmpty() && QFileInfo(f).isFile()) {
        FFilename = f;
        OpenAudioFile();
        FTrackID = std::max(FTrackID, 1);
        SetEntry(Files, FTrackID - 1, f);
        if (FPanelName.isEmpty()) {
            SetPanelName(FileNamePart(f));
            SetEntry(Names, FTrackID - 1, FPanelName);
        }
        UpdateTrackCount();
    } else if (!FPlaying || f.isEmpty()) {
        // A missing file leaves a playing panel alone: disabling it would
        // leave audio running that no button or command can stop.
        EnablePanelControls(false);
    }
    if (f.isEmpty()) {
        // Closing the player ends its audio: the panel stops with it and
        // forgets the track, its time and its position; an end-of-track
        // notice still on its way is dropped.
        if (FPlaying) {
            FPlaying = false;
            FDisplayHold = 3;
        }
        FFadeStep = 0;
        FFadeStop = false;
        FSavedLevel = 0;
        FFilename.clear();
        if (FPlayer)
            FPlayer->Close();
        ++FGate->Track;
        FLengthKnown = false;
        FView.LengthText.clear();
        FView.TimeText.clear();
        FView.PositionBar = 0;
        FView.PositionMax = TSonivexPanelView().PositionMax;
        FView.PositionPageStep = TSonivexPanelView().PositionPageStep;
        FView.PositionTickFrequency = TSonivexPanelView().PositionTickFrequency;
        if (FTrackID > 0) {
            SetEntry(Files, FTrackID - 1, QString());
            SetEntry(Names, FTrackID - 1, QString());
        }
        if (FTrackCount > 0)
            UpdateTrackCount();
    }
    emit changed();
}

void TSonivexPanel::OpenAudioFile()
{
    // Loading closes what the player held: a panel that played, or faded out
    // towards its stop, stops with it, as at the end of a track, so that its
    // buttons tell the truth afterwards.
    if (FPlaying || FFadeStop) {
        const bool fadingStop = FFadeStop;
        FPlaying = false;
        FFadeStop = false;
        FFadeStep = 0;
        FDisplayHold = 3;
        SetPositionBar(0);
        if (fadingStop) {
            FView.LevelBar = ClampInt(FSavedLevel, MinLevel, MaxLevel);
            LevelChange();
        }
    }
    bool ok = false;
    if (FPlayer) {
        // A file that cannot be read (permission, vanished) throws from the
        // load as well as from the open: both leave the panel disabled.
        try {
            ok = FPlayer->LoadFromFile(FFilename);
            if (ok)
                ok = FPlayer->Open();
        } catch (const std::exception& e) {
            ok = false;
            AddToErrorLog(elError, QStringLiteral("Exception in TSonivexPanel.OpenAudioFile bei Datei \"%1\" Fehler: %2")
                                       .arg(FFilename, QString::fromUtf8(e.what())));
        }
    }
    EnablePanelControls(ok);
    FLengthKnown = false;
    if (ok) {
        const std::int32_t len = FPlayer->Len();
        if (len > 0) {
            FSeeking = true;
            SetPositionMax(len / 100);
            FView.PositionPageStep = FView.PositionMax / 25;
            FView.PositionTickFrequency = FView.PositionMax / 10;
            FView.LengthText = TimeText(FView.PositionMax);
            FPositionMouseBound = true;
            FLengthKnown = true;
            FSeeking = false;
        }
    } else {
        FView.LengthText.clear();
    }
    emit changed();
}

void TSonivexPanel::EnablePanelControls(bool e)
{
    FView.PlayEnabled = e && !FPlaying;
    FView.PauseEnabled = e && FPlaying;
    FView.StopEnabled = e;
    FView.LevelBarEnabled = e;
    FView.PositionBarEnabled = e;
    FView.UpDownEnabled = e && !FPlaying;
}

void TSonivexPanel::ButtonAction(int n)
{
    // A button that is not there or not enabled does nothing at all: marking
    // the panel playing or stopped while the player does the opposite would
    // leave it stuck.
    if ((n == 1 && !FView.PlayEnabled) || (n == 2 && !FView.PauseEnabled) || (n == 3 && !FView.StopEnabled) || n < 1 || n > 3)
        return;
    if (n == 1) {
        FPlayer->Play();
        FSavedLevel = FView.LevelBar;
    } else if (n == 2) {
        FPlayer->Pause();
    } else {
        FView.StopEnabled = false;
        if (FView.LevelBar >= MinLevel + 1 && FPlaying) {
            FSavedLevel = FView.LevelBar;
            FFadeStop = true;
            FFadeStep = float(MinLevel - FView.LevelBar) / 2.0f;
        } else if (FPlaying || FView.PositionBar >= 1) {
            FPlayer->Stop();
            SetPositionBar(0);
            SetFilename(FFilename);
        }
    }
    FPlaying = n == 1;
    if (!FPlaying)
        FDisplayHold = 3;
    EnablePanelControls(FView.PlayEnabled || FView.StopEnabled);
    emit changed();
}

QString TSonivexPanel::LevelText(int level, const QLocale& locale)
{
    if (level <= MinLevel)
        return QStringLiteral("-INF dB");
    const QString number = locale.toString(level / 10.0, 'f', 1);
    return (level > 0 ? QStringLiteral("+") : QString()) + number + QStringLiteral("dB");
}

QString TSonivexPanel::TimeText(int t)
{
    return QStringLiteral("%1:%2:%3:%4")
        .arg(t / 36000)
        .arg((t / 600) % 60, 2, 10, QChar(u'0'))
        .arg((t / 10) % 60, 2, 10, QChar(u'0'))
        .arg(t % 10);
}

void TSonivexPanel::SetLevelBar(int v)
{
    v = ClampInt(v, MinLevel, MaxLevel);
    if (v == FView.LevelBar)
        return;
    FView.LevelBar = v;
    LevelChange();
}

void TSonivexPanel::LevelChange()
{
    const int p = FView.LevelBar;
    if (FPlayer)
        FPlayer->SetVolume(p <= MinLevel ? 0.0f : DbToFactor(p / 10.0));
    FView.LevelText = LevelText(p);
    FFadeLevel = float(p);
    while (Levels.size() < FTrackID)
        Levels.append(QStringLiteral("0"));
    if (FTrackID > 0)
        Levels[FTrackID - 1] = QString::number(p);
    if (OnLevelChange)
        OnLevelChange(this);
    emit changed();
}

void TSonivexPanel::SetPositionMax(int max)
{
    FView.PositionMax = std::max(max, 0);
    if (FView.PositionBar > FView.PositionMax) {
        FView.PositionBar = FView.PositionMax;
        PositionChange();
    }
}

void TSonivexPanel::SetPositionBar(int v)
{
    v = ClampInt(v, 0, FView.PositionMax);
    if (v == FView.PositionBar)
        return;
    FView.PositionBar = v;
    PositionChange();
    emit changed();
}

void TSonivexPanel::PositionChange()
{
    FView.TimeText = TimeText(FView.PositionBar);
}

void TSonivexPanel::PositionMouseDown()
{
    if (FPositionMouseBound)
        FSeeking = true;
}

void TSonivexPanel::PositionMouseUp()
{
    if (!FPositionMouseBound)
        return;
    if (FPlayer)
        FPlayer->Seek(FView.PositionBar * 100);
    FSeeking = false;
    FDisplayHold = 3;
}

void TSonivexPanel::PanelTick()
{
    bool touched = false;
    if (!FSeeking && FPlaying && FPlayer) {
        const int pos = FPlayer->Position() / 100;
        if (pos >= 0 && FDisplayHold < 1) {
            FView.TimeText = TimeText(pos);
            SetPositionBar(pos);
            touched = true;
        }
        --FDisplayHold;
    }
    if (FFadeStep < 0) {
        FFadeLevel += FFadeStep;
        const int v = RoundHalfEven(FFadeLevel);
        SetLevelBar(v);
        if (v < MinLevel) {
            FFadeStep = 0;
            if (FFadeStop) {
                FFadeStop = false;
                // Without a known length (or one under 0.3 s) a seek to the end
                // would replay the track muted with every control disabled, and
                // a player that no longer plays never reports the end.
                if (!FLengthKnown || FView.PositionMax < 3 || !FPlayer || !FPlayer->IsPlaying()) {
                    FinishFadingStop();
                } else {
                    if (FPlayer)
                        FPlayer->Seek((FView.PositionMax - 3) * 100);
                    FSeeking = false;
                    FDisplayHold = 3;
                }
            }
        }
        touched = true;
    }
    if (touched)
        emit changed();
}

void TSonivexPanel::FinishFadingStop()
{
    if (FPlayer)
        FPlayer->Stop();
    EndOfTrack();
}

void TSonivexPanel::EndOfTrack()
{
    // A fade still running would pull the restored level down again.
    FFadeStep = 0;
    FFadeStop = false;
    FPlaying = false;
    EnablePanelControls(true);
    SetPositionBar(0);
    FView.LevelBar = ClampInt(FSavedLevel, MinLevel, MaxLevel);
    LevelChange();
    SetFilename(FFilename);
    emit changed();
}

void TSonivexPanel::SetTrackID(int n)
{
    // A negative track ("T" without a number) names no track at all.
    if (n == FTrackID || FPlaying || n < 0)
        return;
    FTrackID = n;
    if (n > 0 && n <= Files.size()) {
        // The track's own name first: a panel without a name would otherwise
        // name the track after its file and overwrite the stored name.
        FPanelName = Names.value(n - 1);
        SetFilename(Files.at(n - 1));
        SetPanelName(n - 1 < Names.size() ? Names.at(n - 1) : QString());
    }
    UpdateTrackDisplay();
    if (FTrackID > 0)
        SetLevel(StrToIntDef(Levels.value(FTrackID - 1), 0));
    FView.UpDownPosition = FTrackID;
    if (OnTrackChange)
        OnTrackChange(this);
    emit changed();
}

void TSonivexPanel::Clear()
{
    Names.clear();
    Files.clear();
    Levels.clear();
    FTrackID = 0;
    FView.UpDownPosition = 0;
    SetFilename(QString());
    SetPanelName(QString());
    SetLevel(0);
    UpdateTrackCount();
}

void TSonivexPanel::ClearTrack()
{
    // Emptying the last track shortens the playlist; the track display would
    // then load track 1 in its place.
    FHoldTrack = true;
    SetFilename(QString());
    FHoldTrack = false;
    SetPanelName(QString());
    SetLevel(0);
}

void TSonivexPanel::ReloadTrack()
{
    const int id = FTrackID;
    SetTrackID(0);
    SetTrackID(id);
}

void TSonivexPanel::LoadTrack(int id)
{
    if (!FPlaying)
        FTrackID = 0;
    SetTrackID(id);
}

void TSonivexPanel::UpdateTrackCount()
{
    int count = 0;
    for (int i = int(Files.size()) - 1; i >= 0; --i)
        if (!TrimBlanks(Files.at(i)).isEmpty()) {
            count = i + 1;
            break;
        }
    FTrackCount = count;
    UpdateTrackDisplay();
}

void TSonivexPanel::UpdateTrackDisplay()
{
    // A playing panel keeps its file when its playlist empties (in the playlist editor).
    if (FTrackCount == 0 && !FPlaying)
        SetFilename(QString());
    if (FTrackCount < FTrackID && !FHoldTrack)
        SetTrackID(1);
    if (FTrackCount >= 2) {
        FView.UpDownVisible = true;
        if (FTrackID >= 1 && FTrackID <= FTrackCount)
            FView.TrackText = QStringLiteral("%1 / %2").arg(FTrackID).arg(FTrackCount);
        else if (FHoldTrack)
            FView.TrackText.clear();
        else
            SetTrackID(1);
    } else {
        FView.TrackText.clear();
        FView.UpDownVisible = false;
    }
    emit changed();
}

void TSonivexPanel::TrackUpDownChanging(bool up)
{
    if (up && FTrackID < MaxTrack)
        SetTrackID(FTrackID + 1);
    else if (!up && FTrackID > 1)
        SetTrackID(FTrackID - 1);
    UpdateTrackDisplay();
}

void TSonivexPanel::ExecutePanelCommand(const QStringList& tokens)
{
    if (tokens.isEmpty() || TokenLetter(tokens.at(0)) != u'A')
        return;
    const int n = GetTokenInt(tokens, 0);
    if (n == 0) {
        for (int i = 1; i < tokens.size(); ++i) {
            const QString token = UpperAscii(tokens.at(i));
            if (token == QLatin1String("E2") || token == QLatin1String("E3"))
                ButtonAction(GetTokenInt(tokens, i));
        }
    } else if (n == FNumber) {
        for (int i = 1; i < tokens.size(); ++i)
            if (!tokens.at(i).isEmpty())
                RunSubCommand(tokens.at(i), GetTokenInt(tokens, i), tokens, i);
    }
}

void TSonivexPanel::RunSubCommand(const QString& token, int v, const QStringList& tokens, int i)
{
    switch (TokenLetter(token)) {
    case u'D':
        if (v >= 1)
            FFadeStep = float(MinLevel - FView.LevelBar) / float(v);
        break;
    case u'E':
        ButtonAction(v);
        break;
    case u'F':
        SetFilename(GetTokenString(tokens, i));
        break;
    case u'L':
        SetLevelBar(v);
        FFadeLevel = float(v);
        // A fading stop keeps running: it is the only way back out of its
        // disabled controls while the audio still plays.
        if (!FFadeStop)
            FFadeStep = 0;
        emit changed();
        break;
    case u'N':
        SetPanelName(GetTokenString(tokens, i));
        break;
    case u'T':
        SetTrackID(v);
        break;
    case u'Z':
        if (v >= 0) {
            if (FPlayer)
                FPlayer->Seek(std::int32_t(std::min<std::int64_t>(std::int64_t(v) * 100, INT32_MAX)));
            SetPositionBar(v);
        }
        break;
    default:
        break;
    }
}
