#include "console/uKanaeleModel.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"

#include <algorithm>

TKanaeleModel::TKanaeleModel(TModuleLichtpult& pult, QObject* parent)
    : QAbstractTableModel(parent), FPult(pult), FDirty(MaxKanal + 1, 0)
{
    TLichtpultSignals* s = pult.Signals();
    connect(s, &TLichtpultSignals::kanalChanged, this, [this](int nr, int) { Mark(nr); });
    connect(s, &TLichtpultSignals::tickDone, this, [this] {
        if (FVisible)
            Flush();
    });
    connect(s, &TLichtpultSignals::refreshWindowsRequested, this, [this] {
        if (FVisible)
            emit dataChanged(index(0, 0), index(MaxKanal - 1, ColumnCount - 1));
    });
}

int TKanaeleModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : MaxKanal;
}

int TKanaeleModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TKanaeleModel::data(const QModelIndex& index, int role) const
{
    TKanal* k = nullptr;
    if (!index.isValid() || !FPult.FindKanal(NrOf(index.row()), k))
        return {};
    if (role == KindRole)
        return int(k->Kind);
    if (role == Qt::TextAlignmentRole) {
        const int c = index.column();
        const bool left = c == colName || c == colIcon || c == colDMX;
        return int((left ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    }
    const bool edit = role == Qt::EditRole;
    if (role != Qt::DisplayRole && !edit)
        return {};
    switch (index.column()) {
    case colKanal: return k->NrText();
    case colName: return k->Name;
    case colStatus: return edit ? QVariant(k->Modus) : QVariant(k->ModusText());
    case colIcon: return k->IconText();
    case colFlash: return edit ? QVariant(k->FlashPegel) : QVariant(k->FlashText());
    case colBlackout: return edit ? QVariant(k->BlackoutPegel) : QVariant(k->BlackoutText());
    case colFader: return edit ? QVariant(k->Pegel) : QVariant(k->PegelText());
    case colOutput: return k->OutputText();
    case colDMX: return k->PatchText;
    }
    return {};
}

QVariant TKanaeleModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const Captions[ColumnCount] = {"Kan.", "Name", "St.", "Icon", "Flash", "Black.", "Fader", "Kanal", "DMX"};
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(Captions[section]) : QVariant();
}

bool TKanaeleModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    TKanal* k = nullptr;
    if (role != Qt::EditRole || !index.isValid() || !FPult.FindKanal(NrOf(index.row()), k))
        return false;
    if (index.column() == colName) {
        k->SetName(value.toString());
    } else {
        // A mode is typed as its number or its letter; the levels as numbers.
        const QString text = value.toString().trimmed();
        int v = 0;
        if (index.column() == colStatus && text.size() == 1 && QStringLiteral("HLDBZ").contains(text.toUpper()))
            v = int(QStringLiteral("HLDBZ").indexOf(text.toUpper()));
        else if (!TryStrToInt(text, v))
            return false;
        switch (index.column()) {
        case colStatus:
            if (v < kmHTP || v > kmFlackern)
                return false;
            k->SetModus(v);
            break;
        case colFlash: k->SetFlash(v); break;
        case colBlackout: k->SetBlackout(v); break;
        case colFader: k->SetPegel(v); break;
        default: return false;
        }
    }
    FDirty[static_cast<std::size_t>(k->Nr)] = 0;
    std::erase(FDirtyNr, k->Nr);
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), ColumnCount - 1));
    return true;
}

void TKanaeleModel::Mark(int nr)
{
    if (nr < 1 || nr > MaxKanal || FDirty[static_cast<std::size_t>(nr)])
        return;
    FDirty[static_cast<std::size_t>(nr)] = 1;
    FDirtyNr.push_back(nr);
}

void TKanaeleModel::SetVisible(bool visible)
{
    if (visible == FVisible)
        return;
    FVisible = visible;
    if (visible) {
        for (int nr : FDirtyNr)
            FDirty[static_cast<std::size_t>(nr)] = 0;
        FDirtyNr.clear();
        emit dataChanged(index(0, 0), index(MaxKanal - 1, ColumnCount - 1));
    }
}

void TKanaeleModel::Flush()
{
    if (FDirtyNr.empty())
        return;
    std::sort(FDirtyNr.begin(), FDirtyNr.end());
    // One report per run of neighbouring rows.
    std::size_t i = 0;
    while (i < FDirtyNr.size()) {
        std::size_t j = i;
        while (j + 1 < FDirtyNr.size() && FDirtyNr[j + 1] == FDirtyNr[j] + 1)
            ++j;
        emit dataChanged(index(RowOf(FDirtyNr[i]), 0), index(RowOf(FDirtyNr[j]), ColumnCount - 1));
        i = j + 1;
    }
    for (int nr : FDirtyNr)
        FDirty[static_cast<std::size_t>(nr)] = 0;
    FDirtyNr.clear();
}

QStringList ExportKanaeleLines(const TModuleLichtpult& pult, int von, int bis)
{
    QStringList lines;
    pult.ExportKanaele(von, bis, lines);
    return lines;
}

void ImportKanaeleText(TModuleLichtpult& pult, int von, int bis, const QString& text)
{
    TStringIniFile ini;
    ini.SetText(text);
    pult.ImportKanaele(von, bis, ini);
}
