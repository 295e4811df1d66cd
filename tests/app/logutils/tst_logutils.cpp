// Rolling log files: names, line format, roll-over, trimming, concurrency,
// and the error-log stream redirection.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <fstream>
#include <iostream>
#include <fcntl.h>
#include <unistd.h>
#include <utime.h>

#include "app/errorlog.h"
#include "app/logfile.h"
#include "app/logstdout.h"
#include "app/logutils.h"

namespace {

QStringList logFiles(const QString& dir)
{
    return QDir(dir).entryList({"Log_*.txt"}, QDir::Files, QDir::Name);
}

QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void touchAt(const QString& path, qint64 secondsAgo)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    const time_t t = time(nullptr) - secondsAgo;
    struct utimbuf times { t, t };
    QCOMPARE(utime(QFile::encodeName(path).constData(), &times), 0);
}

}  // namespace

class TestLogUtils : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qInstallMessageHandler(nullptr); }

    void fileNameAndLineFormat()
    {
        QTemporaryDir tmp;
        const QString dir = tmp.path() + "/a/b/logs";  // parents missing too
        QVERIFY(LOGUTILS::initLogging(dir));
        const QStringList files = logFiles(dir);
        QCOMPARE(files.size(), 1);
        QVERIFY(QRegularExpression(R"(^Log_\d{4}_\d{2}_\d{2}__\d{2}_\d{2}_\d{2}_\d{3}\.txt$)")
                    .match(files.first()).hasMatch());
        QCOMPARE(LOGUTILS::getLogPath(), dir + "/" + files.first());

        qDebug() << "ApplicationController::accessFeature() emit breakRequested()";
        qWarning("w %d", 1);
        qCritical("c");
        qInfo("i");
        const QMessageLogContext ctx;
        LOGUTILS::myMessageHandler(QtMsgType(42), ctx, "never shown");

        const QStringList lines = readLines(LOGUTILS::getLogPath());
        QCOMPARE(lines.size(), 5);
        const QString stamp = R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z)";
        QVERIFY(QRegularExpression(stamp + "Debug: ApplicationController::accessFeature\\(\\) emit breakRequested\\(\\)$")
                    .match(lines[0]).hasMatch());
        QVERIFY(QRegularExpression(stamp + "Warning: w 1$").match(lines[1]).hasMatch());
        QVERIFY(QRegularExpression(stamp + "Critical: c$").match(lines[2]).hasMatch());
        QVERIFY(QRegularExpression(stamp + "Info: i$").match(lines[3]).hasMatch());
        // An unknown type writes the date-time alone.
        QVERIFY(QRegularExpression(stamp + "$").match(lines[4]).hasMatch());

        // The stamp is UTC and close to now.
        const QDateTime when = QDateTime::fromString(lines[0].left(20), Qt::ISODate);
        QCOMPARE(when.timeSpec(), Qt::UTC);
        QVERIFY(qAbs(when.secsTo(QDateTime::currentDateTimeUtc())) < 60);
    }

    void rollsOverAt512001Bytes()
    {
        QTemporaryDir tmp;
        QVERIFY(LOGUTILS::initLogging(tmp.path()));
        const QString first = LOGUTILS::getLogPath();
        {
            QFile f(first);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(512000, 'a'));
        }
        qDebug("still the first file");
        QCOMPARE(LOGUTILS::getLogPath(), first);
        QVERIFY(QFileInfo(first).size() > 512000);
        QTest::qWait(5);  // the next file name carries milliseconds
        qDebug("into a new file");
        const QString second = LOGUTILS::getLogPath();
        QVERIFY(second != first);
        QCOMPARE(readLines(second).size(), 1);
        QVERIFY(readLines(second).first().endsWith("Debug: into a new file"));
        QVERIFY(readLines(first).last().endsWith("Debug: still the first file"));
    }

    void trimsToTenAndKeepsErrorLog()
    {
        QTemporaryDir tmp;
        const QString dir = tmp.path();
        // The error log is the oldest file of all; eleven log files follow.
        touchAt(dir + "/stderr.log", 1000);
        for (int i = 0; i < 11; ++i)
            touchAt(dir + QString("/Log_2024_03_%1__10_00_00_000.txt").arg(i + 1, 2, 10, QChar('0')),
                    900 - i * 10);
        QVERIFY(LOGUTILS::initLogging(dir));
        QVERIFY(QFile::exists(dir + "/stderr.log"));
        QVERIFY(!QFile::exists(dir + "/Log_2024_03_01__10_00_00_000.txt"));  // the oldest goes
        QVERIFY(QFile::exists(dir + "/Log_2024_03_02__10_00_00_000.txt"));
        // Ten kept, the new log file, and the error log.
        QCOMPARE(QDir(dir).entryList(QDir::Files).size(), 12);
    }

    // "logs" may be a link to a folder of the user's own files: the trimming
    // takes only the program's log files, however many others there are.
    void trimsOnlyLogFilesInLinkedFolder()
    {
        QTemporaryDir tmp;
        const QString documents = tmp.path() + "/Documents";
        QVERIFY(QDir().mkpath(documents));
        QStringList others;
        for (int i = 0; i < 15; ++i)
            others << QString("letter_%1.odt").arg(i);
        others << ".hidden" << "stderr.log" << "Log_notes.txt" << "Log_2024_03_01__10_00_00_000.txt.bak"
               << "log_2024_03_01__10_00_00_000.txt";
        for (int i = 0; i < others.size(); ++i)
            touchAt(documents + "/" + others.at(i), 5000 - i);
        for (int i = 0; i < 12; ++i)
            touchAt(documents + QString("/Log_2024_04_%1__10_00_00_000.txt").arg(i + 1, 2, 10, QChar('0')),
                    900 - i * 10);
        const QString logs = tmp.path() + "/logs";
        QVERIFY(QFile::link(documents, logs));

        QVERIFY(LOGUTILS::initLogging(logs));
        qDebug("a line");
        for (const QString& name : others)
            QVERIFY2(QFile::exists(documents + "/" + name), qPrintable(name));
        // The two oldest log files went; ten and the new one remain.
        const QStringList logsLeft = QDir(documents).entryList({"Log_2024_04_*"}, QDir::Files, QDir::Name);
        QCOMPARE(logsLeft.size(), 10);
        QCOMPARE(logsLeft.first(), QString("Log_2024_04_03__10_00_00_000.txt"));
        QVERIFY(QFileInfo(LOGUTILS::getLogPath()).canonicalPath() == QFileInfo(documents).canonicalFilePath());
    }

    void manyThreadsLoseNoLine()
    {
        QTemporaryDir tmp;
        QVERIFY(LOGUTILS::initLogging(tmp.path()));
        const int threads = 8, perThread = 2500;  // enough to roll over twice
        QList<QThread*> workers;
        for (int t = 0; t < threads; ++t) {
            workers << QThread::create([t]() {
                for (int i = 0; i < perThread; ++i)
                    qDebug("thread %d line %d padding-padding-padding", t, i);
            });
        }
        for (QThread* w : workers)
            w->start();
        for (QThread* w : workers) {
            QVERIFY(w->wait(60000));
            delete w;
        }
        QSet<QString> seen;
        int total = 0;
        const QStringList files = logFiles(tmp.path());
        QVERIFY2(files.size() >= 2, "expected at least one roll-over");
        for (const QString& name : files) {
            for (const QString& line : readLines(tmp.path() + "/" + name)) {
                QVERIFY2(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZDebug: thread \d+ line \d+ padding-padding-padding$)")
                             .match(line).hasMatch(),
                         qPrintable(line));
                seen.insert(line.mid(20));
                ++total;
            }
            QVERIFY(QFileInfo(tmp.path() + "/" + name).size() < 512001 + 200);
        }
        QCOMPARE(total, threads * perThread);
        QCOMPARE(seen.size(), threads * perThread);
    }

    void unusableDirectoryLeavesDefaultHandler()
    {
        QTemporaryDir tmp;
        QFile blocker(tmp.path() + "/file");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!LOGUTILS::initLogging(tmp.path() + "/file/logs"));
    }

    // Standard output on a pipe nobody reads never holds a thread that logs;
    // what it could not take is counted once it takes lines again, and the
    // log file has every line.
    void fullStandardOutputHoldsNobody()
    {
        QTemporaryDir tmp;
        QVERIFY(LOGUTILS::initLogging(tmp.path()));
        // The earlier cases' lines (and the count of those the test
        // runner's pipe could not take) go out to it before the swap.
        LOGUTILS::flushStandardOutput(30000);
        qDebug("standard output goes to a pipe nobody reads");
        LOGUTILS::flushStandardOutput(30000);
        int pipeEnds[2];
        QCOMPARE(::pipe(pipeEnds), 0);
        const int savedStdout = ::dup(STDOUT_FILENO);
        QVERIFY(::dup2(pipeEnds[1], STDOUT_FILENO) >= 0);
        ::close(pipeEnds[1]);
        const int lines = 6000;  // some 400 KB: far more than the pipe holds
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < lines; ++i)
            qDebug("line %05d of a log that nobody reads on standard output ..................", i);
        const qint64 logging = timer.elapsed();

        // Now it is read: everything that was taken, a note, the next line.
        ::fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
        QByteArray out;
        // Reads until nothing more comes for a while.
        const auto drain = [&] {
            char buffer[65536];
            QElapsedTimer t;
            t.start();
            for (int quiet = 0; quiet < 10 && t.elapsed() < 10000; QThread::msleep(20)) {
                const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
                quiet = n > 0 ? 0 : quiet + 1;
                if (n > 0)
                    out.append(buffer, int(n));
            }
        };
        drain();
        qDebug("after the reader came back");
        drain();
        QVERIFY(::dup2(savedStdout, STDOUT_FILENO) >= 0);
        ::close(savedStdout);
        ::close(pipeEnds[0]);
        QVERIFY2(logging < 10000, qPrintable(QString::number(logging)));

        const QList<QByteArray> shown = out.split('\n');
        const int written = int(out.count("of a log that nobody reads"));
        QVERIFY2(written > 0 && written < lines, qPrintable(QString::number(written)));
        const QRegularExpression note(R"(^\[(\d+) log lines left out of standard output here; the log file has them\]$)");
        // Each gap has its note; together they count every line left out.
        int noted = 0;
        for (const QByteArray& line : shown) {
            const QRegularExpressionMatch m = note.match(QString::fromLocal8Bit(line));
            if (m.hasMatch())
                noted += m.captured(1).toInt();
        }
        QCOMPARE(noted, lines - written);
        QVERIFY(out.endsWith("Debug: after the reader came back\n"));
        int inFile = 0;
        for (const QString& name : logFiles(tmp.path()))
            inFile += readLines(tmp.path() + "/" + name).filter("of a log that nobody reads").size();
        QCOMPARE(inFile, lines);
    }

    // A library's warning that comes again and again is written once, then
    // at most once a period with a count; our own lines always. Qt's own
    // warnings look like ours ("Class::method: ...") but carry no source file.
    void repeatedLibraryWarningsAreHeldBack_data()
    {
        QTest::addColumn<QString>("noise");
        QTest::addColumn<int>("repeats");
        QTest::newRow("sound server") << "PulseAudioService: pa_context_connect() failed" << 3;
        QTest::newRow("painter") << "QPainter::begin: Paint device returned engine == 0, type: 1" << 100;
        QTest::newRow("connect") << "QObject::connect: No such signal QTimer::tick()" << 100;
        QTest::newRow("repaint") << "QWidget::repaint: Recursive repaint detected" << 100;
    }
    void repeatedLibraryWarningsAreHeldBack()
    {
        QFETCH(QString, noise);
        QFETCH(int, repeats);
        QTemporaryDir tmp;
        QVERIFY(LOGUTILS::initLogging(tmp.path()));
        LOGUTILS::setRepeatPeriodForTesting(1500);
        const QMessageLogContext library;  // no source file: not our code
        const QMessageLogContext own("tst_logutils.cpp", 1, "f", "default");
        for (int i = 0; i < repeats; ++i)
            LOGUTILS::myMessageHandler(QtWarningMsg, library, noise);
        for (int i = 0; i < 3; ++i) {
            LOGUTILS::myMessageHandler(QtWarningMsg, own, "StatisticsController: not written");
            LOGUTILS::myMessageHandler(QtDebugMsg, library, "a library's debug line");
        }
        QTest::qWait(1600);
        LOGUTILS::myMessageHandler(QtWarningMsg, library, noise);
        LOGUTILS::myMessageHandler(QtWarningMsg, library, noise);
        LOGUTILS::setRepeatPeriodForTesting(10 * 60 * 1000);

        const QStringList lines = readLines(LOGUTILS::getLogPath());
        const QStringList noisy = lines.filter(noise);
        QCOMPARE(noisy.size(), 2);
        QVERIFY(noisy.at(0).endsWith("Warning: " + noise));
        QVERIFY2(
            noisy.at(1).endsWith(
                QString("Warning: %1 (and %2 more times since it was last written)").arg(noise).arg(repeats - 1)),
            qPrintable(noisy.at(1)));
        QCOMPARE(lines.filter("StatisticsController: not written").size(), 3);
        QCOMPARE(lines.filter("a library's debug line").size(), 3);
    }

    // A library that warns with a new text each time (an X error names its
    // sequence number) writes every line, while what the handler remembers
    // of them stays bounded; the latest is still known and held back.
    void libraryWarningTableStaysBounded_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("distinct");
        QTest::newRow("40,000 X errors") << int(QtWarningMsg) << 40000;
        QTest::newRow("3,000 criticals") << int(QtCriticalMsg) << 3000;
    }
    void libraryWarningTableStaysBounded()
    {
        QFETCH(int, type);
        QFETCH(int, distinct);
        QTemporaryDir tmp;
        QVERIFY(LOGUTILS::initLogging(tmp.path()));
        // Standard output goes to /dev/null meanwhile: the test's own output
        // has no use for these lines.
        LOGUTILS::flushStandardOutput(30000);
        const int savedStdout = ::dup(STDOUT_FILENO);
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        QVERIFY(savedStdout >= 0 && devNull >= 0 && ::dup2(devNull, STDOUT_FILENO) >= 0);
        ::close(devNull);
        const QMessageLogContext library;
        const auto text = [](int i) {
            return QString("QXcbConnection: XCB error: 3 (BadWindow), sequence: %1").arg(i);
        };
        for (int i = 0; i < distinct; ++i)
            LOGUTILS::myMessageHandler(QtMsgType(type), library, text(i));
        const int remembered = LOGUTILS::repeatTableSizeForTesting();
        LOGUTILS::myMessageHandler(QtMsgType(type), library, text(distinct - 1));
        LOGUTILS::flushStandardOutput(30000);
        QVERIFY(::dup2(savedStdout, STDOUT_FILENO) >= 0);
        ::close(savedStdout);

        QVERIFY2(remembered <= LOGUTILS::kRepeatsKept, qPrintable(QString::number(remembered)));
        int written = 0;
        for (const QString& name : logFiles(tmp.path()))
            written += readLines(tmp.path() + "/" + name).filter("QXcbConnection: XCB error").size();
        QCOMPARE(written, distinct);
    }

    void errorStreamIsRestoredBeforeClose()
    {
        QTemporaryDir tmp;
        const std::string path = (tmp.path() + "/stderr.log").toStdString();
        {
            std::ofstream pre(path);
            pre << "from an earlier run\n";
        }
        std::streambuf* original = std::cerr.rdbuf();
        std::fstream stream;
        errorlog::redirect(stream, path);
        QVERIFY(std::cerr.rdbuf() != original);
        std::cerr << "into the file" << std::endl;
        QVERIFY(errorlog::restoreAndClose(stream));
        QCOMPARE(std::cerr.rdbuf(), original);
        std::cerr << "";  // must not reach a closed stream
        const QStringList lines = readLines(QString::fromStdString(path));
        QCOMPARE(lines, QStringList{"into the file"});  // emptied at start
    }
};

QTEST_GUILESS_MAIN(TestLogUtils)
#include "tst_logutils.moc"
