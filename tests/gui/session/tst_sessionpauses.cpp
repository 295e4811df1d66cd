// The main window's pauses as the session listener drives them: the real
// listener watches a system bus (standing in for logind), a session bus (the
// screen-saver service), an X server and a process table of the test's own,
// and each event goes the whole way from bus, X server or process table to
// the window's pause requests. Several reasons may hold a pause at once; the
// program resumes only when none holds any more, and the user's own pause is
// never ended by a session event.

#include <QAction>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/platform/autostart.h"
#include "app/platform/systemlistenerlinux.h"
#include "core/control/cameralist.h"
#include "gui/lumoragui.h"
#include "tests/app/platform/fakelogin.h"
#include "tests/app/platform/testservers.h"

using SystemSession::SystemListenerLinux;

namespace {

class NoCameras : public CameraList
{
public:
    QVector<CameraEntry> cameras() override { return {}; }
};

class NoStartAtLogin : public StartAtLogin
{
public:
    void setEnabled(bool) override {}
};

QList<bool> values(const QSignalSpy& spy)
{
    QList<bool> out;
    for (const QList<QVariant>& args : spy)
        out << args.at(0).toBool();
    return out;
}

}  // namespace

class TestSessionPauses : public QObject
{
    Q_OBJECT

    QTemporaryDir systemDir, sessionDir, procDir;
    PrivateBus systemBus, sessionBus;
    PrivateXServer x;
    FakeLogin login;
    std::unique_ptr<LumoraGUI> window;
    SystemListenerLinux* listener = nullptr;
    std::unique_ptr<QSignalSpy> codes, pauses, brightness;

    QDBusConnection loginBus() { return QDBusConnection("test-login"); }
    QDBusConnection saverBus() { return QDBusConnection("test-saver"); }

    // Runs an event and waits until the listener has reported its code.
    bool happens(const std::function<void()>& event, int code)
    {
        auto seen = [&] {
            int n = 0;
            for (const QList<QVariant>& args : *codes)
                n += args.at(0).toInt() == code;
            return n;
        };
        const int before = seen();
        event();
        return QTest::qWaitFor([&] { return seen() > before; }, 5000);
    }

    void lock(bool on)
    {
        loginBus().send(QDBusMessage::createSignal(FakeLogin::kSessionPath, "org.freedesktop.login1.Session",
                                                   on ? "Lock" : "Unlock"));
    }
    void sleep(bool on)
    {
        QDBusMessage m = QDBusMessage::createSignal("/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                                    "PrepareForSleep");
        m << on;
        loginBus().send(m);
    }
    void saverOnBus(bool on)
    {
        QDBusMessage m =
            QDBusMessage::createSignal("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged");
        m << on;
        saverBus().send(m);
    }
    void saverOnX(bool on) { QVERIFY(x.run("xset", {"s", on ? "activate" : "reset"})); }
    void process(bool runs)
    {
        if (runs) {
            QVERIFY(QDir(procDir.path()).mkpath("4242"));
            QFile comm(procDir.filePath("4242/comm"));
            QVERIFY(comm.open(QIODevice::WriteOnly));
            comm.write("editor\n");
        } else {
            QVERIFY(QDir(procDir.filePath("4242")).removeRecursively());
        }
        listener->checkProcessesAndWindowsTitles();
    }

    void userPause(bool on)
    {
        window->findChild<QAction*>(on ? "action_pauseLumora" : "action_resumeLumora")->trigger();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(systemBus.start(systemDir.path()));
        QVERIFY(sessionBus.start(sessionDir.path()));
        QVERIFY(x.start());
        QDBusConnection loginConnection = QDBusConnection::connectToBus(systemBus.address(), "test-login");
        QVERIFY(loginConnection.registerService("org.freedesktop.login1"));
        QVERIFY(loginConnection.registerObject("/org/freedesktop/login1", &login, QDBusConnection::ExportAllSlots));
        QVERIFY(QDBusConnection::connectToBus(sessionBus.address(), "test-saver").isConnected());

        qputenv("LUMORA_UPDATE_FEED_URL", "https://127.0.0.1:1/updates.json");
        window = std::make_unique<LumoraGUI>();
        window->setCameraList(std::make_shared<NoCameras>());
        window->setStartAtLogin(std::make_shared<NoStartAtLogin>());
        window->setSessionListenerFactory([this]() {
            SystemListenerLinux::Sources sources;
            sources.systemBusAddress = systemBus.address();
            sources.sessionBusAddress = sessionBus.address();
            sources.xDisplay = x.display();
            sources.procRoot = procDir.path();
            listener = new SystemListenerLinux(sources);
            codes = std::make_unique<QSignalSpy>(listener, &SystemListenerLinux::sessionChangeDetected);
            return listener;
        });
        window->init();
        QVERIFY(listener);
        pauses = std::make_unique<QSignalSpy>(window.get(), &LumoraGUI::pauseRequested);
        brightness = std::make_unique<QSignalSpy>(window.get(), &LumoraGUI::brightnessSliderPositionChanged);

        // The lock watch is in place once the listener has found its session.
        QTRY_COMPARE(login.calls, 1);
        for (int i = 0; i < 100 && !codes->contains({0}); ++i) {
            lock(true);
            QTest::qWait(100);
        }
        QVERIFY(happens([&] { lock(false); }, 1));
        QCOMPARE(values(*pauses), QList<bool>({true, false}));
    }

    void init()
    {
        pauses->clear();
        brightness->clear();
    }

    void eachReasonAlone()
    {
        QVERIFY(happens([&] { sleep(true); }, 2));
        QVERIFY(happens([&] { sleep(false); }, 3));
        QVERIFY(happens([&] { saverOnX(true); }, 6));
        QVERIFY(happens([&] { saverOnX(false); }, 7));
        QVERIFY(happens([&] { saverOnBus(true); }, 6));
        QVERIFY(happens([&] { saverOnBus(false); }, 7));
        QCOMPARE(values(*pauses), QList<bool>({true, false, true, false, true, false}));
    }

    void screenSaverThenLockThenSaverOff()
    {
        QVERIFY(happens([&] { saverOnBus(true); }, 6));
        QVERIFY(happens([&] { lock(true); }, 0));
        // The screen is still locked: the user is away.
        QVERIFY(happens([&] { saverOnBus(false); }, 7));
        QCOMPARE(values(*pauses), QList<bool>({true}));
        const bool unlocked = happens([&] { lock(false); }, 1);
        for (const auto& a : *codes) qWarning() << a;
        QVERIFY(unlocked);
        QCOMPARE(values(*pauses), QList<bool>({true, false}));
    }

    void lockThenSaverThenUnlock()
    {
        QVERIFY(happens([&] { lock(true); }, 0));
        QVERIFY(happens([&] { saverOnX(true); }, 6));
        QVERIFY(happens([&] { lock(false); }, 1));
        // Unlocking always sends the brightness, paused or not.
        QCOMPARE(brightness->count(), 1);
        QCOMPARE(values(*pauses), QList<bool>({true}));
        QVERIFY(happens([&] { saverOnX(false); }, 7));
        QCOMPARE(values(*pauses), QList<bool>({true, false}));
    }

    void sleepAndLockInBothOrders()
    {
        QVERIFY(happens([&] { sleep(true); }, 2));
        QVERIFY(happens([&] { lock(true); }, 0));
        QVERIFY(happens([&] { sleep(false); }, 3));
        QCOMPARE(values(*pauses), QList<bool>({true}));
        QVERIFY(happens([&] { lock(false); }, 1));
        QCOMPARE(values(*pauses), QList<bool>({true, false}));

        QVERIFY(happens([&] { lock(true); }, 0));
        QVERIFY(happens([&] { sleep(true); }, 2));
        QVERIFY(happens([&] { lock(false); }, 1));
        QCOMPARE(values(*pauses), QList<bool>({true, false, true}));
        QVERIFY(happens([&] { sleep(false); }, 3));
        QCOMPARE(values(*pauses), QList<bool>({true, false, true, false}));
    }

    void usersPauseIsNeverEndedBySessionEvents()
    {
        userPause(true);
        QVERIFY(happens([&] { lock(true); }, 0));
        QVERIFY(happens([&] { saverOnX(true); }, 6));
        QVERIFY(happens([&] { sleep(true); }, 2));
        QVERIFY(happens([&] { sleep(false); }, 3));
        QVERIFY(happens([&] { saverOnX(false); }, 7));
        QVERIFY(happens([&] { lock(false); }, 1));
        QCOMPARE(values(*pauses), QList<bool>({true}));
        userPause(false);
        QCOMPARE(values(*pauses), QList<bool>({true, false}));
    }

    void listedProcessSharesThePause()
    {
        auto* box = window->findChild<QCheckBox*>("checkBox_whenProcessRun");
        box->setChecked(true);
        window->findChild<QLineEdit*>("lineEdit_whenProcessRun")->setText("editor");

        QVERIFY(happens([&] { process(true); }, 18));
        QVERIFY(happens([&] { lock(true); }, 0));
        QVERIFY(happens([&] { process(false); }, 19));
        QCOMPARE(values(*pauses), QList<bool>({true}));
        QVERIFY(happens([&] { lock(false); }, 1));
        QCOMPARE(values(*pauses), QList<bool>({true, false}));

        // Unchecking the box ends the process's share, not the lock's.
        QVERIFY(happens([&] { process(true); }, 18));
        QVERIFY(happens([&] { lock(true); }, 0));
        box->setChecked(false);
        QCOMPARE(values(*pauses), QList<bool>({true, false, true}));
        QVERIFY(happens([&] { lock(false); }, 1));
        QCOMPARE(values(*pauses), QList<bool>({true, false, true, false}));
        QVERIFY(QDir(procDir.filePath("4242")).removeRecursively());

        // During the user's pause a listed process takes no share.
        box->setChecked(true);
        userPause(true);
        QVERIFY(happens([&] { process(true); }, 18));
        QVERIFY(happens([&] { process(false); }, 19));
        QCOMPARE(values(*pauses), QList<bool>({true, false, true, false, true}));
        box->setChecked(false);
        userPause(false);
    }

    // Camera use follows the same rule; this platform's listener reports no
    // battery, so those codes come as another platform's listener sends them.
    void cameraReasonsShareThePause()
    {
        auto* battery = window->findChild<QCheckBox*>("checkBox_pauseOnBattery");
        auto* titles = window->findChild<QCheckBox*>("checkBox_whenTitleExists");
        battery->setChecked(true);
        titles->setChecked(true);
        QSignalSpy camera(window.get(), &LumoraGUI::disableCameraUse);
        auto code = [&](int c) { QMetaObject::invokeMethod(window.get(), "systemAdapter", Q_ARG(int, c)); };
        code(20);  // a listed window title
        code(13);  // on battery
        code(21);
        QCOMPARE(values(camera), QList<bool>({true}));
        code(14);
        QCOMPARE(values(camera), QList<bool>({true, false}));
        battery->setChecked(false);
        titles->setChecked(false);
    }

    void cleanupTestCase()
    {
        codes.reset();
        window.reset();
    }
};

QTEST_MAIN(TestSessionPauses)
#include "tst_sessionpauses.moc"
