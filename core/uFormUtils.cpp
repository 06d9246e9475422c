#include "core/uFormUtils.h"

#include "core/uErrorLog.h"
#include "core/uMod_Main.h"
#include "core/uUtils.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

void LoadFormPosition(QWidget* form)
{
    if (!form || !SettingsIni)
        return;
    const QRect r = ReadFormPosition(*SettingsIni, form->objectName(), QRect(form->pos(), form->size()));
    form->move(r.left(), r.top());
    form->resize(r.width(), r.height());
}

void SaveFormPosition(QWidget* form)
{
    if (!form || !SettingsIni)
        return;
    WriteFormPosition(*SettingsIni, form->objectName(), QRect(form->pos(), form->size()));
}

QList<QAction*> AddShowMenuItems(QMenu* parent, const QString& caption, int tag, const std::function<void(int tag)>& handler)
{
    QList<QAction*> items;
    if (!parent)
        return items;
    const QString suffixes[] = {QStringLiteral(" anzeigen"), QStringLiteral(" auf den primären Screen anzeigen")};
    for (int i = 0; i < 2; ++i) {
        auto* a = parent->addAction(caption + suffixes[i]);
        const int t = tag + 100 * i;
        a->setData(t);
        QObject::connect(a, &QAction::triggered, a, [handler, t] { Guarded([&] { handler(t); }); });
        items << a;
    }
    return items;
}
