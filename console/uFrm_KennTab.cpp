#include "console/uFrm_KennTab.h"

#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"
#include "framework/uPrompts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// Cells take digits only.
class TDigitsDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* edit = qobject_cast<QLineEdit*>(editor))
            edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        return editor;
    }
};

const TFileDialogOptions& TableFileOptions()
{
    static const TFileDialogOptions options{QString(), QStringLiteral("Textdateien (*.txt);;Alle Dateien (*)"),
                                            QStringLiteral("txt"), QString()};
    return options;
}

} // namespace

Tfrm_kenn_tab::Tfrm_kenn_tab(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frm_kenn_tab"));
    setWindowTitle(QStringLiteral("Kennlinie bearbeiten"));
    auto* layout = new QVBoxLayout(this);
    StringGrid1 = Named<QTableWidget>(QStringLiteral("StringGrid1"), 257, 2);
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(18);
    StringGrid1->setItemDelegate(new TDigitsDelegate(StringGrid1));
    layout->addWidget(StringGrid1);
    auto* buttons = new QHBoxLayout;
    const struct {
        const char* Name;
        const char* Caption;
    } captions[] = {{"btnOK", "OK"}, {"btnAbbrechen", "Abbrechen"}, {"btnExportieren", "&exportieren"},
                    {"btnImportieren", "&importieren"}};
    QPushButton* b[4];
    for (int i = 0; i < 4; ++i) {
        b[i] = Named<QPushButton>(QString::fromLatin1(captions[i].Name), QString::fromUtf8(captions[i].Caption));
        buttons->addWidget(b[i]);
    }
    layout->addLayout(buttons);
    connect(b[0], &QPushButton::clicked, this, &QDialog::accept);
    connect(b[1], &QPushButton::clicked, this, &QDialog::reject);
    connect(b[2], &QPushButton::clicked, this, [this] { Guarded([this] { Export(); }); });
    connect(b[3], &QPushButton::clicked, this, [this] { Guarded([this] { Import(); }); });
    resize(220, 480);
}

void Tfrm_kenn_tab::Fill(const TCurveTableText& content)
{
    StringGrid1->setItem(0, 0, new QTableWidgetItem(QStringLiteral("In")));
    StringGrid1->setItem(0, 1, new QTableWidgetItem(QStringLiteral("Out")));
    for (int r = 0; r < 2; ++r)
        StringGrid1->item(0, r)->setFlags(Qt::ItemIsEnabled);
    for (int i = 0; i < 256; ++i) {
        auto* in = new QTableWidgetItem(QString::number(i));
        in->setFlags(Qt::ItemIsEnabled);
        StringGrid1->setItem(i + 1, 0, in);
        StringGrid1->setItem(i + 1, 1, new QTableWidgetItem(content.Cells.value(i)));
    }
    Points = content.Points;
}

TCurveTableText Tfrm_kenn_tab::Content() const
{
    TCurveTableText content;
    for (int i = 0; i < 256; ++i) {
        const QTableWidgetItem* item = StringGrid1->item(i + 1, 1);
        content.Cells << (item ? item->text() : QString());
    }
    content.Points = Points;
    return content;
}

void Tfrm_kenn_tab::Export()
{
    const QString name = Prompts().SaveFileName(TableFileOptions(), QString());
    if (name.isEmpty() || !ConfirmOverwrite(name))
        return;
    WriteCurveTableFile(name, Content());
}

void Tfrm_kenn_tab::Import()
{
    const QString name = Prompts().OpenFileName(TableFileOptions(), QString());
    if (name.isEmpty())
        return;
    TCurveTableText content;
    if (!ReadCurveTableFile(name, content)) {
        AddToErrorLog(elWarning, QStringLiteral("Datei konnte nicht gelesen werden: ") + name);
        return;
    }
    Fill(content);
}
