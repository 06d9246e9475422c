#include "framework/uFormUtils.h"

#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uUtils.h"

#include <QAction>
#include <QDialog>
#include <QEvent>
#include <QHash>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTextBlock>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace {

// Discards typed characters other than digits and backspace. Keys without text
// (arrows, Delete) and shortcuts pass.
class TDigitsOnlyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const QString text = key->text();
            if (!text.isEmpty() && key->key() != Qt::Key_Backspace &&
                !(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
                for (QChar c : text)
                    if (c < u'0' || c > u'9')
                        return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

QHash<QString, TDialogRunner>& DialogRunners()
{
    static QHash<QString, TDialogRunner> runners;
    return runners;
}

} // namespace

void DockInto(QWidget* child, QWidget* panel)
{
    if (!child || !panel || child->parentWidget() == panel)
        return;
    QLayout* layout = panel->layout();
    if (!layout) {
        layout = new QVBoxLayout(panel);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    layout->addWidget(child);   // reparents; the old parent's layout lets go of it
    child->show();
}

void AcceptTypedDigitsOnly(QLineEdit* edit)
{
    edit->installEventFilter(new TDigitsOnlyFilter(edit));
}

int RunDialog(QDialog& dialog)
{
    const TDialogRunner runner = DialogRunners().value(dialog.objectName());
    if (!runner)
        return dialog.exec();
    dialog.show();
    const int result = runner(dialog);
    dialog.hide();
    return result;
}

void SetDialogRunner(const QString& objectName, TDialogRunner runner)
{
    if (runner)
        DialogRunners().insert(objectName, std::move(runner));
    else
        DialogRunners().remove(objectName);
}

void LoadFormPosition(QWidget* form, QPoint topLeft)
{
    if (!form || !SettingsIni)
        return;
    const QRect r = ReadFormPosition(*SettingsIni, form->objectName(), QRect(form->pos(), form->size()), topLeft);
    form->move(r.left(), r.top());
    form->resize(r.width(), r.height());
}

namespace {

std::function<QPoint()>& FloatingWindowOrigin()
{
    static std::function<QPoint()> origin;
    return origin;
}

} // namespace

QPoint FloatingWindowPlace(int n)
{
    constexpr int Step = 24;
    constexpr int Steps = 8;
    const QPoint origin = FloatingWindowOrigin() ? FloatingWindowOrigin()() : QPoint(4, 4);
    const int k = (std::max(n, 1) - 1) % Steps;
    return origin + QPoint(Step * k, Step * k);
}

void SetFloatingWindowOrigin(std::function<QPoint()> origin)
{
    FloatingWindowOrigin() = std::move(origin);
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

void ShowWindowRaised(QWidget* window, bool topLeft)
{
    if (!window)
        return;
    if (topLeft) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        window->move((screen ? screen->geometry().topLeft() : QPoint()) + QPoint(4, 4));
    }
    window->show();
    window->raise();
    window->activateWindow();
}
