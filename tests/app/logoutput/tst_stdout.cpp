// The real program with its standard output on a pipe whose reader has gone
// ("lumora /m | head -n 1") or that nobody reads, on a desktop of the test's
// own (Xvfb, trayer, a private session bus): while its log grows by a
// quarter of a megabyte it keeps running, its tray menu opens and Exit ends
// it cleanly.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/desktop.h"

namespace {

// The screen saver starts or stops, as the desktop's service says it.
void screenSaver(QDBusConnection& connection, bool active)
{
    QDBusMessage signal =
        QDBusMessage::createSignal("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged");
    signal << active;
    connection.send(signal);
}

qint64 logBytes(const QString& logs)
{
    qint64 total = 0;
    for (const QFileInfo& f : QDir(logs).entryInfoList({"Log_*.txt"}, QDir::Files))
        total += f.size();
    return total;
}

QString logText(const QString& logs)
{
    QString text;
    for (const QFileInfo& f : QDir(logs).entryInfoList({"Log_*.txt"}, QDir::Files, QDir::Name)) {
        QFile file(f.filePath());
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

// SIGPIPE in a process's status: ignored (SIG_IGN, which every program it
// starts would inherit) or caught (set back to the default by exec).
enum class Disposition { Default, Ignored, Caught };
Disposition sigpipe(qint64 pid)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return Disposition::Default;
    const quint64 bit = 1ULL << (SIGPIPE - 1);
    Disposition result = Disposition::Default;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigIgn:") && (line.mid(7).trimmed().toULongLong(nullptr, 16) & bit))
            result = Disposition::Ignored;
        if (line.startsWith("SigCgt:") && (line.mid(7).trimmed().toULongLong(nullptr, 16) & bit))
            result = Disposition::Caught;
    }
    return result;
}

}  // namespace

class TestStdout : public QObject
{
    Q_OBJECT

private slots:
    void standardOutputNeverHoldsNorEndsIt_data()
    {
        QTest::addColumn<bool>("readerGoes");
        QTest::newRow("reader gone after one line") << true;
        QTest::newRow("nobody reads") << false;
    }

    void standardOutputNeverHoldsNorEndsIt()
    {
        QFETCH(bool, readerGoes);
        QTemporaryDir dir;
        Desktop desk;
        QVERIFY(desk.start(dir.path()) && desk.startTray());
        Program program(dir.path());
        const QString logs = dir.path() + "/home/.local/share/lumora/logs";

        // Standard output is a FIFO whose read end only the test holds.
        const QByteArray fifo = QFile::encodeName(dir.path() + "/stdout");
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(reader >= 0);
        QProcess lumora;
        QProcessEnvironment env = program.environment(desk.env);
        env.remove("XDG_DATA_HOME");  // its data in its own home
        lumora.setProcessEnvironment(env);
        lumora.setStandardOutputFile(QString::fromLocal8Bit(fifo));
        lumora.setStandardErrorFile(dir.path() + "/stderr.txt");
        lumora.start(program.path(), {"/m"});
        QVERIFY(lumora.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(logText(logs).contains("load settings finished"), 30000);

        if (readerGoes) {
            // As "head -n 1": one line, then the read end closes.
            char c = 0;
            QElapsedTimer t;
            t.start();
            while (c != '\n' && t.elapsed() < 5000)
                if (::read(reader, &c, 1) != 1)
                    QTest::qWait(10);
            ::close(reader);
            reader = -1;
        }

        // A quarter of a megabyte of log: the screen saver comes and goes.
        QDBusConnection connection = QDBusConnection::connectToBus(desk.bus.address(), "screen-saver");
        QVERIFY(connection.isConnected());
        const qint64 before = logBytes(logs);
        QElapsedTimer flood;
        flood.start();
        for (int i = 0; logBytes(logs) - before < 256 * 1024 && flood.elapsed() < 60000; ++i) {
            screenSaver(connection, i % 2 == 0);
            if (i % 20 == 19)
                QTest::qWait(20);
        }
        QDBusConnection::disconnectFromBus("screen-saver");
        const qint64 grown = logBytes(logs) - before;
        if (readerGoes)
            QTest::qWait(8000);
        QVERIFY2(lumora.state() == QProcess::Running, qPrintable(QString("ended after %1 bytes of log").arg(grown)));
        QVERIFY2(grown >= 256 * 1024, qPrintable(QString("the log grew by %1 bytes only").arg(grown)));

        // SIGPIPE is caught, not ignored: the programs it starts get the
        // usual SIGPIPE.
        QVERIFY(sigpipe(lumora.processId()) == Disposition::Caught);

        const QString icon = desk.settledTrayIcon();
        QVERIFY(!icon.isEmpty());
        desk.chooseFromMenu(icon, -1);  // Exit, the last entry
        QVERIFY(lumora.waitForFinished(10000));
        QCOMPARE(lumora.exitStatus(), QProcess::NormalExit);
        QCOMPARE(lumora.exitCode(), 0);
        if (reader >= 0)
            ::close(reader);
    }
};

QTEST_GUILESS_MAIN(TestStdout)
#include "tst_stdout.moc"
