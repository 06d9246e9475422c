#include "console/uKanalvorlage.h"

#include "console/uMod_Lichtpult.h"
#include "framework/uErrorLog.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"

#include <QFileInfo>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {

const QString SectionAllgemein = QStringLiteral("Allgemein");

QString VorlageSection(int t)
{
    return QStringLiteral("Vorlage") + QString::number(t);
}

QString Key(const char* prefix, int n)
{
    return QLatin1String(prefix) + QString::number(n);
}

} // namespace

// ---------------------------------------------------------------------------
// TKanalvorlage

TKanalvorlage::TKanalvorlage(const QString& name) : Name(name)
{
    SetKanalzahl(1);
}

void TKanalvorlage::SetKanalzahl(int n)
{
    SetKanalzahlAusDatei(std::clamp(n, 1, MaxKanaele));
}

void TKanalvorlage::SetKanalzahlAusDatei(int n)
{
    // The lowest count keeps Letzter + 1 from overflowing; it is written back one higher.
    Letzter = n > MaxKanaele ? MaxKanaele - 1 : (n == INT_MIN ? INT_MIN : n - 1);
    while (static_cast<int>(FKanaele.size()) <= Letzter) {
        auto k = std::make_unique<TKanal>(ErsterVorlagenKanal + static_cast<int>(FKanaele.size()));
        k->OnChange = [this](TKanal* sender, int code) {
            if (OnKanalChange)
                OnKanalChange(sender, code);
        };
        FKanaele.push_back(std::move(k));
    }
}

TKanal* TKanalvorlage::Kanal(int i)
{
    return i >= 1 && i <= static_cast<int>(FKanaele.size()) ? FKanaele[static_cast<std::size_t>(i - 1)].get() : nullptr;
}

const TKanal* TKanalvorlage::Kanal(int i) const
{
    return i >= 1 && i <= static_cast<int>(FKanaele.size()) ? FKanaele[static_cast<std::size_t>(i - 1)].get() : nullptr;
}

// ---------------------------------------------------------------------------
// TKanalvorlagen

TKanalvorlage* TKanalvorlagen::Vorlage(int i) const
{
    return i >= 0 && i < Count() ? FVorlagen[static_cast<std::size_t>(i)].get() : nullptr;
}

TKanalvorlage& TKanalvorlagen::Append(std::unique_ptr<TKanalvorlage> v)
{
    v->OnKanalChange = [this](TKanal* k, int code) {
        if (OnKanalChange)
            OnKanalChange(k, code);
    };
    FVorlagen.push_back(std::move(v));
    return *FVorlagen.back();
}

TKanalvorlage& TKanalvorlagen::Add()
{
    return Append(std::make_unique<TKanalvorlage>());
}

void TKanalvorlagen::Delete(int i)
{
    if (i >= 0 && i < Count())
        FVorlagen.erase(FVorlagen.begin() + i);
}

void TKanalvorlagen::Clear()
{
    FVorlagen.clear();
}

void TKanalvorlagen::LoadFromFile(const QString& fileName)
{
    Clear();
    if (!QFileInfo::exists(fileName))
        return;
    const TStringIniFile ini(fileName);
    LoadFromIni(ini);
}

void TKanalvorlagen::LoadFromIni(const TStringIniFile& ini)
{
    Clear();
    int count = ini.ReadInteger(SectionAllgemein, QStringLiteral("Count"), 0);
    if (count > MaxVorlagen) {
        AddToErrorLog(2, QStringLiteral("Vorlagen.ini: %1 Vorlagen, nur die ersten %2 werden gelesen").arg(count).arg(MaxVorlagen));
        count = MaxVorlagen;
    }
    for (int t = 0; t < count; ++t) {
        const TIniKey section("Vorlage", t);
        auto v = std::make_unique<TKanalvorlage>();
        // A channel whose number ends no key of the section reads the defaults
        // without lookups; a template without a section (a count above the
        // sections) costs no lookup at all and, like a count of 0, uses no channel.
        std::vector<bool> held;
        v->SetKanalzahlAusDatei(0);
        if (ini.SectionExists(section)) {
            held = ini.KeyNumbers(section, TKanalvorlage::MaxKanaele);
            v->Name = ini.ReadString(section, u"Name", v->Name);
            v->SetKanalzahlAusDatei(ini.ReadInteger(section, u"Count", 0));
        }
        for (int n = 1; n <= v->Kanalzahl(); ++n) {
            TKanal& k = *v->Kanal(n);
            const bool keys = !held.empty() && held[static_cast<std::size_t>(n)];
            k.SetName(keys ? ini.ReadString(section, TIniKey("Name_", n), QString()) : QString());
            k.SetModus(keys ? ini.ReadInteger(section, TIniKey("Sta_", n), kmHTP) : kmHTP);
            k.SetIcon(keys ? ini.ReadInteger(section, TIniKey("Ic_", n), 0) : 0);
            k.SetVF(keys ? ini.ReadInteger(section, TIniKey("VF_", n), 0) : 0);
            k.SetHF(keys ? ini.ReadInteger(section, TIniKey("HF_", n), 0) : 0);
            k.SetFlash(keys ? ini.ReadInteger(section, TIniKey("Fl_", n), 255) : 255);
            k.SetBlackout(keys ? ini.ReadInteger(section, TIniKey("BO_", n), 0) : 0);
        }
        Append(std::move(v));
    }
}

QStringList TKanalvorlagen::SaveToLines() const
{
    QStringList lines;
    lines << QStringLiteral("[Allgemein]") << QStringLiteral("Count=") + QString::number(Count());
    for (int t = 0; t < Count(); ++t) {
        const TKanalvorlage& v = *FVorlagen[static_cast<std::size_t>(t)];
        lines << QString() << QLatin1Char('[') + VorlageSection(t) + QLatin1Char(']') << QStringLiteral("Name=") + v.Name
              << QStringLiteral("Count=") + QString::number(v.Kanalzahl());
        for (int n = 1; n <= v.Kanalzahl(); ++n) {
            const TKanal& k = *v.Kanal(n);
            lines << Key("Name_", n) + QLatin1Char('=') + k.Name
                  << Key("Sta_", n) + QLatin1Char('=') + QString::number(k.Modus)
                  << Key("Ic_", n) + QLatin1Char('=') + QString::number(k.Icon)
                  << Key("VF_", n) + QLatin1Char('=') + QString::number(k.VF)
                  << Key("HF_", n) + QLatin1Char('=') + QString::number(k.HF)
                  << Key("Fl_", n) + QLatin1Char('=') + QString::number(k.FlashPegel)
                  << Key("BO_", n) + QLatin1Char('=') + QString::number(k.BlackoutPegel);
        }
    }
    return lines;
}

void TKanalvorlagen::SaveToFile(const QString& fileName) const
{
    WriteTextFileAtomic(fileName, SaveToLines());
}

// ---------------------------------------------------------------------------

int InsertVorlage(const TKanalvorlage& v, TModuleLichtpult& pult, int anzahl, int start, int versatz)
{
    int set = 0;
    // Copies on the same channels again change nothing.
    const std::int64_t copies = versatz == 0 ? std::min(anzahl, 1) : anzahl;
    for (std::int64_t k = 0; k < copies; ++k) {
        const std::int64_t base = std::int64_t(start) + k * versatz;
        // Once a copy lies wholly outside the channels, every further one does too.
        if ((versatz > 0 && base > MaxKanal) || (versatz < 0 && base + v.Kanalzahl() - 1 < 1))
            break;
        for (int i = 1; i <= v.Kanalzahl(); ++i) {
            TKanal* ziel = nullptr;
            const std::int64_t nr = base + (i - 1);
            if (nr < 1 || nr > MaxKanal || !pult.FindKanal(static_cast<int>(nr), ziel))
                continue;
            const TKanal& quelle = *v.Kanal(i);
            ziel->SetName(quelle.Name);
            ziel->SetIcon(quelle.Icon);
            ziel->SetVF(quelle.VF);
            ziel->SetHF(quelle.HF);
            ziel->IconChanged();
            ++set;
        }
    }
    return set;
}
