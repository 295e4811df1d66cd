#pragma once
// Turns SIGTERM, SIGINT and SIGHUP (a session log-out, Ctrl+C, the closing
// of the terminal the program runs in) into a call on the GUI thread, so
// the normal shut-down runs: the signal handler writes the signal's number
// into one end of a socket pair, and the event loop reads it from the other.
// SIGHUP stays ignored when the program was started ignoring it (nohup).

#include <QObject>
#include <functional>
#include <signal.h>

class QSocketNotifier;

class QuitSignals : public QObject
{
    Q_OBJECT
public:
    // Installs the handlers; onSignal runs on the thread that owns this
    // object, once per delivered signal.
    explicit QuitSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~QuitSignals() override;

    bool isInstalled() const { return m_notifier != nullptr; }

    static constexpr int kSignals = 3;

private slots:
    void readSignal();

private:
    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previous[kSignals] {};  // restored by the destructor
};
