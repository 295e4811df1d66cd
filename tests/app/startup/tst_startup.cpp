// Start-up and shut-down of the real program, run as a child process with a
// home of its own: data directory, log files, the initialisation chain, the
// "/m" argument, connection warnings and the SIGTERM shut-down.

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QDirIterator>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include "app/uniqueapplication/uniqueapplication_p.h"
#include "tests/support/desktop.h"
#include "tests/support/hostileinputs.h"
#include "tests/support/otheruser.h"
#include "tests/support/reachablecopy.h"
#include "tests/support/trivialmodel.h"

// Users of this test's own, apart from those of the guard's test, which
// may run at the same time.
constexpr uid_t kStartupUser = 47311;
constexpr uid_t kStartupOtherUser = 47312;

namespace {

struct Run {
    QString out;     // standard output and error together
    QString logDir;  // ~/.local/share/lumora/logs
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
};

class Launcher
{
public:
    // With openHome the home lies in a folder every user may pass through,
    // as homes usually do; the test's own temporary folder is closed.
    explicit Launcher(bool withModel, bool openHome = false)
        : m_tmp(openHome ? QStringLiteral("/tmp/lumora-startup-XXXXXX") : QDir::tempPath() + "/lumora-startup-XXXXXX")
    {
        m_bin = m_tmp.path() + "/bin";
        QDir().mkpath(m_bin);
        QFile::copy(LUMORA_EXE, m_bin + "/lumora");
        if (withModel)
            writeTrivialLandmarkModel(m_bin + "/data.dat");
        m_home = m_tmp.path() + "/home";
        QDir().mkpath(m_home);
        if (openHome)
            for (const QString& dir : {m_tmp.path(), m_home})
                ::chmod(QFile::encodeName(dir).constData(), 0755);
        QDir().mkpath(m_tmp.path() + "/run");
        QFile::setPermissions(m_tmp.path() + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Through wrapper (a program and its arguments, the program's path and
    // args follow) when one is given.
    QProcess* start(const QStringList& args, const QStringList& wrapper = {})
    {
        auto* p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_home);
        env.remove("XDG_DATA_HOME");
        env.remove("XDG_CONFIG_HOME");
        env.insert("XDG_RUNTIME_DIR", m_tmp.path() + "/run");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        if (wrapper.isEmpty())
            p->start(m_bin + "/lumora", args);
        else
            p->start(wrapper.first(), wrapper.mid(1) + QStringList{m_bin + "/lumora"} + args);
        return p;
    }

    // As start, as a plain user who owns the home, with tmp as the
    // temporary folder and no runtime folder; what the sanitizer's options
    // name is read from reachable.
    QProcess* startAs(uid_t uid, const QStringList& args, const QString& tmp, ReachableCopy& reachable)
    {
        auto* p = new QProcess;
        QProcessEnvironment env = reachable.environment(QProcessEnvironment::systemEnvironment());
        for (const QString& name : env.keys())
            if (name.startsWith("XDG_"))
                env.remove(name);
        env.insert("HOME", m_home);
        env.insert("TMPDIR", tmp);
        env.insert("USER", "lumora-user");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        const QString id = QString::number(uid);
        p->start("setpriv", QStringList{"--reuid=" + id, "--regid=" + id, "--clear-groups", "--", exe()} + args);
        return p;
    }

    QString exe() const { return m_bin + "/lumora"; }
    QString home() const { return m_home; }

    // Reads the child's output until it holds the text (or the time is up).
    static bool waitFor(QProcess* p, QString& out, const QString& text, int ms = 30000)
    {
        QElapsedTimer t;
        t.start();
        while (!out.contains(text) && t.elapsed() < ms) {
            p->waitForReadyRead(100);
            out += QString::fromLocal8Bit(p->readAll());
            if (p->state() == QProcess::NotRunning) {
                out += QString::fromLocal8Bit(p->readAll());
                break;
            }
        }
        return out.contains(text);
    }

    static void terminate(QProcess* p, Run& run, int signal = SIGTERM)
    {
        ::kill(pid_t(p->processId()), signal);
        QVERIFY(p->waitForFinished(20000));
        run.out += QString::fromLocal8Bit(p->readAll());
        run.exitCode = p->exitCode();
        run.status = p->exitStatus();
    }

    QString dataDir() const { return m_home + "/.local/share/lumora"; }

private:
    QTemporaryDir m_tmp;
    QString m_bin;
    QString m_home;
};

int indexOfLine(const QString& out, const QString& text)
{
    return out.indexOf(text);
}

void expectCleanOutput(const QString& out)
{
    // Qt's tray icon on the offscreen platform asks for an X11-only signal;
    // that line is Qt's own, not a connection of the program.
    QString own = out;
    own.remove("QObject::connect: No such signal QPlatformNativeInterface::systemTrayWindowChanged(QScreen*)");
    QVERIFY2(!own.contains("QObject::connect"), qPrintable(out));
    QVERIFY2(!out.contains("QMetaObject::"), qPrintable(out));
    QVERIFY2(!out.contains("Sanitizer"), qPrintable(out));
    QVERIFY2(!out.contains("runtime error:"), qPrintable(out));
    QVERIFY2(!out.contains("QThread: Destroyed while thread is still running"), qPrintable(out));
}

}  // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    // A log-out, and the terminal the program was started from closing.
    void chainRunsInOrderAndShutsDownOnQuitSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void chainRunsInOrderAndShutsDownOnQuitSignal()
    {
        QFETCH(int, signal);
        Launcher launcher(true);
        QScopedPointer<QProcess> p(launcher.start({"/m"}));
        Run run;
        QVERIFY2(Launcher::waitFor(p.data(), run.out, "LumoraGUI::init()"), qPrintable(run.out));
        Launcher::terminate(p.data(), run, signal);
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        expectCleanOutput(run.out);

        const QStringList chain = {"Model::init()", "StatisticsController::init ", "ServerController::init()",
                                   "ApplicationController::init()", "LumoraGUI::init()"};
        int last = -1;
        for (const QString& step : chain) {
            const int at = indexOfLine(run.out, step);
            QVERIFY2(at > last, qPrintable(step));
            last = at;
        }
        for (const char* q : {"ApplicationController::quit()", "Model::quit()", "StatisticsController::quit()",
                                 "ServerController::quit()"})
            QVERIFY2(run.out.contains(q), qPrintable(QString(q)));
        QVERIFY(run.out.contains("LumoraApplication::~LumoraApplication()"));

        // Data directory with its folders, and log files of the right form.
        const QString dumps = launcher.dataDir() + "/dumps";
        QVERIFY(QDir(dumps).exists());
        // The crash report database is prepared, with uploads allowed.
        for (const char* state : {"new", "pending", "completed"})
            QVERIFY2(QDir(dumps + "/" + state).exists(), state);
        QFile crashSettings(dumps + "/settings.dat");
        QVERIFY(crashSettings.open(QIODevice::ReadOnly));
        const QByteArray record = crashSettings.readAll();
        QCOMPARE(record.size(), 40);
        QCOMPARE(record.at(8) & 1, 1);
        const QString logs = launcher.dataDir() + "/logs";
        const QStringList files = QDir(logs).entryList({"Log_*.txt"}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY(QRegularExpression(R"(^Log_\d{4}_\d{2}_\d{2}__\d{2}_\d{2}_\d{2}_\d{3}\.txt$)")
                    .match(files.first()).hasMatch());
        QVERIFY(QFile::exists(logs + "/stderr.log"));
        QFile log(logs + "/" + files.first());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        QVERIFY(QRegularExpression(R"(\n\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZDebug: Model::init\(\)\n)").match(text).hasMatch());
        QVERIFY(text.contains("Debug: LumoraGUI::init()"));
        // The log holds the shut-down to its last line, whole.
        QVERIFY(text.contains("Debug: LumoraApplication::~LumoraApplication()\n"));
        QVERIFY2(text.endsWith('\n'), qPrintable(text.right(300)));
    }

    void chainStopsWithoutModelAndStillQuits()
    {
        Launcher launcher(false);
        QScopedPointer<QProcess> p(launcher.start({"/m"}));
        Run run;
        QVERIFY2(Launcher::waitFor(p.data(), run.out, "Unable to read file data.dat."), qPrintable(run.out));
        QTest::qWait(1500);
        run.out += QString::fromLocal8Bit(p->readAll());
        Launcher::terminate(p.data(), run);
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        expectCleanOutput(run.out);
        QVERIFY(!run.out.contains("StatisticsController::init "));
        QVERIFY(!run.out.contains("ServerController::init()"));
        QVERIFY(!run.out.contains("ApplicationController::init()"));
        QVERIFY(!run.out.contains("LumoraGUI::init()"));
        QVERIFY(run.out.contains("Model::quit()"));
    }

    void secondLaunchLeavesFirstOnesFilesAlone()
    {
        Launcher launcher(true);
        QScopedPointer<QProcess> first(launcher.start({"/m"}));
        Run run;
        QVERIFY2(Launcher::waitFor(first.data(), run.out, "LumoraGUI::init()"), qPrintable(run.out));

        // A marker in the running instance's error log, and old files that a
        // trimming of the log folder would delete.
        const QString logs = launcher.dataDir() + "/logs";
        {
            QFile err(logs + "/stderr.log");
            QVERIFY(err.open(QIODevice::Append));
            err.write("marker of the first instance\n");
        }
        for (int i = 0; i < 11; ++i) {
            QFile old(logs + QString("/old_%1.txt").arg(i));
            QVERIFY(old.open(QIODevice::WriteOnly));
        }
        const QStringList before = QDir(logs).entryList(QDir::Files, QDir::Name);

        QScopedPointer<QProcess> second(launcher.start({}));
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);

        QCOMPARE(QDir(logs).entryList(QDir::Files, QDir::Name), before);
        QFile err(logs + "/stderr.log");
        QVERIFY(err.open(QIODevice::ReadOnly));
        QVERIFY(err.readAll().contains("marker of the first instance"));

        Launcher::terminate(first.data(), run);
        QCOMPARE(run.exitCode, 0);
        expectCleanOutput(run.out);
    }

    void dataFolderIsPrivate_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("new") << false;
        QTest::newRow("existing, open to all") << true;
    }

    void dataFolderIsPrivate()
    {
        QFETCH(bool, existing);
        if (::geteuid() != 0)
            QSKIP("needs root to look at the files as another user");
        Launcher launcher(true, true);
        const QString data = launcher.dataDir();
        // The usual home: every user may pass through to ~/.local/share.
        const QString share = QFileInfo(data).path();
        QVERIFY(QDir().mkpath(share));
        for (const QString& path : {QFileInfo(share).path(), share})
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0755), 0);
        if (existing) {
            // As an older version left it: everything readable by all.
            QVERIFY(QDir().mkpath(data + "/logs"));
            QFile old(data + "/logs/Log_old.txt");
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("host and identifiers\n");
            old.close();
            for (const QString& path : {data, data + "/logs"})
                QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0755), 0);
            QCOMPARE(::chmod(QFile::encodeName(old.fileName()).constData(), 0644), 0);
        }
        QScopedPointer<QProcess> p(launcher.start({"/m"}));
        Run run;
        QVERIFY2(Launcher::waitFor(p.data(), run.out, "LumoraGUI::init()"), qPrintable(run.out));

        struct stat st;
        QCOMPARE(::lstat(QFile::encodeName(data).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        // Every file and folder in it, the logs and the crash client's
        // settings among them, is closed to another user: tried for real.
        QList<QByteArray> files, dirs{QFile::encodeName(data)};
        QDirIterator it(data, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            (it.fileInfo().isDir() ? dirs : files) << QFile::encodeName(it.filePath());
        }
        for (const char* name : {"/logs/stderr.log", "/dumps/settings.dat"})
            QVERIFY2(files.contains(QFile::encodeName(data + name)), name);
        QVERIFY(std::any_of(files.begin(), files.end(), [](const QByteArray& f) { return f.contains("/logs/Log_"); }));
        QVERIFY(asUser(kStartupOtherUser, [&] {
            for (const QByteArray& file : files)
                if (::open(file.constData(), O_RDONLY) != -1)
                    return false;
            for (const QByteArray& dir : dirs)
                if (::opendir(dir.constData()) != nullptr)
                    return false;
            return true;
        }));
        // The check itself sees files that are open to others.
        QVERIFY(asUser(kStartupOtherUser, [&] {
            return ::opendir(QFile::encodeName(share).constData()) != nullptr;
        }));

        Launcher::terminate(p.data(), run);
        QCOMPARE(run.exitCode, 0);
    }

    void anotherUserCannotKeepItFromStarting()
    {
        if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("needs root and setpriv to run the program as two other local users");
        // The squatter's program where the other user can run it.
        ReachableCopy reachable;
        const QString squatterProgram = reachable.addProgram(UNIQUE_HELPER);
        if (!reachable.unreachableBy(kStartupOtherUser).isEmpty())
            QSKIP(qPrintable(reachable.unreachableBy(kStartupOtherUser)));
        removeTestUsersIpc(kStartupUser, kStartupOtherUser);
        Launcher launcher(true, true);
        QCOMPARE(::chown(QFile::encodeName(launcher.home()).constData(), kStartupUser, kStartupUser), 0);
        QTemporaryDir shared(QStringLiteral("/tmp/lumora-shared-XXXXXX"));
        QCOMPARE(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);

        // The other user takes the names of the guard in the shared
        // temporary folder first: block, lock, socket folder and socket.
        const QString name = UniqueApplicationPrivate::makeBlockServerName(
            "lumora", {}, {}, {}, {}, QFileInfo(launcher.exe()).canonicalFilePath(), {},
            UniqueApplication::NotifyOnSecondary);
        const QString key = UniqueApplicationPrivate::sharedMemoryKey(name, kStartupUser);
        QProcess squatter;
        QProcessEnvironment squatterEnv = reachable.environment(QProcessEnvironment::systemEnvironment());
        squatterEnv.insert("TMPDIR", shared.path());
        squatter.setProcessEnvironment(squatterEnv);
        const QString other = QString::number(kStartupOtherUser);
        squatter.start("setpriv", {"--reuid=" + other, "--regid=" + other, "--clear-groups", "--", squatterProgram,
                                   "--squat", key, "--listen", shared.path() + "/" + key, "--folder",
                                   shared.path() + "/uniqueapplication-" + QString::number(kStartupUser)});
        QString said;
        QVERIFY(Launcher::waitFor(&squatter, said, "squatting"));

        QScopedPointer<QProcess> first(launcher.startAs(kStartupUser, {"/m"}, shared.path(), reachable));
        Run run;
        QVERIFY2(Launcher::waitFor(first.data(), run.out, "LumoraGUI::init()"), qPrintable(run.out));
        // Its socket is where the user's own, private folder is.
        const QString socket = UniqueApplicationPrivate::sharedMemoryKey(name.left(22), kStartupUser);
        const QString privateDir =
            launcher.home() + "/.local/share/lumora/" + UniqueApplicationPrivate::hostFolderName();
        QVERIFY2(QFileInfo(privateDir + "/" + socket).exists(), qPrintable(QDir(privateDir).entryList().join(' ')));

        // A second launch reaches the first, not the other user.
        QScopedPointer<QProcess> second(launcher.startAs(kStartupUser, {}, shared.path(), reachable));
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitCode(), 0);
        QVERIFY2(Launcher::waitFor(first.data(), run.out, "LumoraGUI::openWindow()"), qPrintable(run.out));
        squatter.waitForReadyRead(300);
        said += QString::fromLocal8Bit(squatter.readAll());
        // Nothing reached the other user's socket (Qt's own notes on names
        // taken by other tests' users may stand beside it).
        QVERIFY2(said.contains("squatting") && !said.contains("intercepted"), qPrintable(said));

        Launcher::terminate(first.data(), run);
        QCOMPARE(run.exitCode, 0);
        squatter.write("quit\n");
        QVERIFY(squatter.waitForFinished(10000));
        removeTestUsersIpc(kStartupUser, kStartupOtherUser);
    }

    // A settings file Qt cannot read (one value claims a list of 2^31
    // elements, one nests a list deeper than its reader's stack allows, one
    // far larger than any settings file, the values of kinds it never
    // stores) is kept aside whole before the first read, with one warning,
    // and the program starts with the defaults, at once, in little memory.
    void unreadableSettingsFileIsKeptAside_data()
    {
        // After "[G]\nTBRR=20\n": head, count times unit, tail.
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("tail");
        QTest::newRow("claims 2^31 elements")
            << QByteArray("ZZZ=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n") << QByteArray() << 0 << QByteArray();
        QTest::newRow("nested 300,000 deep")
            << QByteArray("ZZZ=@Variant(") << QByteArray("\\0\\0\\0\\t\\0\\0\\0\\x1") << 300000
            << QByteArray("\\0\\0\\0\\t\\0\\0\\0\\0)\n");
        QTest::newRow("150 MB") << QByteArray("ZZZ=") << QByteArray(1000, 'z') << 150000 << QByteArray("\n");
        for (const auto& value : hostile::settingsValuesOfOtherKinds())
            QTest::newRow(value.first) << "ZZZ=" + value.second + "\n" << QByteArray() << 0 << QByteArray();
    }

    void unreadableSettingsFileIsKeptAside()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, unit);
        QFETCH(int, count);
        QFETCH(QByteArray, tail);
        Launcher launcher(true);
        const QString config = launcher.home() + "/.config/Harnwick";
        QVERIFY(QDir().mkpath(config));
        QFile conf(config + "/lumora.conf");
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[G]\nTBRR=20\n" + head);
        for (int i = 0; i < count; ++i)
            conf.write(unit);
        conf.write(tail);
        conf.close();
        const auto sha1 = [](const QString& path) {
            QFile file(path);
            QCryptographicHash hash(QCryptographicHash::Sha1);
            return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
        };
        const QByteArray damaged = sha1(conf.fileName());

        // Under AddressSanitizer too, an allocation beyond any size fails
        // as the C library's does (Qt then throws) instead of ending the run.
        const QByteArray sanitizer = qgetenv("ASAN_OPTIONS");
        qputenv("ASAN_OPTIONS", sanitizer + (sanitizer.isEmpty() ? "" : ":") + "allocator_may_return_null=1");
        QElapsedTimer started;
        started.start();
        QScopedPointer<QProcess> p(launcher.start({"/m"}));
        qputenv("ASAN_OPTIONS", sanitizer);
        Run run;
        QVERIFY2(Launcher::waitFor(p.data(), run.out, "load settings finished", 10000), qPrintable(run.out));
        QTest::qWait(int(qMax<qint64>(0, 8000 - started.elapsed())));
        QCOMPARE(p->state(), QProcess::Running);
        const long peak = hostile::peakMegabytes(p->processId());
        qInfo("peak resident memory %ld MB", peak);
        QVERIFY2(peak > 0 && peak < 400, qPrintable(QString::number(peak)));

        const QStringList aside = QDir(config).entryList({"lumora.conf.unreadable-*"}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(sha1(config + "/" + aside.first()), damaged);
        // A new file with the first start's values, none of the damaged one's,
        // for the user's eyes only.
        QSettings fresh(config + "/lumora.conf", QSettings::IniFormat);
        QCOMPARE(int(QFile::permissions(fresh.fileName()) & 0x7077), int(QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(fresh.contains("G/QT_locale_name"));
        QVERIFY(!fresh.contains("G/TBRR") && !fresh.contains("G/ZZZ"));
        const QStringList logs = QDir(launcher.dataDir() + "/logs").entryList({"Log_*.txt"}, QDir::Files);
        QCOMPARE(logs.size(), 1);
        QFile log(launcher.dataDir() + "/logs/" + logs.first());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        QCOMPARE(text.count(QRegularExpression("Warning: .*lumora\\.conf")), 1);

        Launcher::terminate(p.data(), run);
        QCOMPARE(run.exitCode, 0);
    }

    // Something other than a regular file where the program keeps its own
    // files never holds the start: the error log is kept aside and made
    // anew, the crash database goes without its settings; a settings file
    // that cannot be moved aside (its folder cannot be written) and the
    // organisation's file are left where they are and never opened.
    void nonRegularOwnFilesDoNotHoldTheStart_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("link");
        QTest::addColumn<bool>("keptAside");
        QTest::addColumn<bool>("readOnlyFolder");
        const QString data = ".local/share/lumora/";
        QTest::newRow("FIFO at stderr.log") << data + "logs/stderr.log" << false << true << false;
        QTest::newRow("link to a FIFO at stderr.log") << data + "logs/stderr.log" << true << true << false;
        QTest::newRow("FIFO at the crash settings") << data + "dumps/settings.dat" << false << false << false;
        QTest::newRow("FIFO at the settings, folder not writable")
            << ".config/Harnwick/lumora.conf" << false << false << true;
        QTest::newRow("FIFO at the organisation's settings") << ".config/Harnwick.conf" << false << false << false;
    }

    void nonRegularOwnFilesDoNotHoldTheStart()
    {
        QFETCH(QString, file);
        QFETCH(bool, link);
        QFETCH(bool, keptAside);
        QFETCH(bool, readOnlyFolder);
        if (readOnlyFolder && (::geteuid() != 0 || QStandardPaths::findExecutable("unshare").isEmpty()))
            QSKIP("a folder even root cannot write takes a read-only mount, in a mount namespace of root's");
        Launcher launcher(true);
        const QString path = launcher.home() + "/" + file;
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        const QString fifo = link ? launcher.home() + "/fifo" : path;
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        if (link)
            QVERIFY(QFile::link(fifo, path));

        // The folder mounted read-only over itself, for the program alone.
        const QStringList readOnly{"unshare",
                                   "-m",
                                   "sh",
                                   "-c",
                                   "mount --bind \"$0\" \"$0\" && mount -o remount,ro,bind \"$0\" && exec \"$@\"",
                                   QFileInfo(path).path()};
        QScopedPointer<QProcess> p(launcher.start({"/m"}, readOnlyFolder ? readOnly : QStringList()));
        Run run;
        QVERIFY2(Launcher::waitFor(p.data(), run.out, "load settings finished", 10000), qPrintable(run.out));
        QVERIFY(QFileInfo(fifo).exists());
        if (keptAside) {
            QVERIFY(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink());
            QCOMPARE(QDir(QFileInfo(path).path()).entryList({QFileInfo(path).fileName() + ".not-a-file-*"},
                                                             QDir::System | QDir::Files).size(),
                     1);
        }
        Launcher::terminate(p.data(), run);
        QCOMPARE(run.exitCode, 0);
        expectCleanOutput(run.out);
    }

    // Started with standard descriptors closed (">&-", as some launchers
    // and service managers do), it neither hands the X connection its log
    // lines nor waits for it for good: the tray icon appears, SIGTERM ends it.
    void closedStandardDescriptorsHoldNothing_data()
    {
        QTest::addColumn<QString>("redirections");
        QTest::newRow("1 and 2 closed") << ">&- 2>&-";
        QTest::newRow("1 closed") << ">&-";
        QTest::newRow("2 closed") << "2>&-";
    }

    void closedStandardDescriptorsHoldNothing()
    {
        QFETCH(QString, redirections);
        QTemporaryDir dir;
        Desktop desk;
        QVERIFY(desk.start(dir.path()));
        QVERIFY(desk.startTray());
        Program lumora(dir.path());
        QProcess p;
        QProcessEnvironment env = lumora.environment(desk.env);
        env.insert("XDG_DATA_HOME", dir.path() + "/data");
        p.setProcessEnvironment(env);
        p.start("sh", {"-c", "exec \"$0\" /m " + redirections, lumora.path()});
        QVERIFY(p.waitForStarted(10000));
        QVERIFY(!desk.settledTrayIcon(20000).isEmpty());
        // Once it has come so far that SIGTERM is handled: its log tells.
        const auto logged = [&] {
            const QString logs = dir.path() + "/data/lumora/logs/";
            QFile log(logs + QDir(logs).entryList({"Log_*.txt"}).value(0));
            return log.open(QIODevice::ReadOnly) && log.readAll().contains("load settings finished");
        };
        QTRY_VERIFY_WITH_TIMEOUT(logged(), 20000);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void onlyExactSlashMGoesToTray_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("tray");
        QTest::newRow("none") << QStringList{} << false;
        QTest::newRow("/m") << QStringList{"/m"} << true;
        QTest::newRow("/M") << QStringList{"/M"} << false;
        QTest::newRow("other") << QStringList{"-x", "/m"} << false;
    }

    void onlyExactSlashMGoesToTray()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, tray);
        Launcher launcher(true);
        QScopedPointer<QProcess> p(launcher.start(args));
        Run run;
        QVERIFY2(Launcher::waitFor(p.data(), run.out, "LumoraGUI::init()"), qPrintable(run.out));
        Launcher::terminate(p.data(), run);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.contains("LumoraGUI::on_toolButton_titleBarClose_clicked()"), tray);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
