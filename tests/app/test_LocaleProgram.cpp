// The real program's numbers under the locale it is started with: a real
// locale rules them; where none was chosen (C, POSIX, nothing set) they are
// German. Read off the patch page through a plug-in that reports its labels.

#include "TestHelpers.h"

#include <QFile>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// The text of the label named name, as the program last reported it.
QString ShownText(const QString& probeFile, const QString& name)
{
    QFile f(probeFile);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (text.startsWith(name + u'\t'))
            return text.mid(name.size() + 1);
    }
    return {};
}

}   // namespace

TEST(LocaleProgram, NumbersAreGermanWhereNoLocaleWasChosen)
{
    const struct {
        const char* LcAll;
        const char* Lang;
        const char* Percent;
    } cases[] = {
        {"C.UTF-8", "de_DE.UTF-8", "0,0 %"},   // LC_ALL rules LANG
        {"", "", "0,0 %"},                     // nothing set
        {"", "C", "0,0 %"},
        {"POSIX", "", "0,0 %"},
        {"", "en_US.UTF-8", "0.0 %"},   // a real locale keeps ruling
        {"en_US.UTF-8", "C", "0.0 %"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.LcAll) + "/" + c.Lang);
        TTempProgramDir dir;
        const QString probe = dir.File("labels.txt");
        TProgramProcess program(dir, {{"LC_ALL", c.LcAll},
                                      {"LC_NUMERIC", ""},
                                      {"LANG", c.Lang},
                                      {"QT_PLUGIN_PATH", PV_QT_TEST_PLUGINS},
                                      {"QT_QPA_GENERIC_PLUGINS", "pvprobe"},
                                      {"PV_WIDGET_PROBE", probe}});
        ASSERT_TRUE(program.WaitForClock()) << program.Stderr().toStdString();
        EXPECT_TRUE(WaitFor([&] { return !ShownText(probe, "lblPegelInProz").isEmpty(); }, 30000));
        EXPECT_EQ(ShownText(probe, "lblPegelInProz").toStdString(), c.Percent);
        EXPECT_EQ(ShownText(probe, "lblPegelOutProz").toStdString(), c.Percent);
        const TProgramProcess::TResult r = program.Stop(SIGTERM);
        EXPECT_EQ(r.ExitCode, 0) << r.Stderr.toStdString();
    }
}
