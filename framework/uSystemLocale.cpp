#include "framework/uSystemLocale.h"

#include <QLocale>

#include <clocale>
#include <cstdlib>

namespace {

const char GermanLocale[] = "de_DE.UTF-8";

// The C library's categories besides the character type.
const int Categories[] = {LC_NUMERIC, LC_TIME, LC_COLLATE, LC_MONETARY, LC_MESSAGES};

}   // namespace

bool IsCLocaleName(const QByteArray& name)
{
    qsizetype end = name.size();
    for (qsizetype i = 0; i < name.size(); ++i)
        if (name[i] == '.' || name[i] == '@') {
            end = i;
            break;
        }
    const QByteArray base = name.left(end);
    return base.isEmpty() || base == "C" || base == "POSIX";
}

QByteArray NumericLocaleName()
{
    for (const char* var : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const QByteArray value = qgetenv(var);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

TGermanUnderC::TGermanUnderC()
{
    if (!IsCLocaleName(NumericLocaleName()))
        return;
    FActive = true;
    // What the C library takes from the environment as it stands.
    std::setlocale(LC_ALL, "");
    for (int c : Categories)
        if (const char* name = std::setlocale(c, nullptr))
            FCategories.emplace_back(c, name);
    FHadLcAll = qEnvironmentVariableIsSet("LC_ALL");
    FLcAll = qgetenv("LC_ALL");
    qputenv("LC_ALL", GermanLocale);
}

void TGermanUnderC::Finish()
{
    if (!FActive)
        return;
    // Qt reads the environment once, for its first system locale.
    (void)QLocale::system();
    if (FHadLcAll)
        qputenv("LC_ALL", FLcAll);
    else
        qunsetenv("LC_ALL");
    for (const auto& [category, name] : FCategories)
        std::setlocale(category, name.c_str());
}
