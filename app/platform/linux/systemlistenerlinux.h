#pragma once
// The session listener on Linux. It watches:
//  - sleep and wake: logind's PrepareForSleep on the system bus;
//  - screen lock: the login session's LockedHint and its Lock/Unlock signals;
//  - screen saver: ActiveChanged of the session bus's screen-saver service
//    and the X server's screen-saver events (one code per change, whichever
//    reports it first);
//  - screen power: the X server's DPMS level;
//  - on request, every 2 seconds, the user's processes and the titles of the
//    windows on screen; one scan of the titles serves both title lists (the
//    camera pause's and the program pause's); the program's own windows are
//    not among them.
// Whatever it cannot reach (no system bus, no session bus, no X display) is
// logged once at start-up and simply not watched.

#include "app/platform/systemsession.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QDBusPendingCallWatcher;
class QTimer;
class XConnection;

namespace SystemSession {

class X11SessionWatcher;

class SystemListenerLinux : public EventFilter
{
    Q_OBJECT
public:
    static constexpr int kCheckIntervalMs = 2000;

    // Where the listener looks. Empty addresses mean the machine's system
    // bus, the session bus and $DISPLAY.
    struct Sources {
        QString systemBusAddress;
        QString sessionBusAddress;
        QByteArray xDisplay;
        QString procRoot = QStringLiteral("/proc");
    };

    SystemListenerLinux();
    explicit SystemListenerLinux(const Sources& sources);
    ~SystemListenerLinux() override;

    // Never consumes an event; everything arrives through our own connections.
    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

    bool isCheckTimerActive() const;

public slots:
    void enableWindowsTitleListener(bool on) override;
    void enablePauseTitleListener(bool on) override;
    void enableProcessListener(bool on) override;
    void setTitlesToCheck(QString text) override;
    void setPauseTitlesToCheck(QString text) override;
    void setProcessesToCheck(QString text) override;
    void checkProcessesAndWindowsTitles() override;

private slots:
    void onPrepareForSleep(bool start);
    void onSessionFound(QDBusPendingCallWatcher* call);
    void onSessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                    const QStringList& invalidated);
    void onLock();
    void onUnlock();
    void onScreenSaverActiveChanged(bool active);
    void onScreensAsleepChanged(bool asleep);

private:
    void report(int code);
    void setLocked(bool locked);
    void updateTimer();
    void watchSystemBus(const QString& address);
    void watchSessionBus(const QString& address);
    void watchX(const QByteArray& display);

    QStringList m_processesToCheck;
    QStringList m_titlesToCheck;
    QStringList m_pauseTitlesToCheck;
    QStringList m_windowTitles;
    QStringList m_processes;
    QTimer* m_timer = nullptr;
    bool m_processCheckOn = false;
    bool m_titleCheckOn = false;
    bool m_pauseTitleCheckOn = false;

    QString m_procRoot;
    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    QString m_sessionPath;
    XConnection* m_x = nullptr;
    X11SessionWatcher* m_xWatcher = nullptr;

    bool m_locked = false;
    bool m_screenSaverActive = false;
};

}  // namespace SystemSession
