#pragma once
// Screen saver and screen power as the X server sees them: screen-saver
// notify events of the MIT-SCREEN-SAVER extension, and the DPMS power level,
// which has no event and is read every few seconds.

#include <QObject>

#include <xcb/xcb.h>

class QTimer;
class XConnection;

namespace SystemSession {

class X11SessionWatcher : public QObject
{
    Q_OBJECT
public:
    static constexpr int kScreenPowerPollMs = 5000;

    // x must outlive the watcher.
    explicit X11SessionWatcher(XConnection* x, QObject* parent = nullptr);

    bool watchesScreenSaver() const { return m_saverEventBase >= 0; }
    bool watchesScreenPower() const { return m_powerTimer != nullptr; }

    // Takes one DPMS reading (what the poll does with the server's answer).
    void applyPowerLevel(bool dpmsEnabled, int level);

signals:
    void screenSaverChanged(bool active);
    void screensAsleepChanged(bool asleep);

private:
    void onEvent(xcb_generic_event_t* event);
    void pollPower();

    XConnection* m_x;
    int m_saverEventBase = -1;
    bool m_saverActive = false;
    QTimer* m_powerTimer = nullptr;
    bool m_screensAsleep = false;
};

}  // namespace SystemSession
