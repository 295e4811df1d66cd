// The crash handler with the real program, each run in a home of its own:
// the handler's start and command line, a crash written as one report,
// restarts of a killed handler, back-off for a handler that cannot start,
// a missing handler, a second launch, no handler outliving the program,
// alternate signal stacks on every worker thread, the machine key in the
// reports, and datagrams from another user.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <signal.h>
#include <stddef.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "crash/client/crashreportdatabase.h"
#include "crash/client/handler_starter.h"
#include "tests/support/otheruser.h"
#include "tests/support/procstat.h"
#include "tests/support/trivialmodel.h"

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

double startSeconds(qint64 pid)
{
    const QList<QByteArray> f = procStatFields(pid);
    return f.size() > 22 ? f[21].toDouble() / sysconf(_SC_CLK_TCK) : -1;
}

class Launcher
{
public:
    // With open, the folders lie where every user may pass through, as
    // homes and /tmp usually are; the test's own temporary folder is closed.
    explicit Launcher(bool withHandler, bool open = false)
        : m_tmp(open ? QStringLiteral("/tmp/lumora-crashlaunch-XXXXXX")
                     : QDir::tempPath() + QStringLiteral("/lumora-crashlaunch-XXXXXX"))
    {
        m_bin = m_tmp.path() + "/bin";
        QDir().mkpath(m_bin);
        QFile::copy(LUMORA_EXE, m_bin + "/lumora");
        if (withHandler)
            QFile::copy(HANDLER_EXE, handlerPath());
        writeTrivialLandmarkModel(m_bin + "/data.dat");
        QDir().mkpath(m_tmp.path() + "/home");
        QDir().mkpath(m_tmp.path() + "/run");
        QFile::setPermissions(m_tmp.path() + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert("HOME", m_tmp.path() + "/home");
        m_env.remove("XDG_DATA_HOME");
        m_env.remove("XDG_CONFIG_HOME");
        m_env.insert("XDG_RUNTIME_DIR", m_tmp.path() + "/run");
        m_env.insert("QT_QPA_PLATFORM", "offscreen");
        if (open)
            for (const QString& dir : {m_tmp.path(), m_bin, m_tmp.path() + "/home"})
                ::chmod(QFile::encodeName(dir).constData(), 0755);
    }

    void setEnv(const QString& name, const QString& value) { m_env.insert(name, value); }
    void unsetEnv(const QString& name) { m_env.remove(name); }

    // throughPath: started by its bare name, found on PATH, as a desktop
    // launcher does (argv[0] then holds no folder).
    QProcess* start(bool throughPath = false)
    {
        auto* p = new QProcess;
        QProcessEnvironment env = m_env;
        env.insert("PATH", m_bin + ":" + env.value("PATH"));
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        if (throughPath)
            p->start("/bin/sh", {"-c", "exec lumora /m"});
        else
            p->start(m_bin + "/lumora", {"/m"});
        return p;
    }

    static bool waitFor(QProcess* p, QByteArray& out, const QByteArray& text, int ms = 30000)
    {
        QElapsedTimer t;
        t.start();
        while (!out.contains(text) && t.elapsed() < ms && p->state() != QProcess::NotRunning) {
            p->waitForReadyRead(50);
            out += p->readAll();
        }
        out += p->readAll();
        return out.contains(text);
    }

    QString handlerPath() const { return m_bin + "/crashwatch_handler"; }
    QString dumps() const { return m_tmp.path() + "/home/.local/share/lumora/dumps"; }
    QString path(const QString& name) const { return m_tmp.path() + "/" + name; }

    // Running handler processes started from this launcher's folder (also
    // after their file was replaced).
    QList<qint64> handlers() const
    {
        QList<qint64> pids;
        for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
            bool number;
            const qint64 pid = entry.toLongLong(&number);
            if (!number)
                continue;
            const QString exe = QFile::symLinkTarget("/proc/" + entry + "/exe");
            const QList<QByteArray> f = procStatFields(pid);
            if (exe.startsWith(handlerPath()) && f.size() > 2 && f[2] != "Z")
                pids << pid;
        }
        return pids;
    }

    QStringList commandLine(qint64 pid) const
    {
        QStringList args;
        for (const QByteArray& arg : readFile(QString("/proc/%1/cmdline").arg(pid)).split('\0'))
            args << QString::fromLocal8Bit(arg);
        if (!args.isEmpty() && args.last().isEmpty())
            args.removeLast();
        return args;
    }

private:
    QTemporaryDir m_tmp;
    QString m_bin;
    QProcessEnvironment m_env;
};

void terminate(QProcess* p)
{
    ::kill(pid_t(p->processId()), SIGTERM);
    QVERIFY(p->waitForFinished(20000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 0);
}

}  // namespace

class TestCrashLaunch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Crashes made on purpose leave no core files.
        const rlimit none = {0, 0};
        setrlimit(RLIMIT_CORE, &none);
    }

    void argumentVectorLeavesOutEmptySwitchesAndSortsAnnotations()
    {
        std::map<std::string, std::string> annotations;
        annotations["zeta"] = "1";
        annotations["Alpha"] = "";
        annotations["beta"] = "x=y";
        const std::vector<std::string> argv = crashwatch::HandlerArgumentVector(
            base::FilePath("/opt/h"), base::FilePath(), base::FilePath(), "", annotations, {"--a", "--b"}, 7);
        const std::vector<std::string> expected{"/opt/h", "--a", "--b", "--annotation=Alpha=",
                                                "--annotation=beta=x=y", "--annotation=zeta=1", "--handshake-fd=7"};
        QVERIFY(argv == expected);
    }

    void crashIsReportedOnceAndEndsTheProgram()
    {
        Launcher launcher(true);
        QScopedPointer<QProcess> p(launcher.start());
        QByteArray out;
        QVERIFY2(Launcher::waitFor(p.data(), out, "lumora app class constructed"), out.constData());
        QTRY_COMPARE_WITH_TIMEOUT(launcher.handlers().size(), 1, 10000);
        const qint64 handler = launcher.handlers().first();

        // The command line: path, the extra argument, database and metrics
        // folder, URL, annotations in key order (the machine key still
        // empty), the handshake descriptor last.
        const QStringList args = launcher.commandLine(handler);
        QCOMPARE(args.size(), 12);
        QCOMPARE(args[0], launcher.handlerPath());
        QCOMPARE(args[1], QString("--no-rate-limit"));
        QCOMPARE(args[2], "--database=" + launcher.dumps());
        QCOMPARE(args[3], "--metrics-dir=" + launcher.dumps());
        QVERIFY(args[4].startsWith("--url=https://"));
        const QStringList keys{"email", "format", "key", "prod", "token", "ver"};
        for (int i = 0; i < keys.size(); ++i)
            QVERIFY2(args[5 + i].startsWith("--annotation=" + keys[i] + "="), qPrintable(args[5 + i]));
        QCOMPARE(args[7], QString("--annotation=key="));
        QVERIFY(args[11].startsWith("--handshake-fd="));

        // The handler's generation changes on restarts; the port stays, so
        // a crash after five restarts still reaches the current handler.
        qint64 current = handler;
        double lastStart = startSeconds(current);
        for (int i = 0; i < 5; ++i) {
            // Give the current handler time to check in before it dies.
            QTest::qWait(300);
            QCOMPARE(::kill(pid_t(current), SIGKILL), 0);
            QList<qint64> now;
            QTRY_VERIFY_WITH_TIMEOUT((now = launcher.handlers()).size() == 1 && now.first() != current, 10000);
            const qint64 next = now.first();
            const double start = startSeconds(next);
            // Process start times count in clock ticks.
            QVERIFY2(start - lastStart >= 0.95, qPrintable(QString::number(start - lastStart)));
            // The command line shows once the new program has been loaded.
            QStringList nextArgs;
            QTRY_VERIFY((nextArgs = launcher.commandLine(next)).size() == args.size());
            QCOMPARE(nextArgs.mid(0, 11), args.mid(0, 11));
            current = next;
            lastStart = start;
        }
        QTest::qWait(300);
        QVERIFY(p->state() == QProcess::Running);

        const qint64 pid = p->processId();
        QElapsedTimer sinceCrash;
        sinceCrash.start();
        QCOMPARE(::kill(pid_t(pid), SIGSEGV), 0);
        QDir pending(launcher.dumps() + "/pending");
        QTRY_VERIFY_WITH_TIMEOUT(!pending.entryList({"*.dmp"}, QDir::Files).isEmpty(), 2000);
        // The answered program ends at once (the port layer would wait 10 s
        // for an answer that does not come).
        QVERIFY(p->state() == QProcess::NotRunning || p->waitForFinished(3000));
        QVERIFY(sinceCrash.elapsed() < 3000);
        out += p->readAll();
        QCOMPARE(p->exitStatus(), QProcess::CrashExit);
        QCOMPARE(p->exitCode(), SIGSEGV);

        const QStringList reports = pending.entryList({"*.dmp"}, QDir::Files);
        QCOMPARE(reports.size(), 1);
        QVERIFY(QDir(launcher.dumps() + "/new").entryList(QDir::Files).isEmpty());
        const QByteArray report = readFile(pending.filePath(reports.first()));
        QVERIFY2(report.contains("signal: 11 (SIGSEGV)"), report.constData());
        QVERIFY(report.contains(QString("process: %1\n").arg(pid).toUtf8()));
        QVERIFY(report.contains("format=minidump\n"));
        QVERIFY(report.contains("prod=lumoraMAC\n"));
        QVERIFY(report.contains("key=\n"));
        QVERIFY(report.contains("  rip 0x"));
        // Sent by kill, not raised by a fault: the sender's pid is no
        // fault address.
        QVERIFY2(!report.contains("fault address"), report.constData());
        // The report's metadata, as the database reads it.
        auto database = crashwatch::CrashReportDatabase::OpenExisting(base::FilePath(launcher.dumps().toStdString()));
        QVERIFY(database);
        std::vector<crashwatch::CrashReportDatabase::Report> listed;
        QCOMPARE(database->ListPendingReports(&listed), crashwatch::CrashReportDatabase::kNoError);
        QCOMPARE(listed.size(), size_t(1));
        QCOMPARE(QString::fromStdString(listed[0].uuid.FormatText()) + ".dmp", reports.first());
        QVERIFY(qAbs(qint64(listed[0].creation_time) - QDateTime::currentSecsSinceEpoch()) < 60);
        QCOMPARE(listed[0].total_size, quint64(report.size()));

        // The handler does not outlive the program.
        QTRY_COMPARE_WITH_TIMEOUT(launcher.handlers().size(), 0, 3000);
    }

    // A stack overflow is reported only on a thread with an alternate
    // signal stack: the main thread and each of the four workers have one.
    void everyWorkerThreadHasAnAlternateSignalStack()
    {
        Launcher launcher(true);
        launcher.setEnv("LD_PRELOAD", ALTSTACK_SHIM);
        QScopedPointer<QProcess> p(launcher.start());
        QByteArray out;
        QVERIFY2(Launcher::waitFor(p.data(), out, "LumoraGUI::init()"), out.constData());
        QTest::qWait(300);
        out += p->readAll();
        const qint64 pid = p->processId();
        // The workers' threads carry their names.
        const QList<qint64> workers = namedThreads(pid, {"Model", "Statistics", "Server", "Controller"});
        QCOMPARE(workers.size(), 4);
        for (qint64 thread : workers + QList<qint64>{pid})
            QVERIFY2(out.contains("alternate signal stack for thread " + QByteArray::number(thread) + "\n"),
                     qPrintable(QString::number(thread)));
        terminate(p.data());
    }

    // The stored machine identifier reaches the handler only in the form
    // the program makes it; the store keeps whatever it holds.
    void machineKeyAnnotationOnlyInTheProgramsForm_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("key");
        const QString made = "MAC-0F3A9C21-77B4-4E0D-A1C2-9B8E7D6F5A43";
        QTest::newRow("made by the program") << made << made;
        QTest::newRow("with newlines") << made + "\nfake=1\n" << QString();
        QTest::newRow("200 KiB") << "MAC-" + QString(200 * 1024, 'A') << QString();
    }

    void machineKeyAnnotationOnlyInTheProgramsForm()
    {
        QFETCH(QString, stored);
        QFETCH(QString, key);
        Launcher launcher(true);
        const QString store = launcher.path("home/.config/Harnwick/lumora.conf");
        {
            QSettings settings(store, QSettings::IniFormat);
            settings.setValue("LL/DICP", stored);
        }
        QScopedPointer<QProcess> p(launcher.start());
        QByteArray out;
        QVERIFY2(Launcher::waitFor(p.data(), out, "lumora app class constructed"), out.constData());
        QTRY_COMPARE_WITH_TIMEOUT(launcher.handlers().size(), 1, 10000);
        QVERIFY(launcher.commandLine(launcher.handlers().first()).contains("--annotation=key=" + key));
        QTest::qWait(300);

        // Crash reporting works: a crash leaves a report with the six
        // annotations, one line each.
        QCOMPARE(::kill(pid_t(p->processId()), SIGSEGV), 0);
        QVERIFY(p->waitForFinished(5000));
        QDir pending(launcher.dumps() + "/pending");
        QTRY_COMPARE_WITH_TIMEOUT(pending.entryList({"*.dmp"}, QDir::Files).size(), 1, 3000);
        const QByteArray report = readFile(pending.filePath(pending.entryList({"*.dmp"}, QDir::Files).first()));
        const QList<QByteArray> annotations = report.mid(report.indexOf("annotations:\n") + 13).split('\n');
        QCOMPARE(annotations.size(), 7);
        QCOMPARE(annotations[2], "  key=" + key.toUtf8());
        QVERIFY(!report.contains("fake"));
        QCOMPARE(QSettings(store, QSettings::IniFormat).value("LL/DICP").toString(), stored);
    }

    // No other user reaches a named socket of the program or its handler
    // (found from /proc/net/unix and their descriptors): the kernel refuses
    // its datagram or connection, without a runtime folder too; and crashes
    // are still reported.
    void anotherUserCannotReachThePorts()
    {
        if (geteuid() != 0)
            QSKIP("needs root to try the sockets as another, non-root user");
        QTemporaryDir shared(QStringLiteral("/tmp/lumora-shared-XXXXXX"));
        QCOMPARE(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
        Launcher launcher(true, true);
        launcher.unsetEnv("XDG_RUNTIME_DIR");
        launcher.setEnv("TMPDIR", shared.path());
        QScopedPointer<QProcess> p(launcher.start());
        QByteArray out;
        QVERIFY2(Launcher::waitFor(p.data(), out, "LumoraGUI::init()"), out.constData());
        QTRY_COMPARE_WITH_TIMEOUT(launcher.handlers().size(), 1, 10000);
        const qint64 handler = launcher.handlers().first();
        QTest::qWait(300);

        QSet<QByteArray> inodes;
        for (const qint64 pid : {p->processId(), handler}) {
            const QString fds = QString("/proc/%1/fd").arg(pid);
            for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System)) {
                const QString target = QFile::symLinkTarget(fds + "/" + fd);
                if (target.contains("socket:["))
                    inodes << target.section('[', 1).section(']', 0, 0).toUtf8();
            }
        }
        // Num RefCount Protocol Flags Type St Inode Path: the named ones.
        QList<QPair<QByteArray, int>> named;
        for (const QByteArray& line : readFile("/proc/net/unix").split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() == 8 && inodes.contains(f[6]))
                named << qMakePair(f[7], f[4].toInt(nullptr, 16));
        }
        // The guard's socket, the client's notify port and the exception
        // port at least.
        QStringList paths;
        for (const auto& socket : named)
            paths << QString::fromLocal8Bit(socket.first);
        QVERIFY2(named.size() >= 3, qPrintable(paths.join(' ')));
        qInfo() << "named sockets:" << paths;
        QStringList reached;
        for (const auto& socket : named) {
            const QByteArray path = socket.first;
            const int type = socket.second;
            const bool refused = asUser(kTestUser, [&path, type] {
                sockaddr_un address = {};
                address.sun_family = AF_UNIX;
                const bool abstract = path.startsWith('@');
                memcpy(address.sun_path + (abstract ? 1 : 0), path.constData() + (abstract ? 1 : 0),
                       size_t(qMin<int>(path.size(), int(sizeof(address.sun_path)) - 1)) - (abstract ? 1 : 0));
                const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(path.size()) +
                                                   (abstract ? 0 : 1));
                const int fd = ::socket(AF_UNIX, type, 0);
                const char byte = 0;
                if (type == SOCK_DGRAM)
                    return sendto(fd, &byte, 1, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&address), length) == -1;
                return ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == -1;
            });
            if (!refused)
                reached << QString::fromLocal8Bit(path);
        }
        QVERIFY2(reached.isEmpty(), qPrintable(reached.join(' ')));
        QVERIFY(p->state() == QProcess::Running);

        // The client still restarts its handler, and a crash is reported.
        QCOMPARE(::kill(pid_t(handler), SIGKILL), 0);
        QList<qint64> now;
        QTRY_VERIFY_WITH_TIMEOUT((now = launcher.handlers()).size() == 1 && now.first() != handler, 10000);
        QTest::qWait(300);
        QCOMPARE(::kill(pid_t(p->processId()), SIGSEGV), 0);
        QVERIFY(p->waitForFinished(5000));
        QDir pending(launcher.dumps() + "/pending");
        QTRY_COMPARE_WITH_TIMEOUT(pending.entryList({"*.dmp"}, QDir::Files).size(), 1, 3000);
    }

    void failingRestartsBackOffAndEnd()
    {
        Launcher launcher(true);
        launcher.setEnv("CRASHWATCH_RESTART_BACKOFF_CAP_MS", "4000");
        launcher.setEnv("CRASHWATCH_RESTART_FAILURE_LIMIT", "4");
        QScopedPointer<QProcess> p(launcher.start());
        QByteArray out;
        QVERIFY2(Launcher::waitFor(p.data(), out, "LumoraGUI::init()"), out.constData());
        QTRY_COMPARE_WITH_TIMEOUT(launcher.handlers().size(), 1, 10000);
        const qint64 handler = launcher.handlers().first();
        QTest::qWait(1000);

        // From now on the handler cannot start: it notes its try and fails.
        const QString attempts = launcher.path("attempts");
        QFile::remove(launcher.handlerPath());
        {
            QFile script(launcher.handlerPath());
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\ndate +%s.%N >> '" + attempts.toUtf8() + "'\nexit 3\n");
        }
        QVERIFY(QFile::setPermissions(launcher.handlerPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        const double cpuBefore = processCpuSeconds(p->processId());
        QElapsedTimer window;
        window.start();
        QCOMPARE(::kill(pid_t(handler), SIGKILL), 0);
        // Tries at once, then after 2 s, then 4 s twice (the cap); then no
        // more.
        const auto tries = [&attempts] {
            QList<double> times;
            for (const QByteArray& line : readFile(attempts).split('\n'))
                if (!line.isEmpty())
                    times << line.toDouble();
            return times;
        };
        QTRY_VERIFY_WITH_TIMEOUT(tries().size() >= 4, 25000);
        QTest::qWait(5000);
        const double cpu = processCpuSeconds(p->processId()) - cpuBefore;
        const double seconds = window.elapsed() / 1000.0;
        out += p->readAll();

        const QList<double> times = tries();
        QVERIFY2(times.size() == 4, out.constData());
        const double spacing[] = {2, 4, 4};
        for (int i = 1; i < times.size(); ++i) {
            const double gap = times[i] - times[i - 1];
            QVERIFY2(gap >= spacing[i - 1] - 0.1 && gap < spacing[i - 1] + 2.5, qPrintable(QString::number(gap)));
        }
        QVERIFY(p->state() == QProcess::Running);
        QVERIFY2(cpu / seconds < 0.01, qPrintable(QString("%1 s of CPU in %2 s").arg(cpu).arg(seconds)));
        terminate(p.data());
    }

    void missingHandlerLeavesProgramRunning()
    {
        Launcher launcher(false);
        QScopedPointer<QProcess> p(launcher.start());
        QByteArray out;
        QVERIFY2(Launcher::waitFor(p.data(), out, "LumoraGUI::init()"), out.constData());
        // The handler process's own entry, then the program's failed read.
        QVERIFY2(out.contains("] execvp " + launcher.handlerPath().toUtf8()), out.constData());
        QVERIFY(out.contains("ReadExactly: expected 8, observed 0"));
        terminate(p.data());
    }

    void secondLaunchStartsNoHandlerAndNoneOutlivesTheProgram()
    {
        Launcher launcher(true);
        QScopedPointer<QProcess> first(launcher.start(true));
        QByteArray out;
        QVERIFY2(Launcher::waitFor(first.data(), out, "LumoraGUI::init()"), out.constData());
        QTRY_COMPARE_WITH_TIMEOUT(launcher.handlers().size(), 1, 10000);
        const QList<qint64> before = launcher.handlers();

        QScopedPointer<QProcess> second(launcher.start());
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitCode(), 0);
        QTest::qWait(500);
        QCOMPARE(launcher.handlers(), before);

        terminate(first.data());
        QTRY_COMPARE_WITH_TIMEOUT(launcher.handlers().size(), 0, 3000);
    }
};

QTEST_GUILESS_MAIN(TestCrashLaunch)
#include "tst_crashlaunch.moc"
