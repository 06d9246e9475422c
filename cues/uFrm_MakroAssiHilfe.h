#pragma once
// The macro assistant: a list of command letters, for each a reference page that
// explains its sub-tokens, and for channels, audio panels, relays and MIDI an
// assistant page that builds ready command lines. There is one panel for the
// program's life; its content moves between the hosts that attach it (the scene
// page's macro memo, the macro editor), and each generated line goes to the host
// attached last.

#include <QComboBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <vector>

class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

// A drop-down list that runs BeforePopup each time it opens.
class TRefillComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> BeforePopup;
    void showPopup() override;
};

class TfrmMakroAssiHilfe : public QWidget {
public:
    using TInsertLine = std::function<void(const QString&)>;

    explicit TfrmMakroAssiHilfe(QWidget* parent = nullptr);
    ~TfrmMakroAssiHilfe() override;

    // Docks the content into hostPanel; lines go to insertLine until another host
    // attaches or this one detaches. A host attached again moves to the top.
    void Attach(QWidget* hostPanel, TInsertLine insertLine);
    // hostPanel gives the content back: it returns to the host attached before
    // (the scene page), or to this panel when there is none. A host panel that is
    // destroyed while it holds the content detaches first, so the content lives on.
    void Detach(QWidget* hostPanel);
    // The panel that holds the content now (nullptr: none but this one).
    QWidget* Host() const;

    // Hands line to the current host; nothing before any host attached.
    void AppendLine(const QString& line);
    // Shows the pages of the letter that starts item (the "-" separator: none).
    void ChooseLetter(const QString& item);
    // cmbAudioList anew from AudioPanelLines, keeping the chosen line when it is still there.
    void RefillAudioList();

    // The audio panels, one line each: number, " | ", file name.
    std::function<QStringList()> AudioPanelLines;

    QWidget* pnlContent = nullptr;
    QListWidget* lbAuswahl = nullptr;
    QTabWidget* pcAssiHilfe = nullptr;
    QWidget* tabAssi = nullptr;
    QWidget* tabHilfe = nullptr;
    QTabWidget* pcAssi = nullptr;
    QTabWidget* pcHilfe = nullptr;
    QWidget* tabAssiLeer = nullptr;
    QWidget* tabAssiKanal = nullptr;
    QWidget* tabAssiAudio = nullptr;
    QWidget* tabAssiInterface = nullptr;
    QWidget* tabAssiMIDI = nullptr;
    QPushButton* btnKanalAnfuegen = nullptr;
    TRefillComboBox* cmbAudioList = nullptr;
    TRefillComboBox* cmbInterfaceList = nullptr;
    QSpinBox* udKanal = nullptr;
    QComboBox* comboBefehl = nullptr;
    QSpinBox* udParameter1 = nullptr;
    QSpinBox* udParameter2 = nullptr;
    QPushButton* btnMIDI = nullptr;

private:
    struct THost {
        QPointer<QWidget> Panel;
        TInsertLine InsertLine;
    };
    void BuildAssistantPages();
    void BuildReferencePages();
    QWidget* AddReferencePage(const char* name, const QStringList& lines);
    void DockOnTop();
    void AddChannelLines();
    void AddAudioLine(int tag);
    void AddRelayLine(int tag);
    void AddMidiLine();

    std::vector<THost> FHosts;   // the last one holds the content
};

// The one assistant, made by the composition root; nullptr before.
extern TfrmMakroAssiHilfe* frmMakroAssiHilfe;

// Shorthands on the one assistant for hosts that do not know it; nothing without it.
void AttachMakroAssiHilfe(QWidget* hostPanel, std::function<void(const QString&)> insertLine);
void DetachMakroAssiHilfe(QWidget* hostPanel);
