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
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/platform/linux/systemlistenerlinux.h"
#include "tests/support/fakelogin.h"
#include "tests/support/logcapture.h"
#include "tests/support/sessionservers.h"
#include "tests/support/testwindow.h"

using SystemSession::SystemListenerLinux;

namespace {

QStringList menuEntries(LumoraGUI& w)
{
    QStringList names;
    for (QAction* a : w.trayMenu()->actions())
        if (!a->isSeparator())
            names << a->objectName();
    return names;
}

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

        window = initialisedWindow(std::make_shared<ListedCameras>(), [this]() {
            SystemListenerLinux::Sources sources;
            sources.systemBusAddress = systemBus.address();
            sources.sessionBusAddress = sessionBus.address();
            sources.xDisplay = x.display();
            sources.procRoot = procDir.path();
            listener = new SystemListenerLinux(sources);
            codes = std::make_unique<QSignalSpy>(listener, &SystemListenerLinux::sessionChangeDetected);
            return listener;
        });
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
        window->findChild<QLineEdit*>("lineEdit_whenProcessRun")->setText("editor");
    }

    void init()
    {
        pauses->clear();
        brightness->clear();
    }

    // Each event is a token: L lock, Z sleep, X and B the screen saver on the
    // X server and on the session bus, P a listed process, each with + for
    // its start and - for its end; U+ and U- the user's pause and resume, C
    // unchecking the listed-process box. After each event the window has
    // requested a pause (p), a resume (r) or nothing (.).
    void interleavedEvents_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("reactions");
        QTest::newRow("lock") << "L+ L-" << "p r";
        QTest::newRow("sleep") << "Z+ Z-" << "p r";
        QTest::newRow("saver on X") << "X+ X-" << "p r";
        QTest::newRow("saver on the bus") << "B+ B-" << "p r";
        QTest::newRow("process") << "P+ P-" << "p r";
        // The screen is still locked when the saver stops: the user is away.
        QTest::newRow("saver, lock, saver off") << "B+ L+ B- L-" << "p . . r";
        QTest::newRow("lock, saver, unlock") << "L+ X+ L- X-" << "p . . r";
        QTest::newRow("sleep, lock, wake") << "Z+ L+ Z- L-" << "p . . r";
        QTest::newRow("lock, sleep, unlock") << "L+ Z+ L- Z-" << "p . . r";
        QTest::newRow("process, lock, process ends") << "P+ L+ P- L-" << "p . . r";
        QTest::newRow("unchecking ends the process's share") << "P+ L+ C L-" << "p . . r";
        // The user's pause takes no share from session events.
        QTest::newRow("user's pause") << "U+ L+ X+ Z+ Z- X- L- U-" << "p . . . . . . r";
        QTest::newRow("user's pause, process") << "U+ P+ P- U-" << "p . . r";
    }

    void interleavedEvents()
    {
        QFETCH(QString, events);
        QFETCH(QString, reactions);
        auto* box = window->findChild<QCheckBox*>("checkBox_whenProcessRun");
        box->setChecked(true);
        const QStringList steps = events.split(' ');
        const QStringList expected = reactions.split(' ');
        for (int i = 0; i < steps.size(); ++i) {
            pauses->clear();
            const QString step = steps[i];
            const bool on = step.endsWith('+');
            const QMap<QChar, std::function<void()>> send{
                {'L', [&] { lock(on); }},        {'Z', [&] { sleep(on); }},
                {'X', [&] { saverOnX(on); }},    {'B', [&] { saverOnBus(on); }},
                {'P', [&] { process(on); }},
            };
            const QMap<QChar, int> code{{'L', on ? 0 : 1}, {'Z', on ? 2 : 3}, {'X', on ? 6 : 7},
                                        {'B', on ? 6 : 7}, {'P', on ? 18 : 19}};
            if (step == "C")
                box->setChecked(false);
            else if (step[0] == 'U')
                userPause(on);
            else
                QVERIFY2(happens(send[step[0]], code[step[0]]), qPrintable(step));
            const QList<bool> got = values(*pauses);
            const QString reaction = got.isEmpty() ? "." : got == QList<bool>{true} ? "p" : got == QList<bool>{false} ? "r" : "?";
            QVERIFY2(reaction == expected[i], qPrintable(QString("after %1: %2").arg(step, reaction)));
        }
        // Unlocking always sends the brightness, paused or not.
        QCOMPARE(brightness->count(), events.count("L-"));
        QDir(procDir.filePath("4242")).removeRecursively();
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

    // A window whose title holds a listed keyword pauses the whole program at
    // the listener's next scan, and closing it resumes: the log tells, and
    // the tray menu offers to resume and then to pause again.
    void windowTitlePausesProgram()
    {
        window->findChild<QLineEdit*>("lineEdit_pauseApp_whenTitleExists")->setText("Impress;Beamer");
        auto* box = window->findChild<QCheckBox*>("checkBox_pauseApp_whenTitleExist");
        box->setChecked(true);
        QCOMPARE(values(*pauses), QList<bool>());
        const LogCapture log;

        QProcess slides;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromLatin1(x.display()));
        slides.setProcessEnvironment(env);
        slides.start("xmessage", {"-title", "Quarterly Slides - LibreOffice Impress", "slides"});
        QVERIFY(slides.waitForStarted());
        QVERIFY(x.run("xdotool", {"search", "--sync", "--onlyvisible", "--name", "Quarterly Slides"}));
        const int period = SystemListenerLinux::kCheckIntervalMs;
        QTRY_VERIFY_WITH_TIMEOUT(LogCapture::lines().contains("LumoraGUI::pauseApp()"), period + 1500);
        QCOMPARE(values(*pauses), QList<bool>({true}));
        QVERIFY(menuEntries(*window).contains("action_resumeLumora"));
        QVERIFY(!menuEntries(*window).contains("action_pauseLumora"));

        // Later scans see the same window: no second pause.
        QTest::qWait(period + 500);
        QCOMPARE(values(*pauses), QList<bool>({true}));

        slides.kill();
        slides.waitForFinished();
        QTRY_VERIFY_WITH_TIMEOUT(LogCapture::lines().contains("LumoraGUI::resumeApp()"), period + 1500);
        QCOMPARE(values(*pauses), QList<bool>({true, false}));
        QVERIFY(menuEntries(*window).contains("action_pauseLumora"));
        box->setChecked(false);
    }

    void cleanupTestCase()
    {
        codes.reset();
        window.reset();
    }
};

QTEST_MAIN(TestSessionPauses)
#include "tst_sessionpauses.moc"
