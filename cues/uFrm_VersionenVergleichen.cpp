#include "cues/uFrm_VersionenVergleichen.h"

#include "console/uKanal.h"
#include "cues/uMod_Szenen.h"
#include "framework/uFormUtils.h"

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

    // The fixed row and column of the grid are its headers, so that they stay in
    // sight while the grid scrolls: the channel numbers above, the version names
    // (time stamps) on the left, whole and at least 110 pixels wide.
    const int versions = static_cast<int>(scene.Versionen.size());
    sgKanaele = Named<QTableWidget>(QStringLiteral("sgKanaele"), versions, LetzterKonsolenKanal);
    sgKanaele->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    sgKanaele->verticalHeader()->setDefaultSectionSize(18);
    sgKanaele->verticalHeader()->setMinimumWidth(110);
    sgKanaele->verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    sgKanaele->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    sgKanaele->horizontalHeader()->setDefaultSectionSize(40);
    sgKanaele->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    sgKanaele->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QStringList channels;
    for (int c = 1; c <= LetzterKonsolenKanal; ++c)
        channels << QString::number(c);
    sgKanaele->setHorizontalHeaderLabels(channels);
    QStringList names;
    for (int r = 0; r < versions; ++r) {
        const TSzeneVersion& v = scene.Versionen[static_cast<std::size_t>(r)];
        names << v.Name;
        for (int c = 1; c <= LetzterKonsolenKanal; ++c)
            sgKanaele->setItem(r, c - 1, new QTableWidgetItem(QString::number(v.Levels[static_cast<std::size_t>(c)])));
    }
    sgKanaele->setVerticalHeaderLabels(names);
    // A channel whose level differs between any two versions is bold in every row.
    QFont bold = sgKanaele->font();
    bold.setBold(true);
    for (int c = 0; c < LetzterKonsolenKanal && versions > 1; ++c) {
        const QString first = sgKanaele->item(0, c)->text();
        bool differs = false;
        for (int r = 1; r < versions && !differs; ++r)
            differs = sgKanaele->item(r, c)->text() != first;
        if (differs)
            for (int r = 0; r < versions; ++r)
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
