// The real program while its wall clock is set back two hours, as NTP does
// after a start at login on a machine whose hardware clock keeps local time.
// libfaketime moves the program's wall clock only; its monotonic and boot
// clocks, on which timers run, stay true.

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QWaitCondition>
#include <QtTest>
#include <cstdio>
#include <signal.h>
#include <time.h>

#include "tests/support/sessionservers.h"
#include "tests/support/trivialmodel.h"

namespace {

const char kReminderLine[] = "ApplicationController::accessFeature() emit blinkReminderRequested();";
constexpr qint64 kStepBackSecs = 2 * 3600;

QString fakeTimeLibrary()
{
    for (const QString& dir : QDir("/usr/lib").entryList({"*-linux-gnu*"}, QDir::Dirs))
        if (QFile::exists("/usr/lib/" + dir + "/faketime/libfaketimeMT.so.1"))
            return "/usr/lib/" + dir + "/faketime/libfaketimeMT.so.1";
    return QString();
}

qint64 bootMs()
{
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The clock Qt's timers run on.
qint64 timerClockMs()
{
    QElapsedTimer t;
    t.start();
    return t.msecsSinceReference();
}

// Run as a child under libfaketime: the clocks as a Qt program reads them,
// and how long a wait for a condition with a 300 ms limit lasts (the program
// waits so for its threads to end).
int printClocks()
{
    QMutex mutex;
    QWaitCondition never;
    QElapsedTimer waited;
    waited.start();
    mutex.lock();
    never.wait(&mutex, 300);
    mutex.unlock();
    printf("%lld %lld %lld %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()),
           static_cast<long long>(timerClockMs()), static_cast<long long>(bootMs()),
           static_cast<long long>(waited.elapsed()));
    return 0;
}

// A home and a session of its own, the program beside a landmark model, and
// the clock's offset in a file that libfaketime reads again every second.
// The session is quiet: a session bus of its own and no X display, so no
// screen saver or lock that other tests stage on the shared bus or display
// pauses the program.
class FakedClock
{
public:
    FakedClock()
    {
        QDir().mkpath(m_dir.path() + "/bin");
        QFile::copy(LUMORA_EXE, m_dir.path() + "/bin/lumora");
        writeTrivialLandmarkModel(m_dir.path() + "/bin/data.dat");
        setOffset(0);
        QVERIFY(m_bus.start(m_dir.path()));
    }
    void setOffset(qint64 secs)
    {
        QFile f(m_dir.path() + "/faketime.rc");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(secs < 0 ? "" : "+") + QByteArray::number(secs) + "\n");
    }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_dir.path() + "/home");
        env.insert("XDG_CONFIG_HOME", m_dir.path() + "/config");
        env.insert("XDG_DATA_HOME", m_dir.path() + "/data");
        env.insert("LD_PRELOAD", fakeTimeLibrary());
        env.insert("FAKETIME_TIMESTAMP_FILE", m_dir.path() + "/faketime.rc");
        env.insert("FAKETIME_CACHE_DURATION", "1");
        env.insert("FAKETIME_DONT_FAKE_MONOTONIC", "1");
        // Else libfaketime takes the deadline of a timed wait on the monotonic
        // clock (as Qt's are) for one on the wall clock: every such wait ends
        // at once, and at its quit the program leaves its threads running.
        env.insert("FAKETIME_FORCE_MONOTONIC_FIX", "0");
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_bus.address());
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/lumora-bus");
        env.remove("DISPLAY");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    PrivateBus m_bus;
};

// Reads a child's output as it comes, with the test's own time of arrival.
class Output
{
public:
    explicit Output(QProcess* p) : m_p(p) { m_clock.start(); }
    // Reads for ms, or until a line holds text.
    bool readFor(qint64 ms, const QString& text = QString())
    {
        const qint64 end = m_clock.elapsed() + ms;
        while (m_clock.elapsed() < end && m_p->state() == QProcess::Running) {
            m_p->waitForReadyRead(50);
            m_buffer += QString::fromLocal8Bit(m_p->readAll());
            int nl;
            while ((nl = m_buffer.indexOf('\n')) >= 0) {
                m_lines.append({m_clock.elapsed(), m_buffer.left(nl)});
                m_buffer.remove(0, nl + 1);
                if (!text.isEmpty() && m_lines.last().second.contains(text))
                    return true;
            }
        }
        return text.isEmpty() && m_p->state() == QProcess::Running;
    }
    int count(const QString& text, qint64 from, qint64 to) const
    {
        int n = 0;
        for (const auto& l : m_lines)
            n += l.first >= from && l.first < to && l.second.contains(text);
        return n;
    }
    qint64 now() const { return m_clock.elapsed(); }
    // Writes out everything the program wrote, each line with its time of
    // arrival, and how the program stands, so that a failure can be read
    // from the test's output; returns that last fact.
    QByteArray transcript() const
    {
        for (const auto& l : m_lines)
            qInfo("%6lld ms: %s", l.first, qPrintable(l.second));
        if (!m_buffer.isEmpty())
            qInfo("(unfinished line) %s", qPrintable(m_buffer));
        if (m_p->state() == QProcess::Running)
            return QByteArray("the program still runs at ") + QByteArray::number(m_clock.elapsed()) + " ms";
        return QByteArray("the program had ended at ") + QByteArray::number(m_clock.elapsed()) + " ms: "
               + (m_p->exitStatus() == QProcess::CrashExit ? "crashed" : "exit code ")
               + QByteArray::number(m_p->exitCode());
    }

private:
    QProcess* m_p;
    QElapsedTimer m_clock;
    QString m_buffer;
    QVector<QPair<qint64, QString>> m_lines;
};

}  // namespace

class TestClockStep : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (fakeTimeLibrary().isEmpty())
            QFAIL("libfaketime is missing: install the Debian package faketime (scripts/install-deps.sh)");
    }

    // The set-up itself: the offset moves the wall clock of a Qt program,
    // and neither the clock its timers run on, nor the boot clock, nor the
    // length of a timed wait.
    void onlyTheWallClockIsSet()
    {
        FakedClock clock;
        clock.setOffset(-kStepBackSecs);
        QProcess probe;
        QProcessEnvironment env = clock.environment();
        env.insert("LUMORA_PRINT_CLOCKS", "1");
        probe.setProcessEnvironment(env);
        const qint64 wall = QDateTime::currentMSecsSinceEpoch();
        const qint64 mono = timerClockMs();
        const qint64 boot = bootMs();
        probe.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(probe.waitForFinished(10000));
        const QStringList read = QString::fromLatin1(probe.readAllStandardOutput()).split(' ');
        QCOMPARE(read.size(), 4);
        QVERIFY2(qAbs(read[0].toLongLong() - (wall - kStepBackSecs * 1000)) < 5000, qPrintable(read.join(' ')));
        QVERIFY2(qAbs(read[1].toLongLong() - mono) < 5000, qPrintable(read.join(' ')));
        QVERIFY2(qAbs(read[2].toLongLong() - boot) < 5000, qPrintable(read.join(' ')));
        QVERIFY2(read[3].toLongLong() >= 290, qPrintable(read.join(' ')));
    }

    // Plain reminders every 5 s: as many in the 40 s after the step back as
    // in the 40 s before it.
    void remindersGoOnAfterAStepBack()
    {
        FakedClock clock;
        {
            QSettings conf(clock.dir() + "/config/Harnwick/lumora.conf", QSettings::IniFormat);
            conf.setValue("G/T", true);    // blink reminders
            conf.setValue("G/IR", false);  // plain ones, no camera
            conf.setValue("G/TP", 5);      // every 5 s
            conf.setValue("G/M", false);   // no measurement, no break, no exercise
            conf.setValue("G/BRE", false);
            conf.setValue("G/REER", false);
            conf.setValue("G/WS", false);  // no autostart entry
        }
        QProcess p;
        p.setProcessEnvironment(clock.environment());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(clock.dir() + "/bin/lumora", {"/m"});
        QVERIFY(p.waitForStarted(10000));
        const auto stop = qScopeGuard([&p]() {
            if (p.state() != QProcess::NotRunning) {
                ::kill(pid_t(p.processId()), SIGTERM);
                if (!p.waitForFinished(20000))
                    p.kill();
            }
        });
        Output out(&p);
        QVERIFY2(out.readFor(60000, kReminderLine), out.transcript().constData());

        // Windows that begin just after a reminder, so both hold the same
        // phase of the 8 to 10 s cycle (3 s shown, 5 s of cool-down, ticks of 2 s).
        const qint64 before = out.now() + 1000;
        QVERIFY2(out.readFor(before + 40000 - out.now()), out.transcript().constData());
        clock.setOffset(-kStepBackSecs);
        const qint64 after = out.now();
        QVERIFY2(out.readFor(after + 40000 - out.now()), out.transcript().constData());

        const int seenBefore = out.count(kReminderLine, before, after);
        const int seenAfter = out.count(kReminderLine, after, after + 40000);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);
        qInfo("%d reminders in the 40 s before the step, %d in the 40 s after", seenBefore, seenAfter);
        QVERIFY2(seenBefore >= 4, out.transcript().constData());
        QVERIFY2(qAbs(seenAfter - seenBefore) <= 1,
                 qPrintable(QStringLiteral("%1 before, %2 after; ").arg(seenBefore).arg(seenAfter) + out.transcript()));

        // The program's own clock went back: its last log lines carry a time
        // two hours before the true one.
        const QStringList logs = QDir(clock.dir() + "/data/lumora/logs").entryList({"Log_*.txt"}, QDir::Files);
        QVERIFY(!logs.isEmpty());
        QFile log(clock.dir() + "/data/lumora/logs/" + logs.last());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
        const QDateTime last = QDateTime::fromString(QString::fromLatin1(lines.last().left(20)), Qt::ISODate);
        QVERIFY2(last.isValid(), lines.last().constData());
        QVERIFY2(qAbs(last.secsTo(QDateTime::currentDateTimeUtc()) - kStepBackSecs) < 60,
                 lines.last().constData());
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("LUMORA_PRINT_CLOCKS"))
        return printClocks();
    QCoreApplication app(argc, argv);
    TestClockStep test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_clockstep.moc"
