#include "console/uFrm_EditLichtpultseite.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uMod_Main.h"
#include "framework/uUtils.h"

#include "framework/uFormUtils.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

namespace {

const QString NewCategoryName = QStringLiteral("neue Seite");

QSpinBox* MakeSpin(const QString& name, int low, int high, int value)
{
    auto* s = Named<QSpinBox>(name);
    s->setRange(low, high);
    s->setValue(value);
    return s;
}

QPushButton* MakeButton(const QString& name, const QString& text)
{
    auto* b = Named<QPushButton>(name, text);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TFrmEditLichtpultseite::TFrmEditLichtpultseite(TModuleLichtpult& module, QWidget* parent)
    : QDialog(parent), FModule(module)
{
    setObjectName(QStringLiteral("FrmEditLichtpultseite"));
    setWindowTitle(QStringLiteral("Seiten und Kategorien bearbeiten"));
    setModal(true);
    setMinimumWidth(440);   // the category grid's two columns and the row text

    // ---- tab "Seiten"
    tsSeiten = new QWidget;
    tsSeiten->setObjectName(QStringLiteral("tsSeiten"));
    edtName = new QLineEdit;
    edtName->setObjectName(QStringLiteral("edtName"));
    cmbKategorie = new QComboBox;
    cmbKategorie->setObjectName(QStringLiteral("cmbKategorie"));
    edtCommandLine = new QLineEdit;
    edtCommandLine->setObjectName(QStringLiteral("edtCommandLine"));
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Name"), edtName);
    fields->addRow(QStringLiteral("Kategorie"), cmbKategorie);
    fields->addRow(QStringLiteral("Kommandozeile"), edtCommandLine);

    auto* gbUniversal = new QGroupBox(QStringLiteral(" Universalzeile: "));
    gbUniversal->setObjectName(QStringLiteral("gbUniversal"));
    udFaderzahl = MakeSpin(QStringLiteral("udFaderzahl"), 0, TLichtpultZeile::SlotCount, 12);
    udAbstand = MakeSpin(QStringLiteral("udAbstand"), 0, 100, 4);
    udAbstandVor = MakeSpin(QStringLiteral("udAbstandVor"), 0, TLichtpultZeile::SlotCount, 7);
    udAbstandGross = MakeSpin(QStringLiteral("udAbstandGross"), 0, 100, 20);
    udAbstandVor2 = MakeSpin(QStringLiteral("udAbstandVor2"), 0, TLichtpultZeile::SlotCount, 13);
    udAbstandGross2 = MakeSpin(QStringLiteral("udAbstandGross2"), 0, 100, 20);
    udErsterKanal = MakeSpin(QStringLiteral("udErsterKanal"), 1, 240, 1);
    cbGroups = new QCheckBox(QStringLiteral("Gruppen"));
    cbGroups->setObjectName(QStringLiteral("cbGroups"));
    btnZeileAnlegen = MakeButton(QStringLiteral("btnZeileAnlegen"), QStringLiteral("Zeile &anlegen"));
    auto* universal = new QGridLayout(gbUniversal);
    universal->addWidget(new QLabel(QStringLiteral("Anzahl Fader")), 0, 0);
    universal->addWidget(udFaderzahl, 0, 1);
    universal->addWidget(new QLabel(QStringLiteral("Abstand")), 0, 2);
    universal->addWidget(udAbstand, 0, 3);
    universal->addWidget(new QLabel(QStringLiteral("Absatz vor")), 1, 0);
    universal->addWidget(udAbstandVor, 1, 1);
    universal->addWidget(new QLabel(QStringLiteral("Abstand")), 1, 2);
    universal->addWidget(udAbstandGross, 1, 3);
    universal->addWidget(new QLabel(QStringLiteral("Absatz vor")), 2, 0);
    universal->addWidget(udAbstandVor2, 2, 1);
    universal->addWidget(new QLabel(QStringLiteral("Abstand")), 2, 2);
    universal->addWidget(udAbstandGross2, 2, 3);
    universal->addWidget(new QLabel(QStringLiteral("Erster Kanal")), 3, 0);
    universal->addWidget(udErsterKanal, 3, 1);
    universal->addWidget(cbGroups, 3, 2, 1, 2);
    universal->addWidget(btnZeileAnlegen, 4, 0, 1, 4);

    auto* gbAktive = new QGroupBox(QStringLiteral(" Aus den aktiven Kanälen: "));
    gbAktive->setObjectName(QStringLiteral("gbAktive"));
    auto* note = new QLabel(QStringLiteral("Macht aus den bis zu 24 ersten Kanälen, deren Pegel vom Blackout-Pegel "
                                           "abweichen, eine Kommandozeile."));
    note->setWordWrap(true);
    btnAktiveKanaele = MakeButton(QStringLiteral("btnAktiveKanaele"), QStringLiteral("Zeile aus den aktiven Kanälen"));
    auto* aktive = new QVBoxLayout(gbAktive);
    aktive->addWidget(note);
    aktive->addWidget(btnAktiveKanaele);

    auto* gbAendern = new QGroupBox(QStringLiteral(" Kanalzahlen ändern: "));
    gbAendern->setObjectName(QStringLiteral("gbAendern"));
    udKanalzahlAendern = MakeSpin(QStringLiteral("udKanalzahlAendern"), -LetzterKonsolenKanal, LetzterKonsolenKanal, 0);
    btnAendern = MakeButton(QStringLiteral("btnAendern"), QStringLiteral("ändern"));
    auto* aendern = new QHBoxLayout(gbAendern);
    aendern->addWidget(new QLabel(QStringLiteral("ändern um")));
    aendern->addWidget(udKanalzahlAendern);
    aendern->addWidget(btnAendern);
    aendern->addStretch();

    auto* seiten = new QVBoxLayout(tsSeiten);
    seiten->addLayout(fields);
    seiten->addWidget(gbUniversal);
    seiten->addWidget(gbAktive);
    seiten->addWidget(gbAendern);
    seiten->addStretch();

    // ---- tab "Kategorien"
    tsKategorien = new QWidget;
    tsKategorien->setObjectName(QStringLiteral("tsKategorien"));
    btnNeueKategorie = MakeButton(QStringLiteral("btnNeueKategorie"), QStringLiteral("&Neue Kategorie hinzufügen"));
    sgKategorien = new QTableWidget(0, 2);
    sgKategorien->setObjectName(QStringLiteral("sgKategorien"));
    sgKategorien->setHorizontalHeaderLabels({QString(), QStringLiteral("Name")});
    sgKategorien->verticalHeader()->hide();
    sgKategorien->setColumnWidth(0, 64);
    sgKategorien->setColumnWidth(1, 302);
    auto* kategorien = new QVBoxLayout(tsKategorien);
    kategorien->addWidget(btnNeueKategorie, 0, Qt::AlignLeft);
    kategorien->addWidget(sgKategorien);

    pcSeiten = new QTabWidget;
    pcSeiten->setObjectName(QStringLiteral("pcSeiten"));
    pcSeiten->addTab(tsSeiten, QStringLiteral("Seiten"));
    pcSeiten->addTab(tsKategorien, QStringLiteral("Kategorien"));

    btnOK = new QPushButton(QStringLiteral("OK"));
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnAbbrechen = MakeButton(QStringLiteral("btnAbbrechen"), QStringLiteral("Abbrechen"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnAbbrechen);

    auto* main = new QVBoxLayout(this);
    main->addWidget(pcSeiten);
    main->addLayout(buttons);

    connect(btnZeileAnlegen, &QPushButton::clicked, this, [this] { btnZeileAnlegenClick(); });
    connect(btnAktiveKanaele, &QPushButton::clicked, this, [this] { btnAktiveKanaeleClick(); });
    connect(btnAendern, &QPushButton::clicked, this, [this] { btnAendernClick(); });
    connect(btnNeueKategorie, &QPushButton::clicked, this, [this] { btnNeueKategorieClick(); });
    connect(pcSeiten, &QTabWidget::currentChanged, this, [this](int index) { TabChanged(index); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnAbbrechen, &QPushButton::clicked, this, &QDialog::reject);
}

bool TFrmEditLichtpultseite::CreatesPage() const
{
    return FRequest == NewPageRequest || FRequest >= DuplicateOffset;
}

void TFrmEditLichtpultseite::Load(int request)
{
    FRequest = request;
    FZeile = FModule.GetLichtpultZeile(request % DuplicateOffset);
    FLoadedNode = FZeile ? FZeile->Node : -1;

    QSignalBlocker blockCombo(cmbKategorie);
    cmbKategorie->clear();
    cmbKategorie->addItems(FModule.Kategorien);
    cmbKategorie->setCurrentIndex(-1);
    if (FZeile) {
        edtCommandLine->setText(FZeile->GetRowString());
        edtName->setText(FZeile->Name);
        // A category outside the list shows no selection.
        cmbKategorie->setCurrentIndex(FZeile->Node < cmbKategorie->count() ? FZeile->Node : -1);
    } else if (CreatesPage() && cmbKategorie->count() > 0) {
        // A page without a category would be listed nowhere.
        cmbKategorie->setCurrentIndex(0);
    }

    QSignalBlocker blockTabs(pcSeiten);
    pcSeiten->setCurrentWidget(tsSeiten);
    FillGrid();
}

void TFrmEditLichtpultseite::Apply()
{
    if (pcSeiten->currentWidget() == tsKategorien)
        ReadGrid();

    TLichtpultZeile* page = nullptr;
    if (CreatesPage()) {
        auto created = std::make_unique<TLichtpultZeile>(FModule.PageCount());
        page = created.get();
        FModule.AddPage(std::move(created));
    } else if (FZeile) {
        // The page may have gone while the dialog was open (a show was loaded).
        const auto& pages = FModule.LichtpultZeilen;
        const bool present = std::any_of(pages.begin(), pages.end(),
                                         [this](const std::unique_ptr<TLichtpultZeile>& z) { return z.get() == FZeile; });
        if (present)
            page = FZeile;
    }

    QStringList names;
    for (int i = 0; i < cmbKategorie->count(); ++i)
        names << cmbKategorie->itemText(i);
    FModule.Kategorien = names;

    if (page) {
        page->SetRowString(edtCommandLine->text());
        page->SetName(edtName->text());
        int node = cmbKategorie->currentIndex();
        // A page loaded with a category the list does not show keeps it.
        if (node < 0 && FZeile)
            node = FLoadedNode;
        page->SetNode(node);
    }
    FModule.SortLichtpultZeilen();
}

void TFrmEditLichtpultseite::btnZeileAnlegenClick()
{
    const int first = udErsterKanal->value() - 1;
    const QChar letter = cbGroups->isChecked() ? QLatin1Char('G') : QLatin1Char('K');
    QString row;
    for (int i = 1; i <= udFaderzahl->value(); ++i) {
        int gap = udAbstand->value();
        if (i == udAbstandVor->value())
            gap = udAbstandGross->value();
        else if (i == udAbstandVor2->value())
            gap = udAbstandGross2->value();
        row += QStringLiteral("L%1%2%3").arg(gap).arg(letter).arg(i + first);
    }
    edtCommandLine->setText(row);
}

void TFrmEditLichtpultseite::btnAktiveKanaeleClick()
{
    QString row;
    int count = 0;
    for (int nr = ErsterKonsolenKanal; nr <= LetzterKonsolenKanal && count < TLichtpultZeile::SlotCount; ++nr) {
        const TKanal& k = FModule.GetKanal(nr);
        if (k.Pegel != k.BlackoutPegel) {
            row += QStringLiteral("L4K%1").arg(nr);
            ++count;
        }
    }
    edtCommandLine->setText(row);
}

QString TFrmEditLichtpultseite::ShiftChannelNumbers(const QString& row, int delta)
{
    if (row.isEmpty())
        return row;
    // The first character is the "L" of the first entry.
    QStringList entries = row.mid(1).split(QLatin1Char('L'));
    for (QString& entry : entries) {
        const qsizetype k = entry.indexOf(QLatin1Char('K'));
        if (k < 0)
            continue;
        const std::int64_t nr = StrToIntDef(entry.mid(k + 1), 0);
        entry = entry.left(k + 1) + QString::number(nr + delta);
    }
    return QLatin1Char('L') + entries.join(QLatin1Char('L'));
}

void TFrmEditLichtpultseite::btnAendernClick()
{
    edtCommandLine->setText(ShiftChannelNumbers(edtCommandLine->text(), udKanalzahlAendern->value()));
}

void TFrmEditLichtpultseite::btnNeueKategorieClick()
{
    if (sgKategorien->rowCount() >= MaxKategorien)
        return;
    AddGridRow(NewCategoryName);
    UpdateNeueKategorie();
}

void TFrmEditLichtpultseite::TabChanged(int index)
{
    if (pcSeiten->widget(index) == tsKategorien)
        FillGrid();
    else
        ReadGrid();
}

void TFrmEditLichtpultseite::AddGridRow(const QString& name)
{
    const int row = sgKategorien->rowCount();
    sgKategorien->insertRow(row);
    auto* number = new QTableWidgetItem(QString::number(row + 1));
    number->setFlags(number->flags() & ~Qt::ItemIsEditable);
    sgKategorien->setItem(row, 0, number);
    sgKategorien->setItem(row, 1, new QTableWidgetItem(name));
}

void TFrmEditLichtpultseite::FillGrid()
{
    sgKategorien->setRowCount(0);
    for (int i = 0; i < cmbKategorie->count(); ++i)
        AddGridRow(cmbKategorie->itemText(i));
    UpdateNeueKategorie();
}

void TFrmEditLichtpultseite::ReadGrid()
{
    const int selected = cmbKategorie->currentIndex();
    QStringList names;
    for (int row = 0; row < sgKategorien->rowCount(); ++row) {
        const QTableWidgetItem* item = sgKategorien->item(row, 1);
        QString name = item ? item->text() : QString();
        // A blank name would be dropped when the show is read again and move
        // every later category up; the row keeps the name it had.
        if (TrimBlanks(name).isEmpty())
            name = row < cmbKategorie->count() ? cmbKategorie->itemText(row) : NewCategoryName;
        names << name;
    }
    QSignalBlocker block(cmbKategorie);
    cmbKategorie->clear();
    cmbKategorie->addItems(names);
    cmbKategorie->setCurrentIndex(selected);
}

void TFrmEditLichtpultseite::UpdateNeueKategorie()
{
    btnNeueKategorie->setEnabled(sgKategorien->rowCount() < MaxKategorien);
}

bool EditLichtpultseite(int request)
{
    if (!ModuleLichtpult)
        return false;
    TFrmEditLichtpultseite dialog(*ModuleLichtpult, QApplication::activeWindow());
    dialog.Load(request);

    const int result = RunDialog(dialog);
    if (result != QDialog::Accepted || !ModuleLichtpult)
        return false;
    dialog.Apply();
    return true;
}
