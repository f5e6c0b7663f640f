#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal delivered by the event loop, so a
// program can shut down in order. The handler itself only writes one byte to a
// pipe.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    // Holds SIGINT and SIGTERM back until a TerminationSignals exists, so that
    // one arriving while the program is still starting up ends it in order
    // rather than killing it. Call first thing in main, before any thread is
    // started; threads started later keep them blocked.
    static void holdUntilHandled();

    // Installs the handlers and lets held signals through.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    bool isValid() const { return notifier_ != nullptr; }

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void install();
    void readSignal();
    QSocketNotifier* notifier_ = nullptr;
};
