// The text-attribute panel offscreen on a real QTextEdit, driven through its named
// widgets; what it sets is checked in the document and through an RTF save.

#include "TestHelpers.h"

#include "cues/RichEditAttributes.h"
#include "cues/uRtf.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>

namespace {

class RichEditAttributesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Edit = std::make_unique<QTextEdit>();
        Edit->setPlainText(QStringLiteral("Eins zwei\nDrei"));
        Panel.SetRichEdit(Edit.get());
    }

    // Selects [from, to) of the text; the cursor ends at to.
    void Select(int from, int to)
    {
        QTextCursor c = Edit->textCursor();
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        Edit->setTextCursor(c);
    }
    QTextCharFormat At(int pos)
    {
        QTextCursor c(Edit->document());
        c.setPosition(pos + 1);
        return c.charFormat();
    }
    QTextBlock Block(int n) { return Edit->document()->findBlockByNumber(n); }
    static void Type(QComboBox* box, const QString& text)
    {
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), text);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    }

    std::unique_ptr<QTextEdit> Edit;
    TRichEditAttributes Panel;
};

}   // namespace

TEST_F(RichEditAttributesTest, StyleButtonsFollowTheEditorsAnswerAndTouchOnlyTheirStyle)
{
    Select(0, 4);   // "Eins" italic
    QTest::mouseClick(Panel.btnItalic, Qt::LeftButton);
    Select(5, 9);   // "zwei" bold
    QTest::mouseClick(Panel.btnBold, Qt::LeftButton);
    EXPECT_TRUE(At(5).fontWeight() >= QFont::Bold);
    EXPECT_TRUE(Panel.btnBold->isChecked());

    // Mixed selection ending in bold: the editor answers bold, so a click removes it everywhere.
    Select(0, 9);
    EXPECT_TRUE(Panel.btnBold->isChecked());
    QTest::mouseClick(Panel.btnBold, Qt::LeftButton);
    for (int pos : {0, 5, 8})
        EXPECT_EQ(At(pos).fontWeight(), QFont::Normal) << pos;
    EXPECT_TRUE(At(0).fontItalic());   // italic of "Eins" stays, "zwei" does not become italic
    EXPECT_FALSE(At(5).fontItalic());
    EXPECT_FALSE(Panel.btnBold->isChecked());

    Select(10, 14);
    for (QToolButton* b : {Panel.btnUnderline, Panel.btnStrikeOut})
        QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_TRUE(At(10).fontUnderline());
    EXPECT_TRUE(At(13).fontStrikeOut());
    EXPECT_TRUE(Panel.btnUnderline->isChecked() && Panel.btnStrikeOut->isChecked());
}

TEST_F(RichEditAttributesTest, BoxesApplyWholeNumbersOnlyAndShowThemAgain)
{
    Select(0, 4);
    Type(Panel.cbFontSize, "12x");
    EXPECT_NE(At(0).fontPointSize(), 12.0);
    Type(Panel.cbFontSize, "12");
    EXPECT_EQ(At(0).fontPointSize(), 12.0);
    for (const char* outOfRange : {"0", "1639", "-5"})
        Type(Panel.cbFontSize, outOfRange);
    EXPECT_EQ(At(0).fontPointSize(), 12.0);
    EXPECT_EQ(At(3).fontPointSize(), 12.0);
    EXPECT_NE(At(5).fontPointSize(), 12.0);
    Type(Panel.cbFontName, "Courier");
    EXPECT_EQ(At(0).fontFamilies().toStringList().value(0), "Courier");

    // Left 20 and first line -10: first line at 10, following lines at 20 points.
    Panel.cbLeftMargin->setEditText("20");
    Type(Panel.cbFirstIndent, "-10");
    Type(Panel.cbRightMargin, "30");
    const QTextBlockFormat bf = Block(0).blockFormat();
    EXPECT_EQ(LayoutToTwips(bf.leftMargin()), 400);
    EXPECT_EQ(LayoutToTwips(bf.textIndent()), -200);
    EXPECT_EQ(LayoutToTwips(bf.rightMargin()), 600);
    EXPECT_EQ(LayoutToTwips(Block(1).blockFormat().leftMargin()), 0);
    Type(Panel.cbLeftMargin, "x");   // not a number: the indents stay
    EXPECT_EQ(LayoutToTwips(Block(0).blockFormat().leftMargin()), 400);

    Select(11, 11);
    EXPECT_EQ(Panel.cbLeftMargin->currentText(), "0");
    Select(1, 2);
    EXPECT_EQ(Panel.cbLeftMargin->currentText(), "20");
    EXPECT_EQ(Panel.cbFirstIndent->currentText(), "-10");
    EXPECT_EQ(Panel.cbRightMargin->currentText(), "30");
    EXPECT_EQ(Panel.cbFontSize->currentText(), "12");
    EXPECT_EQ(Panel.cbFontName->currentText(), "Courier");
    EXPECT_TRUE(SaveRichText(*Edit->document()).contains("\\fi-200\\li400\\ri600"));
}

TEST_F(RichEditAttributesTest, AlignmentBulletsAndColour)
{
    QTest::mouseClick(Panel.btnAlignCenter, Qt::LeftButton);
    Select(0, 0);
    EXPECT_TRUE(Block(0).blockFormat().alignment() & Qt::AlignHCenter);
    Select(11, 11);
    EXPECT_TRUE(Panel.btnAlignLeft->isChecked());
    QTest::mouseClick(Panel.btnAlignRight, Qt::LeftButton);
    EXPECT_TRUE(Block(1).blockFormat().alignment() & Qt::AlignRight);
    Select(0, 0);
    EXPECT_TRUE(Panel.btnAlignCenter->isChecked() && !Panel.btnAlignRight->isChecked());

    Select(2, 12);   // both paragraphs
    QTest::mouseClick(Panel.btnBullets, Qt::LeftButton);
    ASSERT_TRUE(Block(0).textList());
    EXPECT_EQ(Block(0).textList(), Block(1).textList());
    const QByteArray rtf = SaveRichText(*Edit->document());
    EXPECT_EQ(rtf.count("{\\pntext"), 2);
    Select(12, 12);
    EXPECT_TRUE(Panel.btnBullets->isChecked());
    QTest::mouseClick(Panel.btnBullets, Qt::LeftButton);
    EXPECT_FALSE(Block(1).textList());
    EXPECT_TRUE(Block(0).textList());

    TScriptedPrompts prompts;
    prompts.ColorAnswers = {0x0000FF, 10};   // 0x00BBGGRR: red; then the value 10 as a plain colour
    Select(0, 4);
    QTest::mouseClick(Panel.btnColor, Qt::LeftButton);
    EXPECT_EQ(At(0).foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(At(5).foreground().style(), Qt::NoBrush);
    QTest::mouseClick(Panel.btnColor, Qt::LeftButton);
    EXPECT_EQ(At(0).foreground().color(), QColor(10, 0, 0));
    QTest::mouseClick(Panel.btnColor, Qt::LeftButton);   // cancelled: unchanged
    EXPECT_EQ(At(0).foreground().color(), QColor(10, 0, 0));
}

TEST_F(RichEditAttributesTest, ReflectsALoadedScriptAndBracketsEveryChange)
{
    LoadRichText(*Edit->document(),
                 "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}\\pard\\f0\\fs20 a\\par"
                 "\\pard\\qc\\li720\\fi-360\\ri240{\\*\\pn\\pnlvlblt}\\f1\\fs28\\i\\ul\\strike Mitte\\par}");
    Select(4, 5);
    EXPECT_EQ(Panel.cbFontName->currentText(), "Times New Roman");
    EXPECT_EQ(Panel.cbFontSize->currentText(), "14");
    EXPECT_EQ(Panel.cbLeftMargin->currentText(), "36");
    EXPECT_EQ(Panel.cbFirstIndent->currentText(), "-18");
    EXPECT_EQ(Panel.cbRightMargin->currentText(), "12");
    EXPECT_TRUE(Panel.btnAlignCenter->isChecked());
    EXPECT_TRUE(Panel.btnBullets->isChecked());
    EXPECT_TRUE(Panel.btnItalic->isChecked() && Panel.btnUnderline->isChecked() && Panel.btnStrikeOut->isChecked());
    EXPECT_FALSE(Panel.btnBold->isChecked());
    Select(0, 1);
    EXPECT_EQ(Panel.cbFontSize->currentText(), "10");
    EXPECT_FALSE(Panel.btnBullets->isChecked() || Panel.btnItalic->isChecked());

    int before = 0, after = 0;
    QObject::connect(&Panel, &TRichEditAttributes::OnBeforeChange, [&] {
        EXPECT_TRUE(Panel.Changing());
        ++before;
    });
    QObject::connect(&Panel, &TRichEditAttributes::OnAfterChange, [&] { ++after; });
    QTest::mouseClick(Panel.btnBold, Qt::LeftButton);
    Type(Panel.cbFontSize, "18");
    EXPECT_EQ(before, 2);
    EXPECT_EQ(after, 2);
    EXPECT_FALSE(Panel.Changing());

    // The editor destroyed first: the panel stays, and every change does nothing.
    Edit.reset();
    EXPECT_EQ(Panel.RichEdit(), nullptr);
    QTest::mouseClick(Panel.btnItalic, Qt::LeftButton);
    QTest::mouseClick(Panel.btnBullets, Qt::LeftButton);
    Type(Panel.cbFontSize, "9");
    Panel.UpdateFromSelection();
    EXPECT_EQ(before, 2);
}
