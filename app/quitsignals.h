#pragma once
// Turns SIGTERM and SIGINT (a session log-out, Ctrl+C) into a call on the
// GUI thread, through a self-pipe, so the normal shut-down runs.

#include <QObject>
#include <functional>

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

private slots:
    void readSignal();

private:
    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};
