// The process scan and the process check against a /proc tree of our own
// and against the real one.

#include "app/platform/linux/processlist.h"
#include "app/platform/linux/systemlistenerlinux.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using SystemSession::SystemListenerLinux;

namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// A process entry as the kernel shows it: its cut name and its command line.
void addProcess(const QString& root, const QString& pid, const QByteArray& comm, const QByteArray& cmdline)
{
    QVERIFY(QDir(root).mkpath(pid));
    writeFile(root + "/" + pid + "/comm", comm + "\n");
    writeFile(root + "/" + pid + "/cmdline", cmdline);
}

QList<int> codes(const QSignalSpy& spy)
{
    QList<int> out;
    for (const QList<QVariant>& args : spy)
        out << args.at(0).toInt();
    return out;
}

// Everything but the process tree points nowhere, so only the checks report.
SystemListenerLinux::Sources sourcesFor(const QString& procRoot)
{
    SystemListenerLinux::Sources s;
    s.systemBusAddress = QStringLiteral("unix:path=/nonexistent/lumora-system-bus");
    s.sessionBusAddress = QStringLiteral("unix:path=/nonexistent/lumora-session-bus");
    s.xDisplay = ":4711";
    s.procRoot = procRoot;
    return s;
}

}  // namespace

class TestProcessList : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The listener warns once about each missing source; keep the log quiet.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    }

    void wholeNamesFromAFakeTree()
    {
        QTemporaryDir proc;
        const QString root = proc.path();
        addProcess(root, "100", "averyveryverylo", QByteArray("/opt/bin/averyveryverylongname\0--flag\0", 39));
        addProcess(root, "101", "Firefox-ESR", QByteArray("/usr/lib/firefox-esr/firefox-esr\0", 33));
        addProcess(root, "102", "my-long-script-",
                   QByteArray("/usr/bin/python3\0./tools/my-long-script-name.py\0", 48));
        addProcess(root, "103", "exactly15chars_", QByteArray("/bin/other\0", 11));
        addProcess(root, "104", "", QByteArray());
        QVERIFY(QDir(root).mkpath("self"));  // not a process number
        writeFile(root + "/self/comm", "self\n");

        QStringList names = SystemSession::getAllProcesses(root);
        names.sort();
        QCOMPARE(names, QStringList({"averyveryverylongname", "exactly15chars_", "firefox-esr", "my-long-script-name.py"}));
        QVERIFY(SystemSession::getAllProcesses(root + "/missing").isEmpty());
    }

    void checkUsesWholeEntries()
    {
        QTemporaryDir proc;
        addProcess(proc.path(), "7", "notes", QByteArray("notes\0", 6));
        addProcess(proc.path(), "8", "x", QByteArray("x\0", 2));
        SystemListenerLinux listener(sourcesFor(proc.path()));
        QSignalSpy spy(&listener, &SystemListenerLinux::sessionChangeDetected);
        listener.enableProcessListener(true);

        listener.setProcessesToCheck("NOTE");  // not the whole name
        listener.setProcessesToCheck("Notes");
        listener.setProcessesToCheck(";x;");   // three entries, the middle one matches
        listener.setProcessesToCheck(";;");    // only empty entries: they never match
        listener.setProcessesToCheck("");
        QCOMPARE(codes(spy), QList<int>({19, 18, 18, 19, 19}));

        // A process that ends stops matching at the next run.
        QVERIFY(QDir(proc.path() + "/8").removeRecursively());
        listener.setProcessesToCheck(";x;");
        listener.checkProcessesAndWindowsTitles();
        QCOMPARE(codes(spy).mid(5), QList<int>({19, 19}));
    }

    void timerFollowsBothChecks()
    {
        QTemporaryDir proc;
        SystemListenerLinux listener(sourcesFor(proc.path()));
        QSignalSpy spy(&listener, &SystemListenerLinux::sessionChangeDetected);

        // A list set while its check is off runs nothing for that check.
        listener.setProcessesToCheck("x");
        listener.setTitlesToCheck("x");
        QCOMPARE(spy.count(), 0);
        QVERIFY(!listener.isCheckTimerActive());

        listener.enableProcessListener(true);
        listener.enableWindowsTitleListener(true);
        QVERIFY(listener.isCheckTimerActive());
        listener.enableProcessListener(false);
        QVERIFY(listener.isCheckTimerActive());
        listener.setProcessesToCheck("y");
        QCOMPARE(codes(spy), QList<int>({21}));  // only the title check, no X display: none found

        listener.enableProcessListener(true);
        listener.checkProcessesAndWindowsTitles();
        QCOMPARE(codes(spy).mid(1), QList<int>({21, 19}));  // the title result comes first

        // The timer repeats the results every 2 seconds.
        spy.clear();
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 4, 5000);
        QCOMPARE(codes(spy).mid(0, 4), QList<int>({21, 19, 21, 19}));

        listener.enableWindowsTitleListener(false);
        listener.enableProcessListener(false);
        QVERIFY(!listener.isCheckTimerActive());
    }

    void realProcessMatchesUntilItEnds()
    {
        // A program whose name the kernel would cut to 15 characters.
        QTemporaryDir dir;
        const QString program = dir.path() + "/Lumora-Test-Sleeper-Long-Name";
        QVERIFY(QFile::copy("/bin/sleep", program));
        QProcess sleeper;
        sleeper.start(program, {"30"});
        QVERIFY(sleeper.waitForStarted());

        SystemListenerLinux listener(sourcesFor("/proc"));
        QSignalSpy spy(&listener, &SystemListenerLinux::sessionChangeDetected);
        listener.enableProcessListener(true);
        listener.setProcessesToCheck("lumora-test-sleeper-long-name");
        listener.setProcessesToCheck("lumora-test-sl");  // the cut name is no match
        QCOMPARE(codes(spy), QList<int>({18, 19}));

        sleeper.kill();
        QVERIFY(sleeper.waitForFinished());
        listener.setProcessesToCheck("lumora-test-sleeper-long-name");
        QCOMPARE(codes(spy).mid(2), QList<int>({19}));
    }
};

QTEST_GUILESS_MAIN(TestProcessList)
#include "tst_processlist.moc"
