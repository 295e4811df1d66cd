#include "app/platform/linux/systemlistenerlinux.h"

#include "app/platform/linux/processlist.h"
#include "app/platform/x11/windowtitles.h"
#include "app/platform/x11/x11sessionwatcher.h"
#include "app/platform/x11/xconnection.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QTimer>

namespace SystemSession {

namespace {

const char kLogindService[] = "org.freedesktop.login1";
const char kLogindPath[] = "/org/freedesktop/login1";
const char kLogindManager[] = "org.freedesktop.login1.Manager";
const char kLogindSession[] = "org.freedesktop.login1.Session";
const char kProperties[] = "org.freedesktop.DBus.Properties";

// The desktops' screen-saver services all send ActiveChanged(bool); the
// object path differs between them, so any path is accepted.
const char* const kScreenSaverInterfaces[] = {
    "org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver", "org.mate.ScreenSaver",
    "org.cinnamon.ScreenSaver", "org.xfce.ScreenSaver",
};

const char* debugLine(int code)
{
    switch (code) {
    case 0: return "**********Session: user locked the screen";
    case 1: return "***********Session: user unlocked the screen";
    case 2: return "****************Session: machine goes to sleep";
    case 3: return "**************Session: machine wakes from sleep";
    case 4: return "*********Session: SCREEN wake";
    case 5: return "*********Session: SCREEN goes to sleep";
    case 6: return "*********Session: SCREEN SAVER on";
    case 7: return "*********Session: SCREEN SAVER off";
    default: return nullptr;
    }
}

QStringList lowerCasedEntries(const QString& text)
{
    return text.toLower().split(QLatin1Char(';'));  // empty parts are kept
}

// Whether any window title contains a non-empty entry.
bool anyTitleContains(const QStringList& titles, const QStringList& entries)
{
    for (const QString& entry : entries) {
        if (entry.isEmpty())
            continue;
        for (const QString& title : titles)
            if (title.contains(entry))
                return true;
    }
    return false;
}

QDBusConnection openBus(QDBusConnection::BusType type, const QString& address, const QString& name)
{
    if (address.isEmpty())
        return type == QDBusConnection::SystemBus ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
    return QDBusConnection::connectToBus(address, name);
}

QString busText(const QString& address)
{
    return address.isEmpty() ? QStringLiteral(":") : QStringLiteral(" at %1:").arg(address);
}

QString uniqueName(const char* what, const void* owner)
{
    return QStringLiteral("lumora-%1-%2").arg(QLatin1String(what)).arg(quintptr(owner), 0, 16);
}

}  // namespace

EventFilter* EventFilter::create()
{
    return new SystemListenerLinux();
}

SystemListenerLinux::SystemListenerLinux() : SystemListenerLinux(Sources()) {}

SystemListenerLinux::SystemListenerLinux(const Sources& sources)
    : m_procRoot(sources.procRoot),
      m_systemBus(openBus(QDBusConnection::SystemBus, sources.systemBusAddress, uniqueName("system", this))),
      m_sessionBus(openBus(QDBusConnection::SessionBus, sources.sessionBusAddress, uniqueName("session", this)))
{
    m_timer = new QTimer(this);
    m_timer->setInterval(kCheckIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &SystemListenerLinux::checkProcessesAndWindowsTitles);

    watchSystemBus(sources.systemBusAddress);
    watchSessionBus(sources.sessionBusAddress);
    watchX(sources.xDisplay);
}

SystemListenerLinux::~SystemListenerLinux()
{
    // Private connections made for an injected address end with the listener.
    if (m_systemBus.name() == uniqueName("system", this))
        QDBusConnection::disconnectFromBus(m_systemBus.name());
    if (m_sessionBus.name() == uniqueName("session", this))
        QDBusConnection::disconnectFromBus(m_sessionBus.name());
}

void SystemListenerLinux::watchSystemBus(const QString& address)
{
    if (!m_systemBus.isConnected()) {
        qWarning().noquote() << "SystemListenerLinux::watchSystemBus() no system bus" + busText(address)
                             << "sleep, wake and screen lock are not watched";
        return;
    }
    m_systemBus.connect(QString(), kLogindPath, kLogindManager, QStringLiteral("PrepareForSleep"), this,
                        SLOT(onPrepareForSleep(bool)));

    // The lock state belongs to our login session; find its object first.
    const QString sessionId = qEnvironmentVariable("XDG_SESSION_ID", QStringLiteral("auto"));
    QDBusMessage call = QDBusMessage::createMethodCall(kLogindService, kLogindPath, kLogindManager,
                                                       QStringLiteral("GetSession"));
    call << sessionId;
    auto* watcher = new QDBusPendingCallWatcher(m_systemBus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &SystemListenerLinux::onSessionFound);
}

void SystemListenerLinux::onSessionFound(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError()) {
        qWarning().noquote() << "SystemListenerLinux::onSessionFound() no login session:"
                             << reply.error().message() << "; screen lock is not watched";
        return;
    }
    m_sessionPath = reply.value().path();
    m_systemBus.connect(QString(), m_sessionPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                        SLOT(onSessionPropertiesChanged(QString, QVariantMap, QStringList)));
    m_systemBus.connect(QString(), m_sessionPath, kLogindSession, QStringLiteral("Lock"), this, SLOT(onLock()));
    m_systemBus.connect(QString(), m_sessionPath, kLogindSession, QStringLiteral("Unlock"), this, SLOT(onUnlock()));
    qDebug().noquote() << "SystemListenerLinux::onSessionFound() watching" << m_sessionPath;
}

void SystemListenerLinux::watchSessionBus(const QString& address)
{
    if (!m_sessionBus.isConnected()) {
        qWarning().noquote() << "SystemListenerLinux::watchSessionBus() no session bus" + busText(address)
                             << "the screen-saver service is not watched";
        return;
    }
    for (const char* interface : kScreenSaverInterfaces)
        m_sessionBus.connect(QString(), QString(), QLatin1String(interface), QStringLiteral("ActiveChanged"), this,
                             SLOT(onScreenSaverActiveChanged(bool)));
}

void SystemListenerLinux::watchX(const QByteArray& display)
{
    m_x = new XConnection(display, this);
    if (!m_x->isValid()) {
        qWarning().noquote() << "SystemListenerLinux::watchX() no X display: X screen saver, screen power"
                             << "and window titles are not watched";
        return;
    }
    m_xWatcher = new X11SessionWatcher(m_x, this);
    connect(m_xWatcher, &X11SessionWatcher::screenSaverChanged, this,
            &SystemListenerLinux::onScreenSaverActiveChanged);
    connect(m_xWatcher, &X11SessionWatcher::screensAsleepChanged, this,
            &SystemListenerLinux::onScreensAsleepChanged);
    if (!m_xWatcher->watchesScreenSaver())
        qWarning() << "SystemListenerLinux::watchX() the X server has no screen-saver extension";
    if (!m_xWatcher->watchesScreenPower())
        qWarning() << "SystemListenerLinux::watchX() the X server has no DPMS: screen power is not watched";
}

bool SystemListenerLinux::nativeEventFilter(const QByteArray&, void*, long*)
{
    return false;
}

bool SystemListenerLinux::isCheckTimerActive() const
{
    return m_timer->isActive();
}

void SystemListenerLinux::report(int code)
{
    qDebug() << debugLine(code);
    emit sessionChangeDetected(code);
}

void SystemListenerLinux::onPrepareForSleep(bool start)
{
    report(start ? 2 : 3);
}

void SystemListenerLinux::setLocked(bool locked)
{
    // The Lock request and the locker's LockedHint tell of the same lock.
    if (locked == m_locked)
        return;
    m_locked = locked;
    report(locked ? 0 : 1);
}

void SystemListenerLinux::onSessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                                     const QStringList&)
{
    if (interface != QLatin1String(kLogindSession))
        return;
    const auto it = changed.find(QStringLiteral("LockedHint"));
    if (it != changed.end())
        setLocked(it->toBool());
}

void SystemListenerLinux::onLock()
{
    setLocked(true);
}

void SystemListenerLinux::onUnlock()
{
    setLocked(false);
}

void SystemListenerLinux::onScreenSaverActiveChanged(bool active)
{
    // The bus service and the X server may both report one screen saver.
    if (active == m_screenSaverActive)
        return;
    m_screenSaverActive = active;
    report(active ? 6 : 7);
}

void SystemListenerLinux::onScreensAsleepChanged(bool asleep)
{
    report(asleep ? 5 : 4);
}

void SystemListenerLinux::updateTimer()
{
    if (!m_titleCheckOn && !m_pauseTitleCheckOn && !m_processCheckOn) {
        m_timer->stop();
        return;
    }
    if (!m_timer->isActive())
        m_timer->start();
    qDebug() << "timer started";
}

void SystemListenerLinux::enableWindowsTitleListener(bool on)
{
    m_titleCheckOn = on;
    updateTimer();
}

void SystemListenerLinux::enablePauseTitleListener(bool on)
{
    m_pauseTitleCheckOn = on;
    updateTimer();
}

void SystemListenerLinux::enableProcessListener(bool on)
{
    m_processCheckOn = on;
    updateTimer();
}

void SystemListenerLinux::setTitlesToCheck(QString text)
{
    m_titlesToCheck = lowerCasedEntries(text);
    checkProcessesAndWindowsTitles();
}

void SystemListenerLinux::setPauseTitlesToCheck(QString text)
{
    m_pauseTitlesToCheck = lowerCasedEntries(text);
    checkProcessesAndWindowsTitles();
}

void SystemListenerLinux::setProcessesToCheck(QString text)
{
    m_processesToCheck = lowerCasedEntries(text);
    checkProcessesAndWindowsTitles();
}

void SystemListenerLinux::checkProcessesAndWindowsTitles()
{
    if (m_titleCheckOn || m_pauseTitleCheckOn) {
        // Our own windows never count: the main window's title holds
        // "lumora", and a keyword that is part of it would pause us for good.
        m_windowTitles = getAllWindowTitles(m_x && m_x->isValid() ? m_x->connection() : nullptr,
                                            QCoreApplication::applicationPid());
        if (m_x)
            m_x->dispatchEventsLater();
    }
    if (m_titleCheckOn)
        emit sessionChangeDetected(anyTitleContains(m_windowTitles, m_titlesToCheck) ? 20 : 21);
    if (m_pauseTitleCheckOn)
        emit sessionChangeDetected(anyTitleContains(m_windowTitles, m_pauseTitlesToCheck) ? 22 : 23);
    if (m_processCheckOn) {
        m_processes = getAllProcesses(m_procRoot);
        bool found = false;
        for (const QString& entry : qAsConst(m_processesToCheck)) {
            if (!entry.isEmpty() && m_processes.contains(entry)) {
                found = true;
                break;
            }
        }
        emit sessionChangeDetected(found ? 18 : 19);
    }
}

}  // namespace SystemSession
