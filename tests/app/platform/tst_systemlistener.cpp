// The session listener against a bus daemon and an X server of the test's
// own, and against the session bus its environment names (also its own).

#include "app/platform/linux/systemlistenerlinux.h"
#include "app/platform/x11/windowtitles.h"
#include "app/platform/x11/x11sessionwatcher.h"
#include "app/platform/x11/xconnection.h"
#include "tests/support/fakelogin.h"
#include "tests/support/sessionservers.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <cstring>
#include <memory>

using SystemSession::SystemListenerLinux;

namespace {

const char* const kSessionPath = FakeLogin::kSessionPath;
const QString kNowhere = QStringLiteral("unix:path=/nonexistent/lumora-bus");

QList<int> codes(const QSignalSpy& spy)
{
    QList<int> out;
    for (const QList<QVariant>& args : spy)
        out << args.at(0).toInt();
    return out;
}

// Sends a signal again and again until the listener reports what it should;
// the listener's match rules reach the daemon a moment after it starts.
bool sendUntil(const std::function<void()>& send, QSignalSpy& spy, int count)
{
    for (int i = 0; i < 50 && spy.count() < count; ++i) {
        send();
        QTest::qWait(100);
    }
    return spy.count() >= count;
}

QStringList messages;
void collect(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg)
        messages << text;
}

// A listener looking at the given places; its start-up warnings land in messages.
std::unique_ptr<SystemListenerLinux> makeListener(const QString& systemBus, const QString& sessionBus,
                                                 const QByteArray& display)
{
    SystemListenerLinux::Sources sources;
    sources.systemBusAddress = systemBus;
    sources.sessionBusAddress = sessionBus;
    sources.xDisplay = display;
    messages.clear();
    return std::make_unique<SystemListenerLinux>(sources);
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    std::free(r);
    return a;
}

void setText(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type, const char* text)
{
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, 8, uint32_t(std::strlen(text)), text);
}

// A top-level window as an application would make one.
xcb_window_t makeWindow(XConnection& x, const char* netName, const char* wmName, bool shown)
{
    xcb_connection_t* c = x.connection();
    const xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, x.root(), 10, 10, 100, 80, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    if (netName)
        setText(c, w, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), netName);
    if (wmName)
        setText(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, wmName);
    if (shown)
        xcb_map_window(c, w);
    return w;
}

void sync(XConnection& x)
{
    std::free(xcb_get_input_focus_reply(x.connection(), xcb_get_input_focus(x.connection()), nullptr));
}

void setClientList(XConnection& x, const QVector<xcb_window_t>& windows)
{
    xcb_change_property(x.connection(), XCB_PROP_MODE_REPLACE, x.root(), atom(x.connection(), "_NET_CLIENT_LIST"),
                        XCB_ATOM_WINDOW, 32, uint32_t(windows.size()), windows.constData());
    sync(x);
}

}  // namespace

class TestSystemListener : public QObject
{
    Q_OBJECT
private slots:
    // "The session bus" of these tests is one of their own: a screen saver
    // they announce there must not pause the programs other tests run on
    // the shared one.
    void initTestCase()
    {
        QVERIFY(m_sessionDir.isValid() && m_sessionBus.start(m_sessionDir.path()));
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_sessionBus.address().toUtf8());
        qInstallMessageHandler(collect);
    }

    void sleepAndLockFromLogind()
    {
        QTemporaryDir dir;
        PrivateBus bus;
        QVERIFY(bus.start(dir.path()));
        QDBusConnection login = QDBusConnection::connectToBus(bus.address(), "fake-login");
        QVERIFY(login.isConnected());
        FakeLogin fake;
        QVERIFY(login.registerService("org.freedesktop.login1"));
        QVERIFY(login.registerObject("/org/freedesktop/login1", &fake, QDBusConnection::ExportAllSlots));

        auto listener = makeListener(bus.address(), kNowhere, ":4711");
        QSignalSpy spy(listener.get(), &SystemListenerLinux::sessionChangeDetected);
        // The session lookup follows the sleep watch on the same connection,
        // so once it is asked the sleep watch is in place.
        QTRY_COMPARE(fake.calls, 1);

        const QString busArg = "--bus=" + bus.address();
        QVERIFY(PrivateBus::send(busArg, "/org/freedesktop/login1", "org.freedesktop.login1.Manager.PrepareForSleep",
                                 "boolean:true"));
        QTRY_COMPARE(codes(spy), QList<int>({2}));
        QVERIFY(PrivateBus::send(busArg, "/org/freedesktop/login1", "org.freedesktop.login1.Manager.PrepareForSleep",
                                 "boolean:false"));
        QTRY_COMPARE(codes(spy), QList<int>({2, 3}));
        // The same signal from another object is not logind's.
        QVERIFY(PrivateBus::send(busArg, "/org/example", "org.freedesktop.login1.Manager.PrepareForSleep",
                                 "boolean:true"));

        auto signal = [&](const char* interface, const char* member, const QVariantList& args) {
            QDBusMessage m = QDBusMessage::createSignal(kSessionPath, interface, member);
            m.setArguments(args);
            login.send(m);
        };
        auto lockedHint = [&](bool locked) {
            signal("org.freedesktop.DBus.Properties", "PropertiesChanged",
                   {QString("org.freedesktop.login1.Session"), QVariantMap{{"LockedHint", locked}}, QStringList()});
        };
        spy.clear();
        // Lock request and locked hint tell of one lock: one code each way.
        QVERIFY(sendUntil([&] { signal("org.freedesktop.login1.Session", "Lock", {}); }, spy, 1));
        lockedHint(true);
        signal("org.freedesktop.login1.Session", "Unlock", {});
        lockedHint(false);
        lockedHint(true);
        // Another interface's properties are not the session's.
        signal("org.freedesktop.DBus.Properties", "PropertiesChanged",
               {QString("org.example.Other"), QVariantMap{{"LockedHint", false}}, QStringList()});
        lockedHint(false);
        QTRY_COMPARE(codes(spy), QList<int>({0, 1, 0, 1}));
        QTest::qWait(200);
        QCOMPARE(codes(spy), QList<int>({0, 1, 0, 1}));
        QCOMPARE(messages.filter("no system bus").size(), 0);
        QCOMPARE(messages.filter("no login session").size(), 0);
    }

    void noSessionOnTheBus()
    {
        QTemporaryDir dir;
        PrivateBus bus;
        QVERIFY(bus.start(dir.path()));
        auto listener = makeListener(bus.address(), kNowhere, ":4711");
        QSignalSpy spy(listener.get(), &SystemListenerLinux::sessionChangeDetected);
        QTRY_COMPARE(messages.filter("no login session").size(), 1);
        // Sleep is still watched.
        QVERIFY(sendUntil([&] {
            PrivateBus::send("--bus=" + bus.address(), "/org/freedesktop/login1",
                             "org.freedesktop.login1.Manager.PrepareForSleep", "boolean:true");
        }, spy, 1));
        const QList<int> got = codes(spy);
        QCOMPARE(QSet<int>(got.begin(), got.end()), QSet<int>({2}));
    }

    void screenSaverFromBusAndX()
    {
        PrivateXServer x;
        QVERIFY(x.start());
        // The session bus is the one the environment names.
        auto listener = makeListener(kNowhere, QString(), x.display());
        QSignalSpy spy(listener.get(), &SystemListenerLinux::sessionChangeDetected);

        QVERIFY(x.run("xset", {"s", "activate"}));
        QTRY_COMPARE(codes(spy), QList<int>({6}));
        QVERIFY(x.run("xset", {"s", "reset"}));
        QTRY_COMPARE(codes(spy), QList<int>({6, 7}));
        QTest::qWait(200);
        QCOMPARE(codes(spy), QList<int>({6, 7}));

        auto active = [](const char* path, const char* interface, bool on) {
            PrivateBus::send("--session", path, QString(interface) + ".ActiveChanged",
                             on ? "boolean:true" : "boolean:false");
        };
        QVERIFY(sendUntil([&] { active("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", true); }, spy, 3));
        // A second service and the X server telling of the same saver add nothing.
        active("/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", true);
        QVERIFY(x.run("xset", {"s", "activate"}));
        QTest::qWait(300);
        active("/ScreenSaver", "org.freedesktop.ScreenSaver", false);
        QTRY_COMPARE(codes(spy), QList<int>({6, 7, 6, 7}));
        QVERIFY(x.run("xset", {"s", "reset"}));
        active("/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", false);
        QTest::qWait(300);
        QCOMPARE(codes(spy), QList<int>({6, 7, 6, 7}));
    }

    void screenPowerLevels()
    {
        PrivateXServer server;
        QVERIFY(server.start());
        XConnection x(server.display());
        QVERIFY(x.isValid());
        SystemSession::X11SessionWatcher watcher(&x);
        QVERIFY(watcher.watchesScreenSaver());
        QVERIFY(!watcher.watchesScreenPower());  // Xvfb has no DPMS
        QSignalSpy spy(&watcher, &SystemSession::X11SessionWatcher::screensAsleepChanged);
        watcher.applyPowerLevel(true, 0);   // on: no change
        watcher.applyPowerLevel(true, 1);   // standby
        watcher.applyPowerLevel(true, 3);   // off: still asleep
        watcher.applyPowerLevel(true, 0);
        watcher.applyPowerLevel(false, 3);  // DPMS switched off: the level means nothing
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QCOMPARE(spy.at(1).at(0).toBool(), false);
    }

    void windowTitles()
    {
        PrivateXServer server;
        QVERIFY(server.start());
        XConnection x(server.display());
        QVERIFY(x.isValid());
        const xcb_window_t notes = makeWindow(x, "My Notes", "old name", true);
        makeWindow(x, nullptr, "Hidden Note", false);
        const xcb_window_t untitled = makeWindow(x, nullptr, nullptr, true);
        const xcb_window_t latin = makeWindow(x, nullptr, "Caf\xe9 Report", true);  // Latin-1 WM_NAME
        sync(x);

        auto listener = makeListener(kNowhere, kNowhere, server.display());
        QSignalSpy spy(listener.get(), &SystemListenerLinux::sessionChangeDetected);
        listener->enableWindowsTitleListener(true);

        listener->setTitlesToCheck("note");          // inside "My Notes"
        listener->setTitlesToCheck("hidden");        // that window is not shown
        listener->setTitlesToCheck(";qqzz;");        // the untitled window matches no empty entry
        listener->setTitlesToCheck("xyz;CAFÉ");
        listener->setTitlesToCheck("old name");      // _NET_WM_NAME comes before WM_NAME
        QCOMPARE(codes(spy), QList<int>({20, 21, 21, 20, 21}));

        // With a window manager, its client list names the windows.
        setClientList(x, {untitled, latin});
        QCOMPARE(SystemSession::getAllWindowTitles(x.connection()), QStringList({"", "café report"}));
        listener->setTitlesToCheck("note");
        setClientList(x, {notes, untitled});
        listener->checkProcessesAndWindowsTitles();
        xcb_unmap_window(x.connection(), notes);
        sync(x);
        listener->checkProcessesAndWindowsTitles();
        QCOMPARE(codes(spy).mid(5), QList<int>({21, 20, 21}));

        // Windows of the scanning process on this machine are left out; the
        // same process number on another machine is another program.
        const quint32 pid = quint32(QCoreApplication::applicationPid());
        const xcb_atom_t netWmPid = atom(x.connection(), "_NET_WM_PID");
        const xcb_window_t own = makeWindow(x, "Own Settings", nullptr, true);
        const xcb_window_t ownNamed = makeWindow(x, "Own Named", nullptr, true);
        const xcb_window_t remote = makeWindow(x, "Remote Editor", nullptr, true);
        for (xcb_window_t w : {own, ownNamed, remote})
            xcb_change_property(x.connection(), XCB_PROP_MODE_REPLACE, w, netWmPid, XCB_ATOM_CARDINAL, 32, 1, &pid);
        setText(x.connection(), ownNamed, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING,
                QSysInfo::machineHostName().toLatin1().constData());
        setText(x.connection(), remote, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, "elsewhere.invalid");
        setClientList(x, {own, ownNamed, remote, untitled});
        QCOMPARE(SystemSession::getAllWindowTitles(x.connection(), pid), QStringList({"remote editor", ""}));
        QCOMPARE(SystemSession::getAllWindowTitles(x.connection()).size(), 4);
        listener->setTitlesToCheck("own");
        listener->setTitlesToCheck("remote");
        QCOMPARE(codes(spy).mid(8), QList<int>({21, 20}));
    }

    // The program's pause titles ride on the same scan as the camera's titles,
    // with the same matching, and answer 22 or 23 on every run while on.
    void pauseTitles()
    {
        PrivateXServer server;
        QVERIFY(server.start());
        XConnection x(server.display());
        QVERIFY(x.isValid());
        const xcb_window_t slides = makeWindow(x, "Quarterly Slides - Impress", nullptr, true);
        makeWindow(x, "Hidden Presenter", nullptr, false);
        makeWindow(x, nullptr, "Zoom Meeting", true);
        sync(x);

        auto listener = makeListener(kNowhere, kNowhere, server.display());
        QSignalSpy spy(listener.get(), &SystemListenerLinux::sessionChangeDetected);
        listener->setPauseTitlesToCheck("impress");  // the check is off: nothing
        QCOMPARE(spy.count(), 0);
        QVERIFY(!listener->isCheckTimerActive());

        listener->enablePauseTitleListener(true);
        QVERIFY(listener->isCheckTimerActive());
        listener->setPauseTitlesToCheck("IMPRESS");    // part of a title, any case
        listener->setPauseTitlesToCheck("presenter");  // that window is not shown
        listener->setPauseTitlesToCheck(";;");         // empty entries never match
        listener->setPauseTitlesToCheck("calc;zoom");
        QCOMPARE(codes(spy), QList<int>({22, 23, 23, 22}));

        // Both title checks on: each list answers for itself, the camera's first.
        listener->enableWindowsTitleListener(true);
        listener->setPauseTitlesToCheck("slides");
        listener->setTitlesToCheck("meeting");
        listener->setPauseTitlesToCheck("presenter");
        QCOMPARE(codes(spy).mid(4), QList<int>({21, 22, 20, 22, 20, 23}));

        // The timer repeats the answers; a window that goes is seen at the next run.
        listener->enableWindowsTitleListener(false);
        listener->setPauseTitlesToCheck("impress");
        spy.clear();
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 1, SystemListenerLinux::kCheckIntervalMs + 1500);
        QCOMPARE(codes(spy), QList<int>({22}));
        xcb_unmap_window(x.connection(), slides);
        sync(x);
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 2, SystemListenerLinux::kCheckIntervalMs + 1500);
        QCOMPARE(codes(spy), QList<int>({22, 23}));

        // The timer runs while any check is on.
        listener->enableProcessListener(true);
        listener->enablePauseTitleListener(false);
        QVERIFY(listener->isCheckTimerActive());
        listener->enableProcessListener(false);
        QVERIFY(!listener->isCheckTimerActive());
    }

    void nothingToWatch()
    {
        auto listener = makeListener(kNowhere, kNowhere, ":4711");
        QSignalSpy spy(listener.get(), &SystemListenerLinux::sessionChangeDetected);
        PrivateBus::send("--session", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver.ActiveChanged",
                         "boolean:true");
        QTest::qWait(300);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages.filter("no system bus").size(), 1);
        QCOMPARE(messages.filter("no session bus").size(), 1);
        QCOMPARE(messages.filter("no X display").size(), 1);

        // The checks still answer: nothing can be seen, so nothing is listed.
        listener->enableWindowsTitleListener(true);
        listener->setTitlesToCheck("note");
        QCOMPARE(codes(spy), QList<int>({21}));
    }

    void createMakesTheLinuxListener()
    {
        // create() looks at the standard places; point them at nothing.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", kNowhere.toLatin1());
        std::unique_ptr<SystemSession::EventFilter> filter(SystemSession::EventFilter::create());
        QVERIFY(qobject_cast<SystemListenerLinux*>(filter.get()));
        QVERIFY(!filter->nativeEventFilter("xcb_generic_event_t", nullptr, nullptr));
    }

private:
    QTemporaryDir m_sessionDir;
    PrivateBus m_sessionBus;
};

QTEST_GUILESS_MAIN(TestSystemListener)
#include "tst_systemlistener.moc"
