#pragma once
// Turns SIGTERM and SIGINT into a call on the GUI thread, so that the program
// closes its main window the same way as the "Beenden" menu item does. The
// signal handler only writes a byte to a pipe; the event loop reads it.

#include <QObject>
#include <functional>

class QSocketNotifier;

class TSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit TSignalWatcher(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~TSignalWatcher() override;

private:
    void ReadSignal();
    std::function<void(int)> FOnSignal;
    QSocketNotifier* FNotifier = nullptr;
};
