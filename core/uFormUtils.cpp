#include "core/uFormUtils.h"

#include "core/uMod_Main.h"
#include "core/uUtils.h"

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
