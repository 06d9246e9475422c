#pragma once
// One player panel of an audio page, without widgets: a playlist of its own
// (name, file and level per track), the level in tenths of a decibel with its
// label, fades and the fading stop, the buttons' logic, the position and time
// display and the per-panel audio sub-commands. The panel widget shows the
// state kept here (TSonivexPanelView) and forwards its clicks, bar moves and
// mouse presses. Everything runs on the GUI thread; the player's end-of-track
// notice arrives on the audio engine's notification thread and is posted here.

#include <QLocale>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

// What a panel needs of a player. The program's player wraps the audio
// engine's TAuAudio and TAuPlayer; tests may install their own.
class TPanelPlayer {
public:
    virtual ~TPanelPlayer() = default;
    // Both may throw.
    virtual bool LoadFromFile(const QString& fileName) = 0;
    virtual bool Open() = 0;
    // Length in ms, not positive when unknown.
    virtual std::int32_t Len() = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual void Seek(std::int32_t ms) = 0;
    virtual std::int32_t Position() = 0;
    // The player's audio runs (not paused, not stopped).
    virtual bool IsPlaying() = 0;
    virtual void SetVolume(float factor) = 0;
    virtual void Close() = 0;
    // handler runs on any thread after the end of a track; an empty handler
    // removes it. After the call returns, no old handler runs any more.
    virtual void SetOnFinish(std::function<void()> handler) = 0;
};

// Makes the player of one panel; nullptr with error set when no output can be used.
using TPanelPlayerFactory = std::function<std::unique_ptr<TPanelPlayer>(QString& error)>;
// Installs factory for the panels made afterwards; an empty one restores the
// audio engine's player.
void SetPanelPlayerFactory(TPanelPlayerFactory factory);
// A missing sound output is logged once per run of the engine; a new run logs it again.
void ResetAudioOutputWarning();
// Shows the user why the panels have no output: called with the reason once per
// run of the engine, from the event loop, unless the program is ending by then.
// The program shows it in a message box; without a handler it is only logged.
void SetAudioOutputErrorHandler(std::function<void(const QString& error)> handler);

// What the panel's controls show.
struct TSonivexPanelView {
    QString NumberText;
    QString NameText = QStringLiteral("( - )");
    QString TrackText;
    QString LevelText = QStringLiteral("0,0dB");
    QString LengthText;
    QString TimeText;
    bool PlayEnabled = false;
    bool PauseEnabled = false;
    bool StopEnabled = false;
    bool LevelBarEnabled = true;
    bool PositionBarEnabled = true;
    bool UpDownEnabled = true;
    bool UpDownVisible = false;
    int UpDownPosition = 0;
    int LevelBar = 0;               // -400 .. 100
    int PositionBar = 0;            // 0 .. PositionMax
    int PositionMax = 10;
    int PositionPageStep = 1;
    int PositionTickFrequency = 10;
};

class TSonivexPanel : public QObject {
    Q_OBJECT
public:
    static constexpr int MinLevel = -400;
    static constexpr int MaxLevel = 100;
    static constexpr int MaxTrack = 99;
    // A playlist holds at most this many entries (a show load reads no more).
    static constexpr int MaxPlaylistEntries = 9999;

    explicit TSonivexPanel(QObject* parent = nullptr);
    ~TSonivexPanel() override;

    int Number() const { return FNumber; }
    void SetNumber(int n);
    QString Filename() const { return FFilename; }
    void SetFilename(const QString& f);
    QString PanelName() const { return FPanelName; }
    void SetPanelName(const QString& s);
    int Level() const { return FView.LevelBar; }
    void SetLevel(int v) { SetLevelBar(v); }
    int TrackID() const { return FTrackID; }
    void SetTrackID(int n);
    int TrackCount() const { return FTrackCount; }
    bool Playing() const { return FPlaying; }
    bool HasPlayer() const { return FPlayer != nullptr; }
    const TSonivexPanelView& View() const { return FView; }

    // The playlist: entry TrackID - 1 belongs to track TrackID.
    QStringList Names, Files, Levels;

    std::function<void(TSonivexPanel*)> OnLevelChange;
    std::function<void(TSonivexPanel*)> OnTrackChange;

    // A new show: no playlist, no file, no name, level 0, no track, no time;
    // a playing panel stops and nothing of its track comes back.
    void Clear();
    // "&leeren": the current track's file and name are emptied and the level
    // becomes 0; the panel stays on that track (no other track of its playlist
    // is loaded in its place), the other tracks stay in the playlist.
    void ClearTrack();
    // Loads the current track again (TrackID to 0 and back).
    void ReloadTrack();
    // Track id loaded even when it is the current one (a show load); refused while playing.
    void LoadTrack(int id);
    void UpdateTrackCount();
    // Every 100 ms: position display and fade step.
    void PanelTick();
    // An audio command line (token 0 = "A" and a number).
    void ExecutePanelCommand(const QStringList& tokens);
    // 1 play, 2 pause, 3 stop (a fading stop while playing); other numbers do nothing.
    void ButtonAction(int n);
    void OpenAudioFile();
    // The player reached the end of the track (GUI thread).
    void EndOfTrack();

    // The controls' events.
    void SetLevelBar(int v);
    void SetPositionBar(int v);
    void PositionMouseDown();
    void PositionMouseUp();
    void TrackUpDownChanging(bool up);

    // "+2,5dB", "0,0dB", "-6,0dB", "-INF dB" for a level in 0.1 dB.
    static QString LevelText(int level, const QLocale& locale = QLocale::system());
    // h:mm:ss:t for t in tenths of a second.
    static QString TimeText(int t);
    // The part of a path after its last '/', '\' or ':'.
    static QString FileNamePart(const QString& path);

signals:
    // The view changed; the widget reads View().
    void changed();

private:
    struct TFinishGate {
        QMutex Mutex;
        TSonivexPanel* Panel = nullptr;
        // Counts the tracks the panel let go of (GUI thread); a notice belongs
        // to the track that was current when it was posted.
        std::atomic<unsigned> Track{0};
    };

    void CreateAudioPlayer();
    void EnablePanelControls(bool e);
    void LevelChange();
    void PositionChange();
    void SetPositionMax(int max);
    void UpdateTrackDisplay();
    void SetEntry(QStringList& list, int index, const QString& value);
    void FinishFadingStop();
    void RunSubCommand(const QString& token, int v, const QStringList& tokens, int i);

    std::unique_ptr<TPanelPlayer> FPlayer;
    std::shared_ptr<TFinishGate> FGate;
    TSonivexPanelView FView;
    int FNumber = 0;
    QString FFilename;
    QString FPanelName;
    int FTrackID = 0;
    int FTrackCount = 0;
    bool FPlaying = false;
    bool FSeeking = false;
    bool FPositionMouseBound = false;
    bool FLengthKnown = false;
    bool FHoldTrack = false;   // the track display keeps the current track (ClearTrack)
    int FDisplayHold = 0;
    float FFadeLevel = 0;
    float FFadeStep = 0;
    bool FFadeStop = false;
    int FSavedLevel = 0;
};
