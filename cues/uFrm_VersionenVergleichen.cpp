#include "cues/uFrm_VersionenVergleichen.h"

#include "core/uFormUtils.h"
#include "core/uKanal.h"
#include "cues/uMod_Szenen.h"

#include <QFont>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

TFrmVersionenVergleichen::TFrmVersionenVergleichen(const TSzene& scene, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmVersionenVergleichen"));
    setWindowTitle(QStringLiteral("Versionen vergleichen"));
    lblSzene_a = Named<QLabel>(QStringLiteral("lblSzene_a"), QStringLiteral("%1 - %2").arg(scene.SNR).arg(scene.NAME));
    lblVersion_a = Named<QLabel>(QStringLiteral("lblVersion_a"), scene.SDAT);
    btnClose = Named<QPushButton>(QStringLiteral("btnClose"), QStringLiteral("Schließen"));
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    // Row 0 and column 0 are the fixed header: channel numbers and version names.
    const int versions = static_cast<int>(scene.Versionen.size());
    sgKanaele = Named<QTableWidget>(QStringLiteral("sgKanaele"), versions + 1, LetzterKonsolenKanal + 1);
    sgKanaele->horizontalHeader()->hide();
    sgKanaele->verticalHeader()->hide();
    sgKanaele->verticalHeader()->setDefaultSectionSize(18);
    sgKanaele->horizontalHeader()->setDefaultSectionSize(40);
    sgKanaele->setColumnWidth(0, 110);
    sgKanaele->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto cell = [this](int row, int col, const QString& text) {
        auto* item = new QTableWidgetItem(text);
        sgKanaele->setItem(row, col, item);
        return item;
    };
    for (int c = 1; c <= LetzterKonsolenKanal; ++c)
        cell(0, c, QString::number(c));
    for (int r = 1; r <= versions; ++r) {
        const TSzeneVersion& v = scene.Versionen[static_cast<std::size_t>(r - 1)];
        cell(r, 0, v.Name);
        for (int c = 1; c <= LetzterKonsolenKanal; ++c)
            cell(r, c, QString::number(v.Levels[static_cast<std::size_t>(c)]));
    }
    // A channel whose level differs between any two versions is bold in every row.
    QFont bold = sgKanaele->font();
    bold.setBold(true);
    for (int c = 1; c <= LetzterKonsolenKanal && versions > 1; ++c) {
        const QString first = sgKanaele->item(1, c)->text();
        bool differs = false;
        for (int r = 2; r <= versions && !differs; ++r)
            differs = sgKanaele->item(r, c)->text() != first;
        if (differs)
            for (int r = 1; r <= versions; ++r)
                sgKanaele->item(r, c)->setFont(bold);
    }

    auto* labels = new QGridLayout;
    labels->addWidget(new QLabel(QStringLiteral("Szene:")), 0, 0);
    labels->addWidget(lblSzene_a, 0, 1);
    labels->addWidget(new QLabel(QStringLiteral("Aktuelle Version:")), 1, 0);
    labels->addWidget(lblVersion_a, 1, 1);
    labels->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(labels);
    layout->addWidget(sgKanaele, 1);
    layout->addWidget(btnClose, 0, Qt::AlignRight);
    resize(900, 300);
}

void CompareVersions(const TSzene& scene, QWidget* parent)
{
    TFrmVersionenVergleichen form(scene, parent);
    RunDialog(form);
}
