#include "cues/uChaser.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uErrorLog.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

// ---- TLedVorlage ---------------------------------------------------------------

TLedVorlage::TLedVorlage()
    : Name(QStringLiteral("Neue Vorlage")),
      // black, red, yellow, green, cyan, blue, magenta, white (blue byte first)
      Color{0x000000, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF, 0xFFFFFF}
{
}

// ---- TLedVorlagen --------------------------------------------------------------

namespace {

const QString SectionAllgemein = QStringLiteral("Allgemein");

QString VorlageSection(int i)
{
    return QStringLiteral("Vorlage") + QString::number(i);
}

QString ColorKey(int r)
{
    return QStringLiteral("Color_") + QString::number(r);
}

QString WKey(int r, int c)
{
    return QStringLiteral("W_") + QString::number(r) + QString::number(c);
}

} // namespace

TLedVorlage* TLedVorlagen::Get(int i) const
{
    return i >= 0 && i < Count() ? Items[static_cast<std::size_t>(i)].get() : nullptr;
}

TLedVorlage& TLedVorlagen::Add()
{
    Items.push_back(std::make_unique<TLedVorlage>());
    return *Items.back();
}

// How many of count templates to read: every template that has a section of its
// own, and at most MaxCount that have none (a count above the sections gives
// default templates), so that a count far beyond the file cannot make the list
// endless.
int TLedVorlagen::ReadableCount(const TStringIniFile& ini, int count)
{
    if (count <= MaxCount)
        return std::max(count, 0);
    std::vector<int> held;
    QStringList sections;
    ini.ReadSections(sections);
    const QString prefix = QStringLiteral("Vorlage");
    for (const QString& name : sections) {
        if (!name.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        bool ok = false;
        const int i = name.mid(prefix.size()).toInt(&ok);
        // Only the number as the writer spells it names template i.
        if (ok && i >= 0 && i < count && name.size() - prefix.size() == QString::number(i).size())
            held.push_back(i);
    }
    std::sort(held.begin(), held.end());
    held.erase(std::unique(held.begin(), held.end()), held.end());
    // Before section k stand held[k] - k templates without one.
    for (std::size_t k = 0; k < held.size(); ++k)
        if (held[k] - static_cast<int>(k) > MaxCount)
            return MaxCount + static_cast<int>(k);
    return static_cast<int>(std::min<qint64>(count, qint64(MaxCount) + qint64(held.size())));
}

void TLedVorlagen::Load(const TStringIniFile& ini)
{
    Items.clear();
    const int count = ini.ReadInteger(SectionAllgemein, QStringLiteral("Count"), 0);
    const int n = ReadableCount(ini, count);
    if (n < count)
        AddToErrorLog(
            elWarning,
            QStringLiteral("ChaserLedVorlagen: Count=%1 ist zu groß, nur %2 werden gelesen").arg(count).arg(n));
    for (int i = 0; i < n; ++i) {
        const TIniKey section("Vorlage", i);
        TLedVorlage& v = Add();
        // A template without a section (a count above the sections) reads as a new
        // template whose colours are 0, without a lookup.
        if (!ini.SectionExists(section)) {
            v.Color.fill(0);
            continue;
        }
        static_assert(LedKanaele < 10, "a level key holds one digit of its channel");
        // Row r's colour is "Color_" r, its levels "W_" r c: a number that ends no
        // key of the section reads 0 without a lookup.
        const std::vector<bool> held = ini.KeyNumbers(section, LedFarben * 10 + LedKanaele);
        v.Name = ini.ReadString(section, u"Name", v.Name);
        for (int r = 1; r <= LedFarben; ++r) {
            v.Color[static_cast<std::size_t>(r - 1)] =
                held[static_cast<std::size_t>(r)] ? ini.ReadInteger(section, TIniKey("Color_", r), 0) : 0;
            for (int c = 1; c <= LedKanaele; ++c)   // a new template's levels are 0
                if (held[static_cast<std::size_t>(r * 10 + c)])
                    v.W[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)] =
                        ini.ReadInteger(section, TIniKey("W_", r).Append(c), 0);
        }
    }
}

bool TLedVorlagen::LoadFromFile(const QString& path)
{
    QString text;
    if (!ReadTextFile(path, text)) {
        Items.clear();
        return false;
    }
    TStringIniFile ini;
    ini.SetText(text);
    Load(ini);
    return true;
}

QStringList TLedVorlagen::ToLines() const
{
    QStringList lines;
    lines.append(QStringLiteral("[Allgemein]"));
    lines.append(QStringLiteral("Count=") + QString::number(Count()));
    for (int i = 0; i < Count(); ++i) {
        const TLedVorlage& v = *Items[static_cast<std::size_t>(i)];
        lines.append(QString());
        lines.append(QLatin1Char('[') + VorlageSection(i) + QLatin1Char(']'));
        // The name is one line of the file: a line break in it would start a new key.
        QString name = v.Name;
        name.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines.append(QStringLiteral("Name=") + name);
        for (int r = 1; r <= LedFarben; ++r) {
            lines.append(ColorKey(r) + QLatin1Char('=') + QString::number(v.Color[static_cast<std::size_t>(r - 1)]));
            for (int c = 1; c <= LedKanaele; ++c)
                lines.append(WKey(r, c) + QLatin1Char('=') +
                             QString::number(v.W[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)]));
        }
    }
    return lines;
}

void TLedVorlagen::SaveToFile(const QString& path) const
{
    // The data folder may not exist yet in a fresh program folder.
    QDir().mkpath(QFileInfo(path).absolutePath());
    WriteTextFileAtomic(path, ToLines());
}

// ---- TChaserEditor -------------------------------------------------------------

TChaserEditor::TChaserEditor(TModuleLichtpult& console)
    : FConsole(console), FCells(static_cast<std::size_t>((ColumnsMax + 1) * RowsMax))
{
    At(0, 0) = QStringLiteral("Kanal");
    At(0, 1) = QStringLiteral("Status");
    At(0, 2) = QStringLiteral("0-Szene");
    FLedHeaders.append(QString());
    FLedCells.resize(static_cast<std::size_t>(ChaserSchritteMax));
    SetSteps(ChaserSchritteMin);
}

QString TChaserEditor::Cell(int col, int row) const
{
    if (col < 0 || col > ColumnsMax || row < 0 || row >= RowsMax)
        return QString();
    return FCells[static_cast<std::size_t>(col * RowsMax + row)];
}

int TChaserEditor::CellValue(int col, int row, int def) const
{
    return StrToIntDef(Cell(col, row), def);
}

void TChaserEditor::EditCell(int col, int row, const QString& text)
{
    if (col < 1 || col > ColumnsMax || row < 0 || row >= RowsMax)
        return;
    At(col, row) = text;
    if (ChaserKanal && row >= 3 && row < RowCount() && col < FColumnCount)
        ChaserKanal->SetEintrag(col, row - 2, StrToIntDef(text, 0));
}

int TChaserEditor::ColumnOfChannel(int c) const
{
    return c >= ErsterKonsolenKanal && c <= LetzterKonsolenKanal ? FChannelColumn[static_cast<std::size_t>(c)] : 0;
}

void TChaserEditor::MapChannel(int c, int col)
{
    // Targets beyond the console channels (a group, say, read from a show) have no column.
    if (c >= ErsterKonsolenKanal && c <= LetzterKonsolenKanal)
        FChannelColumn[static_cast<std::size_t>(c)] = col;
}

void TChaserEditor::LoadChaser(int n)
{
    ClearChannelColumns();
    ChaserNr = n;
    // Only the step-sequence channels are chasers: 570 + n for another n would edit a
    // template, group or console channel.
    if (n < 1 || n > ChaserAnzahl) {
        ChaserKanal = nullptr;
        return;
    }
    TKanal* k = nullptr;
    if (!FConsole.FindKanal(LetzterGruppenKanal + n, k) || k->Kind != kkSequenz) {
        ChaserKanal = nullptr;
        return;
    }
    ChaserKanal = k;
    FColumnCount = std::clamp(k->EintragZahl + 1, 2, ColumnsMax + 1);
    StepCount = std::clamp(k->SchrittZahl, ChaserSchritteMin, ChaserSchritteMax);
    if (k->SchrittZahl != StepCount)
        k->SetSchrittZahl(StepCount);
    if (const int takt = std::clamp(k->Takt, ChaserTaktMin, ChaserTaktMax); k->Takt != takt)
        k->SetTakt(takt);
    for (int i = 1; i < FColumnCount; ++i) {
        const int t = k->GetEintrag(i, -1);
        At(i, 0) = QString::number(t);
        if (t > 0)
            MapChannel(t, i);
        TKanal* target = nullptr;
        At(i, 1) = FConsole.FindKanal(t, target) ? target->ModusText() : QString();
        At(i, 2) = QString::number(k->GetEintrag(i, 0));
    }
    // Every step cell shows its value; a chaser without a table (a new one) has none.
    const bool table = k->HasEintraege();
    for (int i = 1; i <= ColumnsMax; ++i) {
        QString* cells = &At(i, 3);   // a column's step rows lie one after another
        for (int s = 1; s <= ChaserSchritteMax; ++s) {
            const int v = table ? k->GetEintrag(i, s) : 0;
            QString& cell = cells[s - 1];
            if (v > 0)
                cell = QString::number(v);
            else if (!cell.isNull())
                cell.clear();
        }
    }
    ParseLedColumns(k->LedDefs);
}

void TChaserEditor::SetSteps(int n)
{
    n = std::clamp(n, ChaserSchritteMin, ChaserSchritteMax);
    if (n == StepCount)
        return;
    StepCount = n;
    if (ChaserKanal)
        ChaserKanal->SetSchrittZahl(n);
}

void TChaserEditor::GridToSequence()
{
    if (!ChaserKanal)
        return;
    for (int i = 1; i < FColumnCount; ++i)
        for (int r = 3; r < RowCount(); ++r)
            ChaserKanal->SetEintrag(i, r - 2, CellValue(i, r, 0));
}

void TChaserEditor::StoreNullszene()
{
    int count = 2;
    ClearChannelColumns();
    for (int c = ErsterKonsolenKanal; c <= LetzterKonsolenKanal; ++c) {
        const TKanal& k = FConsole.Kanaele[static_cast<std::size_t>(c)];
        if (k.Pegel == k.BlackoutPegel || count >= ColumnsMax)
            continue;
        ++count;
        const int col = count - 2;
        At(col, 0) = k.NrText();
        At(col, 1) = k.ModusText();
        At(col, 2) = QString::number(k.Pegel);
        MapChannel(c, col);
    }
    FColumnCount = count - 1;
    if (!ChaserKanal)
        return;
    ChaserKanal->SetEintragZahl(FColumnCount - 1);
    for (int i = 1; i < FColumnCount; ++i) {
        ChaserKanal->SetEintrag(i, -1, CellValue(i, 0, 0));
        ChaserKanal->SetEintrag(i, 0, CellValue(i, 2, 0));
    }
}

void TChaserEditor::StoreStep(int row)
{
    if (row < 3 || row >= RowCount())
        return;
    for (int i = 1; i < FColumnCount; ++i) {
        TKanal* k = nullptr;
        if (FConsole.FindKanal(CellValue(i, 0, -1), k))
            At(i, row) = k->Pegel > 0 ? QString::number(k->Pegel) : QString();
    }
}

void TChaserEditor::StepToConsole(int row)
{
    if (row < 3 || row >= RowCount())
        return;
    FConsole.BlackOut();
    for (int i = 1; i < FColumnCount; ++i) {
        TKanal* k = nullptr;
        if (FConsole.FindKanal(CellValue(i, 0, -1), k))
            k->SetPegel(CellValue(i, row, 0));
    }
}

bool TChaserEditor::ToggleCell(int col, int row)
{
    if (col < 1 || col >= FColumnCount || row < 3 || row >= RowCount())
        return false;
    QString& cell = At(col, row);
    cell = cell == Cell(col, 2) ? QString() : Cell(col, 2);
    GridToSequence();
    return true;
}

void TChaserEditor::SetName(const QString& s)
{
    if (ChaserKanal)
        ChaserKanal->SetName(s);
}

void TChaserEditor::SetFadeModus(int v)
{
    if (ChaserKanal)
        ChaserKanal->SetFadeModus(v);
}

void TChaserEditor::SetTakt(int v)
{
    if (ChaserKanal)
        ChaserKanal->SetTakt(v);
}

void TChaserEditor::SetLedDefs(const QString& text)
{
    ParseLedColumns(text);
    if (ChaserKanal)
        ChaserKanal->LedDefs = text;
}

void TChaserEditor::ParseLedColumns(const QString& text)
{
    FLedHeaders.clear();
    for (const QString& part : text.split(QLatin1Char(',')))
        if (StrToIntDef(part, 0) > 0)
            FLedHeaders.append(part);
    if (FLedHeaders.isEmpty())
        FLedHeaders.append(QString());
    FLedCells.assign(static_cast<std::size_t>(FLedHeaders.size() * ChaserSchritteMax), QString());
}

QString TChaserEditor::LedHeader(int led) const
{
    return led >= 1 && led <= FLedHeaders.size() ? FLedHeaders[led - 1] : QString();
}

QString TChaserEditor::LedCell(int led, int step) const
{
    if (led < 1 || led > FLedHeaders.size() || step < 1 || step > ChaserSchritteMax)
        return QString();
    return FLedCells[static_cast<std::size_t>((led - 1) * ChaserSchritteMax + step - 1)];
}

void TChaserEditor::ApplyTemplateRow(int led, int step, const TLedVorlage& vorlage, int row)
{
    if (led < 1 || led > FLedHeaders.size() || step < 1 || step > StepCount || row < 1 || row > LedFarben)
        return;
    const auto r = static_cast<std::size_t>(row - 1);
    FLedCells[static_cast<std::size_t>((led - 1) * ChaserSchritteMax + step - 1)] = QString::number(vorlage.Color[r]);
    const int start = StrToIntDef(FLedHeaders[led - 1], -1);
    if (start > 0)
        for (int c = 1; c <= LedKanaele; ++c) {
            const int w = vorlage.W[r][static_cast<std::size_t>(c - 1)];
            const int col = start <= LetzterKonsolenKanal ? ColumnOfChannel(start + c - 1) : 0;
            if (w >= 0 && col > 0)
                At(col, 2 + step) = QString::number(w);
        }
    GridToSequence();
}

void TChaserEditor::RebuildLedGrid(const TLedVorlage* vorlage)
{
    for (int led = 1; led <= FLedHeaders.size(); ++led) {
        const int start = StrToIntDef(FLedHeaders[led - 1], -1);
        for (int s = 1; s <= StepCount; ++s) {
            QString& cell = FLedCells[static_cast<std::size_t>((led - 1) * ChaserSchritteMax + s - 1)];
            cell.clear();
            if (start <= 0 || !vorlage)
                continue;
            for (int r = 0; r < LedFarben; ++r) {
                bool match = true;
                for (int c = 0; c < LedKanaele && match; ++c) {
                    const int w = vorlage->W[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
                    const int col = start <= LetzterKonsolenKanal ? ColumnOfChannel(start + c) : 0;
                    if (w >= 0 && col > 0)
                        match = w == CellValue(col, 2 + s, 0);
                }
                if (match) {
                    cell = QString::number(vorlage->Color[static_cast<std::size_t>(r)]);
                    break;
                }
            }
        }
    }
}
