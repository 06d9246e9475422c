#include "console/uMod_Lichtpult.h"

#include "framework/uErrors.h"

#include <QMetaMethod>

// ---------------------------------------------------------------------------
// TLichtpultSignals

TLichtpultSignals::TLichtpultSignals(QObject* parent) : QObject(parent) {}

void TLichtpultSignals::connectNotify(const QMetaMethod& signal)
{
    (void)signal;
    FStale.store(true, std::memory_order_release);
}

void TLichtpultSignals::disconnectNotify(const QMetaMethod& signal)
{
    (void)signal;
    FStale.store(true, std::memory_order_release);
}

void TLichtpultSignals::Refresh()
{
    FStale.store(false, std::memory_order_release);
    static const QMetaMethod kanal = QMetaMethod::fromSignal(&TLichtpultSignals::kanalChanged);
    static const QMetaMethod tick = QMetaMethod::fromSignal(&TLichtpultSignals::tickDone);
    static const QMetaMethod prozent = QMetaMethod::fromSignal(&TLichtpultSignals::prozentChanged);
    FObserved[0] = isSignalConnected(kanal);
    FObserved[1] = isSignalConnected(tick);
    FObserved[2] = isSignalConnected(prozent);
}

// ---------------------------------------------------------------------------
// TModuleLichtpult

TModuleLichtpult::TModuleLichtpult()
    : FSignals(std::make_unique<TLichtpultSignals>()), FRandom(std::random_device{}())
{
    Tag = QChar('D');
    Name = QStringLiteral("Lichtpult");

    ResetKategorien();
    LichtpultFenster.push_back(0);   // window 0 is docked into the main window

    Kanaele.reserve(MaxKanal + 1);   // never grows afterwards: channels keep their addresses
    for (int nr = 0; nr <= MaxKanal; ++nr)
        Kanaele.emplace_back(nr);
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        Kanaele[static_cast<std::size_t>(nr)].OnChange = [this](TKanal* k, int code) {
            TLichtpultSignals* s = FSignals.get();
            if (s->KanalObserved())
                emit s->kanalChanged(k->Nr, code);
        };
    }

    NewProject();
    Grandmaster = 255;
}

TModuleLichtpult::~TModuleLichtpult() = default;

TKanal& TModuleLichtpult::GetKanal(int nr)
{
    if (nr < 1 || nr > MaxKanal)
        throw EPvError(QStringLiteral("Kanal %1 existiert nicht.").arg(nr));
    return Kanaele[static_cast<std::size_t>(nr)];
}

bool TModuleLichtpult::FindKanal(int nr, TKanal*& k)
{
    if (nr < 1 || nr > MaxKanal) {
        k = nullptr;
        return false;
    }
    k = &Kanaele[static_cast<std::size_t>(nr)];
    return true;
}

// ---------------------------------------------------------------------------
// Operations on all channels

void TModuleLichtpult::SetPegelFromArray(const TLevelArray& levels)
{
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        if (k.Modus == kmHTP || k.Modus == kmLTP)
            k.SetPegel(levels[static_cast<std::size_t>(nr)]);
    }
}

void TModuleLichtpult::BlackOut()
{
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        if (k.Modus == kmHTP || k.Modus == kmLTP)
            k.SetPegel(k.BlackoutPegel);
    }
}

void TModuleLichtpult::SetGrandmaster(int v)
{
    Grandmaster = ClampInt(v, 0, 255);
}

void TModuleLichtpult::SetProzent(bool v)
{
    Prozent = v;
    if (FSignals->ProzentObserved())
        emit FSignals->prozentChanged(v);
}

QString TModuleLichtpult::FormatLevel(int v) const
{
    return QString::number(Prozent ? LevelToPercent(v) : v);
}

// ---------------------------------------------------------------------------
// Commands

void TModuleLichtpult::ExecuteCommand(QStringList& tokens, std::uint8_t remote)
{
    (void)remote;
    if (tokens.isEmpty() || tokens.at(0).isEmpty())
        return;
    tokens[0] = UpperAscii(tokens.at(0));
    const QChar letter = tokens.at(0).at(0);
    if (letter == QLatin1Char('F'))
        return;   // F lines are accepted and have no effect
    if (letter == QLatin1Char('K'))
        ExecuteKanalCommand(tokens);
}

void TModuleLichtpult::ExecuteKanalCommand(const QStringList& tokens)
{
    TKanal* k = nullptr;
    if (!FindKanal(GetTokenInt(tokens, 0), k))
        return;
    ForEachSubToken(tokens, [&](char16_t letter, int v) {
        switch (letter) {
        case '%': k->SetPegel(PercentToLevel(v)); break;
        case 'L':
        case 'P': k->SetPegel(v); break;
        case 'F': k->SetFlash(v); break;
        case 'B': k->SetBlackout(v); break;
        case 'I': k->SetIcon(v); break;
        case 'V': k->SetVF(v); break;
        case 'H': k->SetHF(v); break;
        case 'S': k->SetModus(v); break;
        case 'G': k->SetBlinkPeriod(v); break;
        case 'A': k->SetBlinkDuty(v); break;
        case 'W': k->SetBlinkPhase(v); break;
        default: break;
        }
    });
}

