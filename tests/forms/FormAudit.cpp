#include "FormAudit.h"

#include "console/uFrm_Patch.h"
#include "console/uKanalListBox.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTextDocument>

#include <algorithm>

namespace {

QString Name(const QWidget* w)
{
    QString path;
    for (const QWidget* p = w; p; p = p->parentWidget())
        if (!p->objectName().isEmpty()) {
            path = p->objectName() + (path.isEmpty() ? QString() : QStringLiteral("/") + path);
            if (p != w && path.count(u'/') >= 2)
                break;
        }
    return QString::fromLatin1(w->metaObject()->className()) + QStringLiteral(" ") + path;
}

// A "&" directly before a letter or digit: a mnemonic marker, shown as it
// stands where no mnemonic is drawn.
bool HasMnemonicMarker(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != u'&')
            continue;
        if (text.at(i + 1) == u'&') {
            ++i;
            continue;
        }
        if (text.at(i + 1).isLetterOrNumber())
            return true;
    }
    return false;
}

bool PlainLabel(const QLabel* l)
{
    return l->textFormat() == Qt::PlainText || (l->textFormat() == Qt::AutoText && !Qt::mightBeRichText(l->text()));
}

void AuditLabel(const QLabel* l, QStringList& findings)
{
    if (l->text().isEmpty())
        return;
    if (!l->wordWrap() && PlainLabel(l) && l->width() < l->sizeHint().width())
        findings
            << Name(l) +
                   QStringLiteral(": \"%1\" %2 px of %3").arg(l->text()).arg(l->width()).arg(l->sizeHint().width());
    if (!l->buddy() && PlainLabel(l) && HasMnemonicMarker(l->text()))
        findings << Name(l) + QStringLiteral(": literal & in \"%1\"").arg(l->text());
}

// The width the combo box needs to show its current text whole (as QComboBox
// measures its size hint, but for this text instead of its longest item).
int ComboWidthFor(const QComboBox* c, const QString& text)
{
    QStyleOptionComboBox opt;
    opt.initFrom(c);
    opt.editable = c->isEditable();
    opt.frame = c->hasFrame();
    opt.currentText = text;
    const QFontMetrics fm = c->fontMetrics();
    QSize contents(fm.boundingRect(text).width(), std::max(fm.height(), 14) + 2);
    if (!c->itemIcon(c->currentIndex()).isNull())
        contents.rwidth() += c->iconSize().width() + 4;
    return c->style()->sizeFromContents(QStyle::CT_ComboBox, &opt, contents, c).width();
}

void AuditCombo(const QComboBox* c, QStringList& findings)
{
    const int need = ComboWidthFor(c, c->currentText());
    if (c->width() < need)
        findings << Name(c) + QStringLiteral(": \"%1\" %2 px of %3").arg(c->currentText()).arg(c->width()).arg(need);
    for (int i = 0; i < c->count(); ++i)
        if (HasMnemonicMarker(c->itemText(i)))
            findings << Name(c) + QStringLiteral(": literal & in \"%1\"").arg(c->itemText(i));
}

void AuditSlider(const QSlider* s, QStringList& findings)
{
    const bool horizontal = s->orientation() == Qt::Horizontal;
    const int have = horizontal ? s->width() : s->height();
    const int need = horizontal ? s->sizeHint().width() : s->sizeHint().height();
    if (have < need)
        findings << Name(s) + QStringLiteral(": %1 px of %2").arg(have).arg(need);
}

void AuditHeader(const QHeaderView* h, QStringList& findings)
{
    if (!h->model())
        return;
    const bool horizontal = h->orientation() == Qt::Horizontal;
    const int count = horizontal ? h->model()->columnCount(h->rootIndex()) : h->model()->rowCount(h->rootIndex());
    const int extent = horizontal ? h->width() : h->height();
    for (int i = 0; i < count; ++i) {
        if (h->isSectionHidden(i) || h->sectionViewportPosition(i) >= extent)
            continue;
        const QString caption = h->model()->headerData(i, h->orientation()).toString();
        if (caption.isEmpty())
            continue;
        const int need = horizontal ? h->sectionSizeHint(i) : h->sizeHint().width();
        const int width = horizontal ? h->sectionSize(i) : h->width();
        if (width < need)
            findings << Name(h) + QStringLiteral(": \"%1\" %2 px of %3").arg(caption).arg(width).arg(need);
        if (HasMnemonicMarker(caption))
            findings << Name(h) + QStringLiteral(": literal & in \"%1\"").arg(caption);
    }
}

void AuditTable(const QTableView* t, QStringList& findings)
{
    if (!t->model())
        return;
    const int columns = t->model()->columnCount(t->rootIndex());
    const int extent = t->viewport()->width();
    for (int c = 0; c < columns; ++c) {
        if (t->isColumnHidden(c) || t->columnViewportPosition(c) >= extent || t->columnViewportPosition(c) < 0)
            continue;
        const int need = static_cast<const QAbstractItemView*>(t)->sizeHintForColumn(c);
        if (t->columnWidth(c) < need)
            findings << Name(t) + QStringLiteral(": column %1 %2 px of %3").arg(c).arg(t->columnWidth(c)).arg(need);
    }
}

void AuditList(const QListView* l, QStringList& findings)
{
    if (!l->model() || l->viewMode() != QListView::ListMode || l->isWrapping())
        return;
    const int need = static_cast<const QAbstractItemView*>(l)->sizeHintForColumn(0);
    if (l->viewport()->width() < need)
        findings << Name(l) + QStringLiteral(": %1 px of %2").arg(l->viewport()->width()).arg(need);
    for (int r = 0; r < l->model()->rowCount(l->rootIndex()); ++r) {
        const QString text = l->model()->index(r, 0, l->rootIndex()).data().toString();
        if (HasMnemonicMarker(text))
            findings << Name(l) + QStringLiteral(": literal & in \"%1\"").arg(text);
    }
}

// The painted channel lists: each header caption in the room its column gives it.
void AuditKanalList(const TKanalListBox* list, QStringList& findings)
{
    if (!list->HeaderFits(0))
        findings << Name(list) + QStringLiteral(": a header caption runs into the next column");
}

// The patch view: all rows of cells in sight, and each value clear of its letter.
void AuditPatchView(const TFrmPatch* window, QStringList& findings)
{
    const QWidget* view = window->pbPatch;
    const int h = window->LineHeight();
    const int bottom = window->CellOrigin(TFrmPatch::Rows - 1, 0).y() + 5 * h;
    if (view->height() < bottom)
        findings << Name(view) +
                        QStringLiteral(": %1 px high, the rows need %2 (h %3)").arg(view->height()).arg(bottom).arg(h);
    const QFontMetrics fm = view->fontMetrics();
    // A value ends 30 pixels right of its letter's left edge.
    const struct {
        const char* Letter;
        const char* Widest;
    } lines[] = {{"D", "512"}, {"K", "510"}, {"I", "255"}, {"O", "255"}, {"KL", "99"}};
    for (const auto& line : lines) {
        const int gap = 30 - fm.horizontalAdvance(QString::fromLatin1(line.Widest)) -
                        fm.horizontalAdvance(QString::fromLatin1(line.Letter));
        if (gap < 2)
            findings << Name(view) + QStringLiteral(": \"%1\" touches \"%2\"").arg(line.Widest, line.Letter);
    }
}

}   // namespace

const QStringList& EnglishDialogWords()
{
    static const QStringList words{"Look in",
                                   "File name",
                                   "Files of type",
                                   "Cancel",
                                   "&Open",
                                   "&Save",
                                   "Open",
                                   "Save",
                                   "Select Color",
                                   "Basic colors",
                                   "Custom colors",
                                   "Add to Custom Colors",
                                   "Pick Screen Color",
                                   "Hue:",
                                   "Red:",
                                   "Green:",
                                   "Blue:",
                                   "Back",
                                   "Forward",
                                   "Detail View",
                                   "List View",
                                   "Create New Folder",
                                   "Parent Directory",
                                   "Size",
                                   "Date Modified"};
    return words;
}

QStringList DialogTexts(QWidget* dialog)
{
    QStringList texts{dialog->windowTitle()};
    for (QLabel* l : dialog->findChildren<QLabel*>())
        texts << l->text();
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
        texts << b->text() << b->toolTip();
    for (QHeaderView* h : dialog->findChildren<QHeaderView*>())
        for (int i = 0; h->model() && i < h->model()->columnCount(); ++i)
            texts << h->model()->headerData(i, Qt::Horizontal).toString();
    return texts;
}

QStringList AuditVisibleWidgets(QWidget* root)
{
    QStringList findings;
    if (root->isWindow() && HasMnemonicMarker(root->windowTitle()))
        findings << Name(root) + QStringLiteral(": literal & in the title \"%1\"").arg(root->windowTitle());
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (int n = 0; PatchWindow(n); ++n) {
        const TFrmPatch* window = PatchWindow(n);
        if (window->pbPatch->isVisible() && (root == window->pbPatch || root->isAncestorOf(window->pbPatch)))
            AuditPatchView(window, findings);
    }
    for (QWidget* w : widgets) {
        if (!w->isVisible())
            continue;
        if (auto* list = dynamic_cast<TKanalListBox*>(w))
            AuditKanalList(list, findings);
        if (auto* l = qobject_cast<QLabel*>(w))
            AuditLabel(l, findings);
        else if (auto* c = qobject_cast<QComboBox*>(w))
            AuditCombo(c, findings);
        else if (auto* s = qobject_cast<QSlider*>(w))
            AuditSlider(s, findings);
        else if (auto* h = qobject_cast<QHeaderView*>(w))
            AuditHeader(h, findings);
        else if (auto* t = qobject_cast<QTableView*>(w))
            AuditTable(t, findings);
        else if (auto* lv = qobject_cast<QListView*>(w))
            AuditList(lv, findings);
    }
    return findings;
}
