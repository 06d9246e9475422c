#pragma once
// The program's locale. Numbers, dates and Qt's dialogs follow the system
// locale. Where that is C or POSIX (a fresh system, a service) nobody chose
// one, and they follow German (de_DE), the language of the whole interface.

#include <QByteArray>

#include <string>
#include <utility>
#include <vector>

// True for the names of the C locale: empty, "C" or "POSIX", with or without a
// codeset or modifier ("C.UTF-8", "POSIX@x").
bool IsCLocaleName(const QByteArray& name);

// The locale name Qt takes numbers from: LC_ALL, else LC_NUMERIC, else LANG.
QByteArray NumericLocaleName();

// Made before the application object: under a C locale, Qt's system locale
// becomes German. Finish, once the application object exists, fixes that for
// the program's life and gives the environment and the C library's categories
// (all but the character type, which Qt sets itself) back what they held, so
// that C library calls and child processes behave as before.
class TGermanUnderC {
public:
    TGermanUnderC();
    TGermanUnderC(const TGermanUnderC&) = delete;
    TGermanUnderC& operator=(const TGermanUnderC&) = delete;
    void Finish();
    // German replaces the C locale.
    bool Active() const { return FActive; }

private:
    bool FActive = false;
    bool FHadLcAll = false;
    QByteArray FLcAll;
    std::vector<std::pair<int, std::string>> FCategories;
};
