// A Qt generic plug-in that tests load into the real program (QT_PLUGIN_PATH,
// QT_QPA_GENERIC_PLUGINS=pvprobe): five times a second it writes the text of
// every named label, "objectName<TAB>text" a line, to the file that
// PV_WIDGET_PROBE names, so that a test can read what the program shows.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGenericPlugin>
#include <QLabel>
#include <QTimer>

namespace {

class TWidgetProbe : public QObject {
public:
    explicit TWidgetProbe(const QString& file) : FFile(file)
    {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &TWidgetProbe::Write);
        timer->start(200);
    }

private:
    void Write()
    {
        QByteArray text;
        for (QWidget* w : QApplication::allWidgets())
            if (auto* label = qobject_cast<QLabel*>(w); label && !label->objectName().isEmpty())
                text += label->objectName().toUtf8() + '\t' + label->text().toUtf8() + '\n';
        QFile out(FFile + QStringLiteral(".neu"));
        if (out.open(QIODevice::WriteOnly) && out.write(text) == text.size()) {
            out.close();
            QFile::remove(FFile);
            out.rename(FFile);
        }
    }
    QString FFile;
};

}   // namespace

class TWidgetProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "widget_probe.json")
public:
    QObject* create(const QString&, const QString&) override
    {
        const QString file = qEnvironmentVariable("PV_WIDGET_PROBE");
        return file.isEmpty() ? nullptr : new TWidgetProbe(file);
    }
};

#include "widget_probe.moc"
