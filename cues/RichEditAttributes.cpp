#include "cues/RichEditAttributes.h"

#include "cues/uRtf.h"
#include "framework/uColors.h"
#include "framework/uPrompts.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>
#include <QToolButton>

#include <cmath>

namespace {

constexpr int kComboWidth = 145;   // the toolkit's default combo-box width
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;

// The small glyphs of the buttons, drawn instead of loaded: COLOR, BOLD, ITALIC,
// UNDERLINE, LEFT, CENTER, RIGHT, POINTS.
QIcon Glyph(const QString& name)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::black);
    QFont f = p.font();
    f.setPixelSize(13);
    const auto letter = [&](const QString& text, bool bold, bool italic, bool underline) {
        f.setBold(bold);
        f.setItalic(italic);
        f.setUnderline(underline);
        p.setFont(f);
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, text);
    };
    const auto lines = [&](int align) {
        const int widths[4] = {14, 10, 14, 8};
        for (int i = 0; i < 4; ++i) {
            const int w = widths[i];
            const int x = align == 0 ? 1 : align == 1 ? (16 - w) / 2 : 15 - w;
            p.drawLine(x, 3 + 3 * i, x + w - 1, 3 + 3 * i);
        }
    };
    if (name == QLatin1String("COLOR")) {
        letter(QStringLiteral("A"), true, false, false);
        p.fillRect(2, 13, 12, 3, Qt::red);
    } else if (name == QLatin1String("BOLD")) {
        letter(QStringLiteral("F"), true, false, false);
    } else if (name == QLatin1String("ITALIC")) {
        letter(QStringLiteral("K"), false, true, false);
    } else if (name == QLatin1String("UNDERLINE")) {
        letter(QStringLiteral("U"), false, false, true);
    } else if (name == QLatin1String("LEFT")) {
        lines(0);
    } else if (name == QLatin1String("CENTER")) {
        lines(1);
    } else if (name == QLatin1String("RIGHT")) {
        lines(2);
    } else if (name == QLatin1String("POINTS")) {
        for (int i = 0; i < 3; ++i) {
            p.fillRect(1, 3 + 4 * i, 2, 2, Qt::black);
            p.drawLine(5, 4 + 4 * i, 14, 4 + 4 * i);
        }
    }
    return QIcon(pm);
}

// A whole number in a box; false for anything else ("12x", "", "1.5").
bool BoxInt(const QComboBox* box, int& value)
{
    bool ok = false;
    value = box->currentText().trimmed().toInt(&ok);
    return ok;
}

QString PointsText(double layout)
{
    return QString::number(LayoutToTwips(layout) / 20.0);
}

bool IsBold(const QTextCharFormat& f)
{
    return f.fontWeight() >= QFont::DemiBold;
}

}   // namespace

TRichEditAttributes::TRichEditAttributes(QWidget* owner) : QFrame(owner)
{
    setObjectName(QStringLiteral("RichEditAttributes"));
    const auto combo = [this](const char* name, int x, int width, const QString& hint) {
        auto* c = new QComboBox(this);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setToolTip(hint);
        c->setGeometry(x, 4, width, 21);
        return c;
    };
    const auto button = [this](const char* name, int x, const QString& hint, const QString& glyph) {
        auto* b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setAutoRaise(true);
        b->setToolTip(hint);
        if (!glyph.isEmpty())
            b->setIcon(Glyph(glyph));
        b->setGeometry(x, 4, kButtonWidth, kButtonHeight);
        return b;
    };

    cbFontName = combo("cbFontName", 4, kComboWidth, QStringLiteral("Schriftart"));
    cbFontSize = combo("cbFontSize", 154, 50, QStringLiteral("Schriftgröße"));
    btnColor = button("btnColor", 210, QStringLiteral("Schriftfarbe"), QStringLiteral("COLOR"));
    btnBold = button("btnBold", 240, QStringLiteral("fett"), QStringLiteral("BOLD"));
    btnItalic = button("btnItalic", 263, QStringLiteral("kursiv"), QStringLiteral("ITALIC"));
    btnUnderline = button("btnUnderline", 286, QStringLiteral("unterstrichen"), QStringLiteral("UNDERLINE"));
    btnStrikeOut = button("btnStrikeOut", 309, QStringLiteral("durchgestrichen"), QString());
    btnStrikeOut->setText(QStringLiteral(" d "));
    QFont strike = btnStrikeOut->font();
    strike.setPointSize(10);
    strike.setBold(true);
    strike.setStrikeOut(true);
    btnStrikeOut->setFont(strike);
    cbLeftMargin = combo("cbLeftMargin", 342, 50, QStringLiteral("Linker Rand"));
    cbFirstIndent = combo("cbFirstIndent", 396, 50, QStringLiteral("Einzug der ersten Zeile"));
    cbRightMargin = combo("cbRightMargin", 450, 50, QStringLiteral("Rechter Rand"));
    btnAlignLeft = button("btnAlignLeft", 508, QStringLiteral("linksbündig"), QStringLiteral("LEFT"));
    btnAlignCenter = button("btnAlignCenter", 531, QStringLiteral("zenriert"), QStringLiteral("CENTER"));
    btnAlignRight = button("btnAlignRight", 554, QStringLiteral("rechtsbündig"), QStringLiteral("RIGHT"));
    btnBullets = button("btnBullets", 581, QStringLiteral("Aufzählungspunkte"), QStringLiteral("POINTS"));

    int tag = 1;
    for (QToolButton* b : {btnBold, btnItalic, btnUnderline, btnStrikeOut}) {
        b->setCheckable(true);
        const int t = tag++;
        connect(b, &QToolButton::clicked, this, [this, t] { ToggleStyle(t); });
    }
    FAlignGroup = new QButtonGroup(this);
    FAlignGroup->setExclusive(true);
    for (QToolButton* b : {btnAlignLeft, btnAlignCenter, btnAlignRight}) {
        b->setCheckable(true);
        FAlignGroup->addButton(b);
        connect(b, &QToolButton::clicked, this, [this] { AlignmentChange(); });
    }
    btnAlignLeft->setChecked(true);
    btnBullets->setCheckable(true);
    connect(btnBullets, &QToolButton::clicked, this, [this] { BulletsChange(); });
    connect(btnColor, &QToolButton::clicked, this, [this] { ColorClick(); });

    // A box applies its text when the user commits it: a choice from the list,
    // or Enter / leaving the box after typing in it.
    const auto onCommit = [this](QComboBox* box, void (TRichEditAttributes::*handler)()) {
        connect(box, &QComboBox::textActivated, this, [this, handler] { (this->*handler)(); });
        connect(box->lineEdit(), &QLineEdit::editingFinished, this, [this, box, handler] {
            if (!box->lineEdit()->isModified())
                return;
            box->lineEdit()->setModified(false);
            (this->*handler)();
        });
    };
    onCommit(cbFontName, &TRichEditAttributes::FontNameChange);
    onCommit(cbFontSize, &TRichEditAttributes::FontSizeChange);
    onCommit(cbLeftMargin, &TRichEditAttributes::ParagraphChange);
    onCommit(cbFirstIndent, &TRichEditAttributes::ParagraphChange);
    onCommit(cbRightMargin, &TRichEditAttributes::ParagraphChange);

    Arrange();
    Loaded();
}

void TRichEditAttributes::Loaded()
{
    const auto fill = [](QComboBox* box, const QStringList& items) {
        const QSignalBlocker block(box);
        const QString text = box->currentText();
        box->clear();
        box->addItems(items);
        box->setEditText(text);
    };
    fill(cbFontName, QFontDatabase::families());
    fill(cbFontSize, {"8", "9", "10", "12", "14", "18", "24"});
    const QStringList margins{"0", "10", "20", "30", "40", "50", "80"};
    fill(cbLeftMargin, margins);
    fill(cbRightMargin, margins);
    fill(cbFirstIndent, {"-30", "-20", "-10", "0", "10", "20", "30"});
}

QTextEdit* TRichEditAttributes::RichEdit() const
{
    return FRichEdit;
}

void TRichEditAttributes::SetRichEdit(QTextEdit* edit)
{
    if (FRichEdit)
        disconnect(FRichEdit, nullptr, this, nullptr);
    FRichEdit = edit;
    if (!edit)
        return;
    connect(edit, &QTextEdit::cursorPositionChanged, this, &TRichEditAttributes::UpdateFromSelection);
    connect(edit, &QTextEdit::selectionChanged, this, &TRichEditAttributes::UpdateFromSelection);
    connect(edit, &QTextEdit::currentCharFormatChanged, this, &TRichEditAttributes::UpdateFromSelection);
    UpdateFromSelection();
}

template <class F>
void TRichEditAttributes::Change(F apply)
{
    if (!FRichEdit)
        return;
    FChanging = true;
    emit OnBeforeChange();
    if (FRichEdit) {   // a handler of OnBeforeChange may have destroyed the editor
        // One step to undo: the change and where it puts a bulleted paragraph's text.
        QTextCursor step(FRichEdit->document());
        step.beginEditBlock();
        apply(*FRichEdit);
        const QTextCursor c = FRichEdit->textCursor();
        ArrangeBullets(*FRichEdit->document(), c.selectionStart(), c.selectionEnd());
        step.endEditBlock();
    }
    emit OnAfterChange();
    FChanging = false;
    UpdateFromSelection();
}

void TRichEditAttributes::ToggleStyle(int tag)
{
    Change([tag](QTextEdit& edit) {
        const QTextCharFormat cur = edit.currentCharFormat();
        QTextCharFormat m;
        switch (tag) {
        case 1: m.setFontWeight(IsBold(cur) ? QFont::Normal : QFont::Bold); break;
        case 2: m.setFontItalic(!cur.fontItalic()); break;
        case 3: m.setFontUnderline(!cur.fontUnderline()); break;
        case 4: m.setFontStrikeOut(!cur.fontStrikeOut()); break;
        default: return;
        }
        edit.mergeCurrentCharFormat(m);
    });
}

void TRichEditAttributes::FontNameChange()
{
    const QString name = cbFontName->currentText();
    Change([&name](QTextEdit& edit) {
        QTextCharFormat m;
        m.setFontFamilies(QStringList{name});
        edit.mergeCurrentCharFormat(m);
    });
}

void TRichEditAttributes::FontSizeChange()
{
    int size = 0;
    // The rich-text range: anything else is ignored like a text that is no number.
    if (!BoxInt(cbFontSize, size) || size < 1 || size > 1638)
        return;
    Change([size](QTextEdit& edit) {
        QTextCharFormat m;
        m.setFontPointSize(size);
        edit.mergeCurrentCharFormat(m);
    });
}

void TRichEditAttributes::ColorClick()
{
    if (!FRichEdit)
        return;
    const QTextCharFormat cur = FRichEdit->currentCharFormat();
    const QColor shown =
        cur.foreground().style() != Qt::NoBrush ? cur.foreground().color() : FRichEdit->palette().color(QPalette::Text);
    int value = ValueFromColor(shown);
    if (!Prompts().PickColor(value))
        return;
    // The value 10 means transparent elsewhere; as a text colour it is plain RGB(10, 0, 0).
    const QColor color = value == TransparentColorValue ? QColor(10, 0, 0) : ColorFromValue(value);
    Change([&color](QTextEdit& edit) {
        QTextCharFormat m;
        m.setForeground(color);
        edit.mergeCurrentCharFormat(m);
    });
}

void TRichEditAttributes::ParagraphChange()
{
    int left = 0, first = 0, right = 0;
    const bool indents = BoxInt(cbLeftMargin, left) && BoxInt(cbFirstIndent, first);
    const bool hasRight = BoxInt(cbRightMargin, right);
    if (!indents && !hasRight)
        return;
    Change([&](QTextEdit& edit) {
        QTextBlockFormat m;
        if (indents) {
            m.setLeftMargin(PointsToLayout(left));
            SetFirstLineIndent(m, PointsToLayout(first));
        }
        if (hasRight)
            m.setRightMargin(PointsToLayout(right));
        edit.textCursor().mergeBlockFormat(m);
    });
}

void TRichEditAttributes::AlignmentChange()
{
    const Qt::Alignment a = btnAlignCenter->isChecked()  ? Qt::AlignHCenter
                            : btnAlignRight->isChecked() ? Qt::AlignRight
                                                         : Qt::AlignLeft;
    Change([a](QTextEdit& edit) {
        QTextBlockFormat m;
        m.setAlignment(a);
        edit.textCursor().mergeBlockFormat(m);
    });
}

void TRichEditAttributes::BulletsChange()
{
    const bool on = btnBullets->isChecked();
    Change([on](QTextEdit& edit) {
        QTextCursor cursor = edit.textCursor();
        QTextDocument* doc = edit.document();
        cursor.beginEditBlock();
        if (on) {
            QTextListFormat lf;
            lf.setStyle(QTextListFormat::ListDisc);
            lf.setIndent(0);
            cursor.createList(lf);   // every paragraph of the selection
        } else {
            const QTextBlock last = doc->findBlock(cursor.selectionEnd());
            for (QTextBlock b = doc->findBlock(cursor.selectionStart()); b.isValid(); b = b.next()) {
                if (QTextList* list = b.textList()) {
                    list->remove(b);
                    QTextCursor c(b);
                    QTextBlockFormat m;
                    m.setIndent(0);
                    c.mergeBlockFormat(m);
                }
                if (b == last)
                    break;
            }
        }
        cursor.endEditBlock();
    });
}

void TRichEditAttributes::UpdateFromSelection()
{
    if (FChanging || !FRichEdit)
        return;
    const QTextCharFormat f = FRichEdit->currentCharFormat();
    const QTextCursor cursor = FRichEdit->textCursor();
    const QTextBlockFormat bf = cursor.blockFormat();
    const QFont fallback = FRichEdit->document()->defaultFont();
    const QStringList families = f.fontFamilies().toStringList();
    const double size = f.fontPointSize() > 0 ? f.fontPointSize() : fallback.pointSizeF();

    const QSignalBlocker b1(cbFontName), b2(cbFontSize), b3(cbLeftMargin), b4(cbFirstIndent), b5(cbRightMargin);
    btnBold->setChecked(IsBold(f));
    btnItalic->setChecked(f.fontItalic());
    btnUnderline->setChecked(f.fontUnderline());
    btnStrikeOut->setChecked(f.fontStrikeOut());
    cbFontName->setEditText(families.isEmpty() ? fallback.family() : families.first());
    cbFontSize->setEditText(QString::number(size));
    cbLeftMargin->setEditText(PointsText(bf.leftMargin()));
    cbFirstIndent->setEditText(PointsText(FirstLineIndent(bf)));
    cbRightMargin->setEditText(PointsText(bf.rightMargin()));
    const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
    (a & Qt::AlignHCenter ? btnAlignCenter : a & Qt::AlignRight ? btnAlignRight : btnAlignLeft)->setChecked(true);
    btnBullets->setChecked(cursor.currentList() != nullptr);
}

void TRichEditAttributes::SetHoch(int value)
{
    FHoch = value;
    Arrange();
}

void TRichEditAttributes::Arrange()
{
    const bool twoRows = FHoch == 2;
    const int y = twoRows ? 30 : 4;
    if (twoRows) {
        cbLeftMargin->move(4, 31);
        cbFirstIndent->move(58, 31);
        cbRightMargin->move(112, 31);
        btnAlignLeft->move(172, y);
        btnAlignCenter->move(195, y);
        btnAlignRight->move(218, y);
        btnBullets->move(251, y);
    } else {
        cbLeftMargin->move(342, 4);
        cbFirstIndent->move(396, 4);
        cbRightMargin->move(450, 4);
        btnAlignLeft->move(508, 4);
        btnAlignCenter->move(531, 4);
        btnAlignRight->move(554, 4);
        btnBullets->move(581, 4);
    }
    const QSize size = twoRows ? QSize(338, 56) : FHoch == 4 ? QSize(240, 112) : QSize(609, 29);
    setFixedHeight(size.height());
    resize(size);
}
