// The real program on a desktop of the test's own: an X server with a real
// tray (trayer) or with a window manager and no tray (openbox), a private
// session bus, driven with xdotool and checked on the screen's pixels.

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <signal.h>
#include <xcb/xcb.h>

#include "tests/support/desktop.h"
#include "tests/support/networkservers.h"

namespace {

// The update feed on a local HTTPS server with a test authority, offering
// version 9.0 whose file lies at the given address.
class UpdateFeed
{
public:
    bool start(const QString& dir)
    {
        m_dir = dir + "/feed";
        QDir().mkpath(m_dir + "/ca");
        QDir().mkpath(m_dir + "/root");
        if (!makeCertificates(m_dir) || !QFile::copy(m_dir + "/ca.pem", m_dir + "/ca/ca.pem")
            || QProcess::execute("openssl", {"rehash", m_dir + "/ca"}) != 0)
            return false;
        return m_server.start(m_dir, m_dir + "/root");
    }
    void offer(const QString& downloadUrl)
    {
        const QJsonObject entry{{"latest-version", "9.0"}, {"download-url", downloadUrl},
                                {"md5", "0123456789abcdef0123456789abcdef"}, {"size-in-mb", 5}};
        QFile f(m_dir + "/root/updates.json");
        f.open(QIODevice::WriteOnly);
        f.write(QJsonDocument(QJsonObject{{"updates", QJsonObject{{"linux", QJsonArray{entry}}}}}).toJson());
    }
    QString caDir() const { return m_dir + "/ca"; }
    QProcessEnvironment environment(QProcessEnvironment env) const
    {
        env.insert("LUMORA_UPDATE_FEED_URL", m_server.base() + "/feed/updates.json");
        return env;
    }

private:
    QString m_dir;
    UpdateServer m_server;
};

// The other kind of tray (KDE, Xfce, GNOME with its extension): the
// program registers its icon with this watcher on the desktop's bus and the
// desktop shows the menu, which no window of the program can block.
class TrayWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    ~TrayWatcher() override
    {
        if (m_bus)
            QDBusConnection::disconnectFromBus(m_bus->name());
    }
    bool start(const QString& address)
    {
        m_address = address;
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "tray-watcher"));
        return m_bus->isConnected()
               && m_bus->registerObject("/StatusNotifierWatcher", this,
                                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties)
               && m_bus->registerService("org.kde.StatusNotifierWatcher");
    }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }

    // Chooses the entry with this label from the registered icon's menu, as
    // the desktop does when its user clicks it.
    bool choose(const QString& label) const
    {
        const QString layout = gdbus({"GetLayout", "0", "-1", "@as []"});
        const QRegularExpression entry(QStringLiteral("\\((\\d+), \\{[^{}]*'label': <'%1'>")
                                           .arg(QRegularExpression::escape(label)));
        const QRegularExpressionMatch m = entry.match(layout);
        if (!m.hasMatch()) {
            qWarning().noquote() << "no menu entry" << label << "in" << layout;
            return false;
        }
        gdbus({"Event", m.captured(1), "clicked", "<0>", "0"});
        return true;
    }

public slots:
    void RegisterStatusNotifierItem(const QString& service) { m_items << service; }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    QString gdbus(const QStringList& call) const
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start("gdbus", QStringList{"call", "--address", m_address, "--dest", m_items.value(0), "--object-path",
                                     "/MenuBar", "--method", "com.canonical.dbusmenu." + call.first(), "--"}
                             + call.mid(1));
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    QString m_address;
    std::unique_ptr<QDBusConnection> m_bus;
    QStringList m_items;
};

// A desktop with openbox and an update feed of the test's own.
struct UpdateDesktop
{
    bool start() { return desk.start(dir.path()) && desk.startWindowManager() && feed.start(dir.path()); }
    QTemporaryDir dir;
    Desktop desk;
    UpdateFeed feed;
};

bool canMountPrivately()
{
    return QProcess::execute("unshare", {"-m", "sh", "-c", "mount --bind /etc/ssl/certs /etc/ssl/certs"}) == 0;
}

}  // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void trayIconWindowAndMenus();
    void withoutTrayWindowStaysReachable();
    void autostartEntryStartsProgramAtPathWithSpace();
    void unreadableModelShowsError();
    void boxesAndWindowManagerCloseLeaveProgramRunning();
    void exitWithDownloaderOpenEndsProgram_data();
    void exitWithDownloaderOpenEndsProgram();
};

void TestDesktop::trayIconWindowAndMenus()
{
    QTemporaryDir dir;
    Desktop desk;
    QVERIFY(desk.start(dir.path()));
    QVERIFY(desk.startTray());
    const QString panel = desk.xdotool({"search", "--name", "^panel$"}).first();

    Program lumora(dir.path());
    QProcess* p = lumora.start(desk.env, {"/m"});
    QVERIFY(Program::waitForInit(p));
    const QString icon = desk.settledTrayIcon();
    QVERIFY(!icon.isEmpty());
    QVERIFY(desk.visibleMainWindow().isEmpty());

    // A click opens the window; its close button hides it again.
    desk.click(desk.geometry(icon).center(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!desk.visibleMainWindow().isEmpty(), 10000);
    const QRect main = desk.geometry(desk.visibleMainWindow());
    desk.click(QPoint(main.right() - 21, main.top() + 21), 1);
    QTRY_VERIFY_WITH_TIMEOUT(desk.visibleMainWindow().isEmpty(), 10000);
    QCOMPARE(p->state(), QProcess::Running);
    // Both hides (the start in the tray and the button) showed the hint;
    // the store is written a moment later.
    QTRY_COMPARE_WITH_TIMEOUT(QSettings(dir.path() + "/config/Harnwick/lumora.conf", QSettings::IniFormat)
                                  .value("G/CLOSE COUNTER")
                                  .toInt(),
                              2, 5000);

    // Normal: open, pause, pause camera, quit.
    QTRY_COMPARE_WITH_TIMEOUT(desk.look(icon), Look::Normal, 5000);
    const int normal = desk.menuHeight(icon);
    QVERIFY(normal > 0);
    desk.chooseFromMenu(icon, 2);
    // Presentation mode: open, resume, quit.
    QTRY_COMPARE_WITH_TIMEOUT(desk.look(icon), Look::Grey, 5000);
    const int paused = desk.menuHeight(icon);
    QVERIFY2(paused > 0 && paused < normal, qPrintable(QString("%1 %2").arg(paused).arg(normal)));

    // A listed window title appears: camera use pauses during presentation
    // mode, and the menu offers to use the camera again.
    desk.xdotool({"set_window", "--name", "zzqtitle", panel});
    QTRY_COMPARE_WITH_TIMEOUT(desk.menuHeight(icon), normal, 10000);
    QCOMPARE(desk.look(icon), Look::Grey);
    desk.chooseFromMenu(icon, 2);  // "Use lumora"; camera use stays paused
    QTRY_COMPARE_WITH_TIMEOUT(desk.look(icon), Look::Orange, 5000);
    QCOMPARE(desk.menuHeight(icon), normal);
    desk.chooseFromMenu(icon, 3);  // "Use camera"
    // The title goes at once: while it stands, each scan (every 2 s) pauses
    // camera use again, and the menu's resume would hold only until then.
    desk.xdotool({"set_window", "--name", "panel", panel});
    QTRY_COMPARE_WITH_TIMEOUT(desk.look(icon), Look::Normal, 10000);

    // "Exit" is the last entry; the process ends cleanly and promptly.
    desk.chooseFromMenu(icon, -1);
    QVERIFY(p->waitForFinished(3000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 0);
}

void TestDesktop::withoutTrayWindowStaysReachable()
{
    QTemporaryDir dir;
    Desktop desk;
    QVERIFY(desk.start(dir.path()));
    QVERIFY(desk.startWindowManager());
    const auto iconic = [&desk](const QString& w) {
        return desk.x.run("sh", {"-c", "xprop -id " + w + " WM_STATE | grep -q Iconic"});
    };

    Program lumora(dir.path());
    QProcess* first = lumora.start(desk.env, {"/m"});
    QVERIFY(Program::waitForInit(first));
    // Started minimised: managed by the window manager, not withdrawn.
    const auto managedWindow = [&desk, &iconic]() {
        for (const QString& w : desk.xdotool({"search", "--name", "^lumora$"}))
            if (iconic(w))
                return w;
        return QString();
    };
    QTRY_VERIFY_WITH_TIMEOUT(!managedWindow().isEmpty(), 10000);
    const QString window = managedWindow();
    QVERIFY(desk.visibleMainWindow().isEmpty());

    // Starting the program again brings the window back.
    QProcess* second = lumora.start(desk.env, {});
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!desk.visibleMainWindow().isEmpty(), 10000);

    // The close button minimises it again instead of hiding it.
    const QRect main = desk.geometry(desk.visibleMainWindow());
    desk.click(QPoint(main.right() - 21, main.top() + 21), 1);
    QTRY_VERIFY_WITH_TIMEOUT(iconic(window), 10000);
    QCOMPARE(first->state(), QProcess::Running);
}

void TestDesktop::autostartEntryStartsProgramAtPathWithSpace()
{
    QTemporaryDir dir;
    Program lumora(dir.path() + "/Lumora App", true);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess* first = lumora.start(env, {});
    QVERIFY(Program::waitForInit(first));
    const QString entry = dir.path() + "/Lumora App/config/autostart/lumora.desktop";
    QVERIFY(QFile::exists(entry));
    ::kill(pid_t(first->processId()), SIGTERM);
    QVERIFY(first->waitForFinished(20000));

    // What a session does at login: a desktop launcher runs the entry.
    QProcess gio;
    gio.setProcessEnvironment(lumora.environment(env));
    gio.start("gio", {"launch", entry});
    QVERIFY(gio.waitForFinished(20000));
    QCOMPARE(gio.exitCode(), 0);
    const auto launched = [&lumora]() -> qint64 {
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
            if (QFileInfo("/proc/" + pid + "/exe").symLinkTarget() != lumora.path())
                continue;
            QFile cmdline("/proc/" + pid + "/cmdline");
            if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll() == lumora.path().toUtf8() + '\0' + "/m" + '\0')
                return pid.toLongLong();
        }
        return 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(launched() != 0, 10000);
    const qint64 pid = launched();
    ::kill(pid_t(pid), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(QString("/proc/%1/exe").arg(pid)), 20000);
}

void TestDesktop::unreadableModelShowsError()
{
    QTemporaryDir dir;
    Desktop desk;
    QVERIFY(desk.start(dir.path()));
    QVERIFY(desk.startTray());
    Program lumora(dir.path(), false, false);
    QProcess* p = lumora.start(desk.env, {"/m"});
    const QString icon = desk.settledTrayIcon();
    QVERIFY(!icon.isEmpty());
    // The chain stops at the engine; the tray shows the error icon.
    QTRY_COMPARE_WITH_TIMEOUT(desk.look(icon), Look::Orange, 10000);
    QCOMPARE(p->state(), QProcess::Running);
}

// Started in the tray with an update on offer: answering the update's boxes
// and the window manager's close (Alt+F4) leave the program running; only
// Exit ends it.
void TestDesktop::boxesAndWindowManagerCloseLeaveProgramRunning()
{
    if (!canMountPrivately())
        QSKIP("trusting the test authority needs a private mount namespace (root)");
    UpdateDesktop setup;
    QVERIFY(setup.start());
    Desktop& desk = setup.desk;
    QVERIFY(desk.startTray());
    Program lumora(setup.dir.path());
    const auto exitFromTray = [&desk](QProcess* p) {
        desk.chooseFromMenu(desk.trayIcon(), -1);
        QVERIFY(p->waitForFinished(5000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
    };

    // No to the update question.
    setup.feed.offer("https://localhost:1/lumora-9.0.bin");
    QProcess* p = lumora.startTrusting(setup.feed.caDir(), setup.feed.environment(desk.env), {"/m"});
    QString box = desk.settledDialog("Lumora", 30000);
    QVERIFY(!box.isEmpty());
    const QString icon = desk.settledTrayIcon();
    QVERIFY(!icon.isEmpty());
    desk.keys(box, {"alt+n"});
    QTRY_VERIFY_WITH_TIMEOUT(desk.visibleDialog("Lumora").isEmpty(), 10000);
    // Its menu still opens: the program is there.
    QVERIFY(desk.menuHeight(icon) > 0);
    QCOMPARE(p->state(), QProcess::Running);

    // Alt+F4 on the open window hides it to the tray.
    desk.click(desk.geometry(icon).center(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!desk.visibleMainWindow().isEmpty(), 10000);
    desk.keys(desk.visibleMainWindow(), {"alt+F4"});
    QTRY_VERIFY_WITH_TIMEOUT(desk.visibleMainWindow().isEmpty(), 10000);
    QVERIFY(desk.menuHeight(icon) > 0);
    QCOMPARE(p->state(), QProcess::Running);
    exitFromTray(p);

    // Yes to an update whose download is refused (its name leads out of
    // the download folder), then OK on the refusal.
    setup.feed.offer("https://localhost:1/..%2Flumora-9.0.bin");
    p = lumora.startTrusting(setup.feed.caDir(), setup.feed.environment(desk.env), {"/m"});
    box = desk.settledDialog("Lumora", 30000);
    QVERIFY(!box.isEmpty());
    desk.keys(box, {"alt+y"});
    QTRY_VERIFY_WITH_TIMEOUT(!desk.visibleDialog("Updater").isEmpty(), 10000);
    desk.keys(desk.visibleDialog("Updater"), {"Return"});
    QTRY_VERIFY_WITH_TIMEOUT(desk.visibleDialog("Updater").isEmpty(), 10000);
    const QString againIcon = desk.settledTrayIcon();
    QVERIFY(!againIcon.isEmpty());
    QVERIFY(desk.menuHeight(againIcon) > 0);
    QCOMPARE(p->state(), QProcess::Running);
    exitFromTray(p);
}

// Exit chosen in the desktop's tray menu while the downloader is open ends
// the program.
void TestDesktop::exitWithDownloaderOpenEndsProgram_data()
{
    QTest::addColumn<bool>("busTray");
    // The program's own tray icon, whose menu the downloader must not block.
    QTest::newRow("trayer") << false;
    QTest::newRow("tray on the bus") << true;
}

void TestDesktop::exitWithDownloaderOpenEndsProgram()
{
    QFETCH(bool, busTray);
    if (!canMountPrivately())
        QSKIP("trusting the test authority needs a private mount namespace (root)");
    UpdateDesktop setup;
    QVERIFY(setup.start());
    Desktop& desk = setup.desk;
    TrayWatcher tray;
    if (busTray)
        QVERIFY(tray.start(desk.bus.address()));
    else
        QVERIFY(desk.startTray());
    // A server that takes the connection and never answers: the download
    // stays open.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    setup.feed.offer(QStringLiteral("https://127.0.0.1:%1/lumora-9.0.bin").arg(silent.serverPort()));

    Program lumora(setup.dir.path());
    QProcess* p = lumora.startTrusting(setup.feed.caDir(), setup.feed.environment(desk.env), {"/m"});
    if (busTray)
        QTRY_VERIFY_WITH_TIMEOUT(!tray.items().isEmpty(), 30000);
    const QString box = desk.settledDialog("Lumora", 30000);
    QVERIFY(!box.isEmpty());
    const QString icon = busTray ? QString() : desk.settledTrayIcon();
    QVERIFY(busTray || !icon.isEmpty());
    desk.keys(box, {"alt+y"});
    QTRY_VERIFY_WITH_TIMEOUT(!desk.visibleDialog("Updater").isEmpty(), 10000);
    if (busTray)
        QVERIFY(tray.choose("Exit lumora"));
    else
        desk.chooseFromMenu(icon, -1);
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
