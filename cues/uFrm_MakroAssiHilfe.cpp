#include "cues/uFrm_MakroAssiHilfe.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uTextEdits.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>
#include <utility>

TfrmMakroAssiHilfe* frmMakroAssiHilfe = nullptr;

void TRefillComboBox::showPopup()
{
    if (BeforePopup)
        BeforePopup();
    QComboBox::showPopup();
}

namespace {

// Lives as a child of a host panel, created before the content moves in, so it is
// destroyed before the content when the panel goes: it hands the content back.
class THostGuard : public QObject {
public:
    THostGuard(TfrmMakroAssiHilfe* owner, QWidget* host) : QObject(host), FOwner(owner), FHost(host) {}
    ~THostGuard() override
    {
        if (const QPointer<TfrmMakroAssiHilfe> owner = FOwner) {
            FOwner = nullptr;
            setParent(nullptr);   // so that Detach does not find it again
            owner->Detach(FHost);
        }
    }
    QPointer<TfrmMakroAssiHilfe> FOwner;
    QWidget* FHost;
};

THostGuard* GuardOf(QWidget* host)
{
    for (QObject* child : host->children())
        if (auto* guard = dynamic_cast<THostGuard*>(child))
            return guard;
    return nullptr;
}

// The letter of a list item and the pages it shows.
struct TLetterPages {
    QChar Letter;
    const char* Assi;
    const char* Hilfe;
};
const TLetterPages LetterPages[] = {
    {u'A', "tabAssiAudio", "tabHilfeAudio"},         {u'C', "tabAssiLeer", "tabHilfeCOM"},
    {u'D', "tabAssiLeer", "tabHilfeDelay"},          {u'I', "tabAssiInterface", "tabHilfeInterface"},
    {u'K', "tabAssiKanal", "tabHilfeKanal"},         {u'M', "tabAssiLeer", "tabHilfeMakro"},
    {u'N', "tabAssiMIDI", "tabHilfeMIDI"},           {u'P', "tabAssiLeer", "tabHilfePatch"},
    {u'R', "tabAssiLeer", "tabHilfeMaster"},         {u'T', "tabAssiLeer", "tabHilfeText"},
    {u'W', "tabAssiLeer", "tabHilfeBedingung"},
};

void ShowPage(QTabWidget* pc, const char* name)
{
    for (int i = 0; i < pc->count(); ++i)
        if (pc->widget(i)->objectName() == QLatin1String(name))
            pc->setCurrentIndex(i);
}

QPushButton* TaggedButton(const char* name, const QString& caption, int tag)
{
    auto* button = Named<QPushButton>(QString::fromLatin1(name), caption);
    button->setProperty("tag", tag);
    return button;
}

} // namespace

TfrmMakroAssiHilfe::TfrmMakroAssiHilfe(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMakroAssiHilfe"));
    pnlContent = Named<QWidget>(QStringLiteral("pnlMakroAssiHilfe"));
    lbAuswahl = Named<QListWidget>(QStringLiteral("lbAuswahl"));
    lbAuswahl->addItems({QStringLiteral("A Audio"), QStringLiteral("C COM-Port"), QStringLiteral("I Interface"),
                         QStringLiteral("K Kanal"), QStringLiteral("M Makro"), QStringLiteral("N MIDI"),
                         QStringLiteral("P Patch"), QStringLiteral("R Master"), QStringLiteral("T Text"),
                         QStringLiteral("-"), QStringLiteral("W Bedingung"), QStringLiteral("D Delay")});
    // Every letter's line whole, also beside a scroll bar in a low host.
    lbAuswahl->setFixedWidth(static_cast<QAbstractItemView*>(lbAuswahl)->sizeHintForColumn(0) +
                             2 * lbAuswahl->frameWidth() + lbAuswahl->verticalScrollBar()->sizeHint().width());
    connect(lbAuswahl, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { ChooseLetter(item->text()); });

    pcAssiHilfe = Named<QTabWidget>(QStringLiteral("pcAssiHilfe"));
    tabAssi = Named<QWidget>(QStringLiteral("tabAssi"));
    tabHilfe = Named<QWidget>(QStringLiteral("tabHilfe"));
    pcAssiHilfe->addTab(tabAssi, QStringLiteral("Assistenten"));
    pcAssiHilfe->addTab(tabHilfe, QStringLiteral("Hilfe"));
    // The inner page controls switch by code only: their tabs are hidden.
    pcAssi = Named<QTabWidget>(QStringLiteral("pcAssi"));
    pcHilfe = Named<QTabWidget>(QStringLiteral("pcHilfe"));
    for (QTabWidget* pc : {pcAssi, pcHilfe}) {
        pc->tabBar()->hide();
        pc->setDocumentMode(true);
    }
    (new QVBoxLayout(tabAssi))->addWidget(pcAssi);
    (new QVBoxLayout(tabHilfe))->addWidget(pcHilfe);
    BuildAssistantPages();
    BuildReferencePages();

    auto* row = new QHBoxLayout(pnlContent);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(lbAuswahl);
    row->addWidget(pcAssiHilfe, 1);
    DockInto(pnlContent, this);
    frmMakroAssiHilfe = this;
}

TfrmMakroAssiHilfe::~TfrmMakroAssiHilfe()
{
    if (frmMakroAssiHilfe == this)
        frmMakroAssiHilfe = nullptr;
    for (THost& host : FHosts)
        if (host.Panel)
            delete GuardOf(host.Panel);
    FHosts.clear();
    // The content may sit in a host; its handlers call this panel, so it goes too.
    delete pnlContent;
}

void TfrmMakroAssiHilfe::BuildAssistantPages()
{
    tabAssiLeer = Named<QWidget>(QStringLiteral("tabAssiLeer"));

    tabAssiKanal = Named<QWidget>(QStringLiteral("tabAssiKanal"));
    {
        auto* group = new QGroupBox(QStringLiteral(" Alle aktiven Kanäle: "));
        auto* text = new QLabel(
            QStringLiteral("Die Pegel aller Kanäle, deren Pegel vom Blackout-Pegel abweicht, werden zu Makro-Zeilen."));
        text->setWordWrap(true);
        btnKanalAnfuegen = Named<QPushButton>(QStringLiteral("btnKanalAnfuegen"), QStringLiteral("Makrozeilen anfügen"));
        auto* box = new QVBoxLayout(group);
        box->addWidget(text);
        box->addWidget(btnKanalAnfuegen);
        auto* page = new QVBoxLayout(tabAssiKanal);
        page->addWidget(group);
        page->addStretch();
        connect(btnKanalAnfuegen, &QPushButton::clicked, this, [this] { AddChannelLines(); });
    }

    tabAssiAudio = Named<QWidget>(QStringLiteral("tabAssiAudio"));
    {
        cmbAudioList = Named<TRefillComboBox>(QStringLiteral("cmbAudioList"));
        cmbAudioList->BeforePopup = [this] { RefillAudioList(); };
        auto* page = new QVBoxLayout(tabAssiAudio);
        page->addWidget(cmbAudioList);
        auto* buttons = new QHBoxLayout;
        for (auto [name, caption, tag] : {std::tuple{"btnAudioPlay", "Play", 1}, std::tuple{"btnAudioPause", "Pause", 2},
                                          std::tuple{"btnAudioStop", "Stop", 3}}) {
            QPushButton* button = TaggedButton(name, QString::fromLatin1(caption), tag);
            connect(button, &QPushButton::clicked, this, [this, tag] { AddAudioLine(tag); });
            buttons->addWidget(button);
        }
        page->addLayout(buttons);
        page->addStretch();
    }

    tabAssiInterface = Named<QWidget>(QStringLiteral("tabAssiInterface"));
    {
        cmbInterfaceList = Named<TRefillComboBox>(QStringLiteral("cmbInterfaceList"));
        // Opening it fills the audio list anew too.
        cmbInterfaceList->BeforePopup = [this] { RefillAudioList(); };
        for (int i = 1; i <= 16; ++i)
            cmbInterfaceList->addItem(QStringLiteral("Relais %1").arg(i));
        cmbInterfaceList->addItem(QString());
        auto* page = new QVBoxLayout(tabAssiInterface);
        page->addWidget(cmbInterfaceList);
        auto* buttons = new QHBoxLayout;
        for (auto [name, caption, tag] :
             {std::tuple{"btnRelaisAn", "Relais an", 1}, std::tuple{"btnRelaisAus", "Relais aus", 0}}) {
            QPushButton* button = TaggedButton(name, QString::fromLatin1(caption), tag);
            connect(button, &QPushButton::clicked, this, [this, tag] { AddRelayLine(tag); });
            buttons->addWidget(button);
        }
        page->addLayout(buttons);
        page->addStretch();
    }

    tabAssiMIDI = Named<QWidget>(QStringLiteral("tabAssiMIDI"));
    {
        udKanal = Named<QSpinBox>(QStringLiteral("udKanal"));
        udKanal->setRange(1, 16);
        comboBefehl = Named<QComboBox>(QStringLiteral("comboBefehl"));
        comboBefehl->addItems({QStringLiteral("note off"), QStringLiteral("note on"), QStringLiteral("key aftertouch"),
                               QStringLiteral("control change"), QStringLiteral("program change"),
                               QStringLiteral("chanal aftertouch"), QStringLiteral("pitchbend"),
                               QStringLiteral("system message")});
        udParameter1 = Named<QSpinBox>(QStringLiteral("udParameter1"));
        udParameter2 = Named<QSpinBox>(QStringLiteral("udParameter2"));
        for (QSpinBox* ud : {udParameter1, udParameter2})
            ud->setRange(0, 255);
        btnMIDI = Named<QPushButton>(QStringLiteral("btnMIDI"), QStringLiteral("MIDI-Befehl erstellen"));
        connect(btnMIDI, &QPushButton::clicked, this, [this] { AddMidiLine(); });
        auto* page = new QVBoxLayout(tabAssiMIDI);
        for (auto [caption, field] : {std::pair<const char*, QWidget*>{"Kanal", udKanal}, {"Befehl", comboBefehl},
                                      {"Parameter 1", udParameter1}, {"Parameter 2", udParameter2}}) {
            auto* line = new QHBoxLayout;
            line->addWidget(new QLabel(QString::fromLatin1(caption)));
            line->addWidget(field, 1);
            page->addLayout(line);
        }
        page->addWidget(btnMIDI);
        page->addStretch();
    }

    for (QWidget* tab : {tabAssiLeer, tabAssiKanal, tabAssiAudio, tabAssiInterface, tabAssiMIDI})
        pcAssi->addTab(tab, tab->objectName());
}

QWidget* TfrmMakroAssiHilfe::AddReferencePage(const char* name, const QStringList& lines)
{
    auto* tab = Named<QWidget>(QString::fromLatin1(name));
    auto* memo = Named<TTextEdit>(QString::fromLatin1(name).replace(QStringLiteral("tab"), QStringLiteral("mem")));
    memo->setReadOnly(true);
    memo->setAcceptRichText(false);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Lines wrap at the memo's width, whichever host it sits in; a word longer
    // than the width breaks too, so nothing needs a horizontal scroll bar.
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setLineWrapMode(QTextEdit::WidgetWidth);
    memo->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // "code#meaning" shows as two columns; a meaning that wraps goes on in its
    // own column, under the meaning rather than under the codes.
    const qreal column = QFontMetrics(memo->font()).horizontalAdvance(QStringLiteral("WWWWWW"));
    memo->setTabStopDistance(column);
    QStringList shown = lines;
    for (QString& line : shown)
        line.replace(u'#', u'\t');
    memo->setPlainText(shown.join(u'\n'));
    for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next()) {
        if (!block.text().contains(u'\t'))
            continue;
        QTextBlockFormat hanging = block.blockFormat();
        hanging.setLeftMargin(column);
        hanging.setTextIndent(-column);
        QTextCursor(block).setBlockFormat(hanging);
    }
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(memo);
    pcHilfe->addTab(tab, QString::fromLatin1(name));
    return tab;
}

void TfrmMakroAssiHilfe::BuildReferencePages()
{
    AddReferencePage("tabHilfeAudio",
                     {QStringLiteral("A Audio"), QString(), QStringLiteral("E1#Play"), QStringLiteral("E2#Pause"),
                      QStringLiteral("E3#Stop"), QStringLiteral("L#Pegel in 1/10 dB"),
                      QStringLiteral("Z#Zeit (Position) in 1/10 s"), QStringLiteral("F#Dateiname mit Pfad"),
                      QStringLiteral("N#Name des Panels"), QStringLiteral("D#Ausblenden (Dauer etwa in 1/10 s)"),
                      QStringLiteral("T#Titelnummer"), QString(), QStringLiteral("Beispiele:"),
                      QStringLiteral("A11Z26E1#Panel 11 auf 2,6 s stellen und abspielen"),
                      QStringLiteral("A5D20#Panel 5 in etwa 2 s ausblenden")});
    AddReferencePage("tabHilfeKanal",
                     {QStringLiteral("K Kanal"), QString(), QStringLiteral("P, L#Pegel 0..255"),
                      QStringLiteral("%#Pegel in Prozent"), QStringLiteral("F#Flash-Pegel"),
                      QStringLiteral("B#Blackout-Pegel"), QStringLiteral("I#Symbolnummer"),
                      QStringLiteral("V#Vordergrundfarbe"), QStringLiteral("H#Hintergrundfarbe"), QString(),
                      QStringLiteral("Farben:"), QStringLiteral("Schwarz#0"), QStringLiteral("Rot#255"),
                      QStringLiteral("Grün#65280"), QStringLiteral("Gelb#65535"), QStringLiteral("Blau#16711680"),
                      QString(), QStringLiteral("Beispiel:"), QStringLiteral("K1P255#Kanal 1 auf voll")});
    AddReferencePage(
        "tabHilfeMakro",
        {QStringLiteral("M Makro"), QString(), QStringLiteral("E#Drücken und Loslassen"),
         QStringLiteral("D#Drücken (\"Down\")"), QStringLiteral("U#Loslassen (\"Up\")"), QString(),
         QStringLiteral("Die Zeilen eines Makros laufen beim Drücken oder beim Loslassen."),
         QStringLiteral("Ein Makro kann von einem anderen Makro nur den Drück-Teil, nur den Loslass-Teil oder beide auslösen."),
         QStringLiteral("Es liegt in der Verantwortung des Bedieners, keine Endlosschleife sich gegenseitig aufrufender "
                        "Makros zu erstellen."),
         QString(), QStringLiteral("Beispiel:"), QStringLiteral("M3E#Makro 3 drücken und loslassen")});
    AddReferencePage("tabHilfePatch",
                     {QStringLiteral("P Patch"), QString(), QStringLiteral("P#Pultkanal"), QStringLiteral("K#Kennlinie"),
                      QString(), QStringLiteral("Beispiel:"),
                      QStringLiteral("P14P13K1#DMX-Kanal 14 auf Pultkanal 13 mit der ersten eigenen Kennlinie")});
    AddReferencePage(
        "tabHilfeBedingung",
        {QStringLiteral("W Bedingung (\"Wenn\")"), QString(), QStringLiteral("W0#noch keine Überblendung"),
         QStringLiteral("W1#Überblendung läuft"), QStringLiteral("W2#Pause"),
         QStringLiteral("W3#Überblendung fortgesetzt"), QStringLiteral("W4#Überblendung rückwärts"),
         QStringLiteral("W5#Überblendung beendet"), QStringLiteral("W6#Überblendung rückwärts im Ablauf"), QString(),
         QStringLiteral("Mehrere Modi können in beliebiger Reihenfolge verwendet werden: W16 ist dasselbe wie W61 (und "
                        "dasselbe wie ein Verzicht auf eine Bedingung)."),
         QString(), QStringLiteral("Beispiele (ein Audio-Panel, das mit der Überblendung spielt, pausiert und stoppt):"),
         QStringLiteral("W1346A1E1"), QStringLiteral("W2A1E2"), QStringLiteral("W5A1E3")});
    AddReferencePage("tabHilfeMaster",
                     {QStringLiteral("R Master"), QString(), QStringLiteral("P#Pultmaster-Pegel"),
                      QStringLiteral("G#Grandmaster-Pegel"), QStringLiteral("F#Position des Fade-Faktors 0..200"),
                      QStringLiteral("B#Blackout"), QStringLiteral("A#Ablauf (0 Pult, 1 Ablauf)"), QString(),
                      QStringLiteral("Beispiele:"), QStringLiteral("R0B#Blackout"),
                      QStringLiteral("R0P127#Pultmaster auf halb")});
    AddReferencePage("tabHilfeText",
                     {QStringLiteral("T0 Text"), QString(), QStringLiteral("S1#erster Schritt"),
                      QStringLiteral("S2#nächster Schritt"), QStringLiteral("S3#vorheriger Schritt"),
                      QStringLiteral("E1#nächsten Schritt ausführen"), QStringLiteral("E2#vorherigen Schritt ausführen"),
                      QStringLiteral("A0 / A1#automatisch weiter aus / an"), QString(), QStringLiteral("Beispiel:"),
                      QStringLiteral("T0S1E1#ersten Schritt suchen und ausführen")});
    AddReferencePage("tabHilfeCOM",
                     {QStringLiteral("C0 COM-Port (serielle Schnittstelle)"), QString(),
                      QStringLiteral("V<n>#mit Port n verbinden"), QStringLiteral("T#Verbindung trennen"),
                      QStringLiteral("S#Befehl ohne Zeilenumbruch senden"),
                      QStringLiteral("Z#Befehl mit Zeilenumbruch senden"), QString(), QStringLiteral("Beispiele:"),
                      QStringLiteral("C0V1#mit Port 1 verbinden"), QStringLiteral("C0Z\"Pause\"#sendet Pause und einen Zeilenumbruch")});
    AddReferencePage("tabHilfeDelay",
                     {QStringLiteral("D Delay (verzögerte Ausführung)"), QString(),
                      QStringLiteral("Dx#vor eine Befehlszeile gestellt: um x Zehntelsekunden verzögern"),
                      QStringLiteral("D0C#alle verzögerten Befehle löschen"), QString(), QStringLiteral("Beispiel:"),
                      QStringLiteral("D50K1P255#Kanal 1 nach 5 s auf voll")});
    AddReferencePage("tabHilfeInterface",
                     {QStringLiteral("I Interface (Relais-Ausgäne)"), QString(), QStringLiteral("W0#Relais aus"),
                      QStringLiteral("W1#Relais an"), QString(), QStringLiteral("Beispiele:"),
                      QStringLiteral("I1W1#Relais 1 an"), QStringLiteral("I5W0#Relais 5 aus")});
    AddReferencePage("tabHilfeMIDI",
                     {QStringLiteral("N MIDI-Ausgabe"), QString(), QStringLiteral("K#Kanal 1..16"),
                      QStringLiteral("B0#note off"), QStringLiteral("B1#note on"), QStringLiteral("B2#key aftertouch"),
                      QStringLiteral("B3#control change"), QStringLiteral("B4#program change"),
                      QStringLiteral("B5#chanal aftertouch"), QStringLiteral("B6#pitchbend"),
                      QStringLiteral("B7#system message"), QStringLiteral("P#Parameter 1 (0..255)"),
                      QStringLiteral("Z#Parameter 2 (0..255)"), QString(), QStringLiteral("Beispiel:"),
                      QStringLiteral("N0K1B1P55Z22#note on auf Kanal 1")});
}

void TfrmMakroAssiHilfe::ChooseLetter(const QString& item)
{
    const QChar letter = item.isEmpty() ? QChar() : item.front();
    for (const TLetterPages& pages : LetterPages)
        if (pages.Letter == letter) {
            ShowPage(pcAssi, pages.Assi);
            ShowPage(pcHilfe, pages.Hilfe);
        }
}

// ---- hosts ----

void TfrmMakroAssiHilfe::Attach(QWidget* hostPanel, TInsertLine insertLine)
{
    if (!hostPanel)
        return;
    std::erase_if(FHosts, [hostPanel](const THost& h) { return h.Panel == hostPanel; });
    if (!GuardOf(hostPanel))
        new THostGuard(this, hostPanel);
    FHosts.push_back({hostPanel, std::move(insertLine)});
    DockOnTop();
}

void TfrmMakroAssiHilfe::Detach(QWidget* hostPanel)
{
    const auto it = std::find_if(FHosts.begin(), FHosts.end(), [hostPanel](const THost& h) { return h.Panel == hostPanel; });
    if (it == FHosts.end())
        return;
    const bool top = it + 1 == FHosts.end();
    FHosts.erase(it);
    if (THostGuard* guard = GuardOf(hostPanel)) {
        guard->FOwner = nullptr;
        delete guard;
    }
    if (top)
        DockOnTop();
}

void TfrmMakroAssiHilfe::DockOnTop()
{
    // Hosts that are gone no longer count.
    std::erase_if(FHosts, [](const THost& h) { return !h.Panel; });
    DockInto(pnlContent, FHosts.empty() ? static_cast<QWidget*>(this) : FHosts.back().Panel.data());
}

QWidget* TfrmMakroAssiHilfe::Host() const
{
    return FHosts.empty() ? nullptr : FHosts.back().Panel.data();
}

void TfrmMakroAssiHilfe::AppendLine(const QString& line)
{
    if (!FHosts.empty() && FHosts.back().InsertLine)
        FHosts.back().InsertLine(line);
}

// ---- generated lines ----

void TfrmMakroAssiHilfe::RefillAudioList()
{
    const QString current = cmbAudioList->currentText();
    cmbAudioList->clear();
    if (AudioPanelLines)
        cmbAudioList->addItems(AudioPanelLines());
    cmbAudioList->setCurrentIndex(std::max(0, cmbAudioList->findText(current)));
}

void TfrmMakroAssiHilfe::AddChannelLines()
{
    if (!ModuleLichtpult)
        return;
    for (int nr = 1; nr <= LetzterKonsolenKanal; ++nr) {
        const TKanal& k = ModuleLichtpult->GetKanal(nr);
        if (k.Pegel != k.BlackoutPegel)
            AppendLine(QStringLiteral("K%1P%2").arg(nr).arg(k.Pegel));
    }
}

void TfrmMakroAssiHilfe::AddAudioLine(int tag)
{
    // The panel number is the text up to the first blank; no panel, no line.
    const QString panel = cmbAudioList->currentText().section(u' ', 0, 0);
    if (!panel.isEmpty())
        AppendLine(QStringLiteral("A%1E%2").arg(panel).arg(tag));
}

void TfrmMakroAssiHilfe::AddRelayLine(int tag)
{
    // The item's place names the relay; the empty item after "Relais 16" gives
    // relay 17, which the interface ignores.
    AppendLine(QStringLiteral("I%1W%2").arg(cmbInterfaceList->currentIndex() + 1).arg(tag));
}

void TfrmMakroAssiHilfe::AddMidiLine()
{
    AppendLine(QStringLiteral("N0K%1B%2P%3Z%4")
                   .arg(udKanal->value())
                   .arg(comboBefehl->currentIndex())
                   .arg(udParameter1->value())
                   .arg(udParameter2->value()));
}

void AttachMakroAssiHilfe(QWidget* hostPanel, std::function<void(const QString&)> insertLine)
{
    if (frmMakroAssiHilfe)
        frmMakroAssiHilfe->Attach(hostPanel, std::move(insertLine));
}

void DetachMakroAssiHilfe(QWidget* hostPanel)
{
    if (frmMakroAssiHilfe)
        frmMakroAssiHilfe->Detach(hostPanel);
}
