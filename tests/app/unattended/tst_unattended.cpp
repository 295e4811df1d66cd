// The real program left to itself, as a child process with a home of its
// own: a feed whose version is no version must cost it neither CPU nor a
// giant log line, and a camera that is not there must not fill stderr.log
// with OpenCV's warnings, one per try.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

#include "tests/support/networkservers.h"
#include "tests/support/procstat.h"
#include "tests/support/trivialmodel.h"

namespace {

class Program
{
public:
    Program()
    {
        QDir().mkpath(m_tmp.path() + "/bin");
        QFile::copy(LUMORA_EXE, exe());
        writeTrivialLandmarkModel(m_tmp.path() + "/bin/data.dat");
        for (const char* dir : {"home", "config", "data", "run"})
            QDir().mkpath(m_tmp.path() + "/" + dir);
        QFile::setPermissions(m_tmp.path() + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning)
            end();
    }

    QString dir() const { return m_tmp.path(); }
    QString exe() const { return m_tmp.path() + "/bin/lumora"; }
    QString logDir() const { return m_tmp.path() + "/data/lumora/logs"; }
    void setSetting(const QString& key, const QVariant& value)
    {
        QSettings(m_tmp.path() + "/config/Harnwick/lumora.conf", QSettings::IniFormat).setValue(key, value);
    }

    // In the tray (/m), with env added; with a caDir, in a mount namespace
    // of its own whose system certificate folder holds that authority
    // alone, so that it trusts the test's server as it trusts real ones.
    void start(const QProcessEnvironment& extra, const QString& caDir = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_tmp.path() + "/home");
        env.insert("XDG_CONFIG_HOME", m_tmp.path() + "/config");
        env.insert("XDG_DATA_HOME", m_tmp.path() + "/data");
        env.insert("XDG_RUNTIME_DIR", m_tmp.path() + "/run");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert(extra);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        if (caDir.isEmpty())
            m_process.start(exe(), {"/m"});
        else
            m_process.start("unshare", {"-m", "sh", "-c", "mount --bind \"$0\" /etc/ssl/certs && exec \"$@\"", caDir,
                                        exe(), "/m"});
        m_started.start();
        m_process.waitForStarted(10000);
    }
    qint64 sinceStart() const { return m_started.elapsed(); }
    bool running() const { return m_process.state() == QProcess::Running; }

    // Gathers what it writes to stdout while waiting up to ms for the text
    // to appear count times (or, without a text, the whole time).
    bool waitFor(const QString& text, int count, qint64 ms)
    {
        QElapsedTimer t;
        t.start();
        while ((text.isEmpty() || m_out.count(text) < count) && t.elapsed() < ms && running()) {
            m_process.waitForReadyRead(100);
            m_out += QString::fromLocal8Bit(m_process.readAll());
        }
        return !text.isEmpty() && m_out.count(text) >= count;
    }
    QString out() const { return m_out; }

    // User and system CPU time so far, in seconds (-1 when unknown).
    double cpuSeconds() const { return processCpuSeconds(m_process.processId()); }

    void end()
    {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(20000))
            m_process.kill();
        m_process.waitForFinished(3000);
        m_out += QString::fromLocal8Bit(m_process.readAll());
    }

private:
    QTemporaryDir m_tmp;
    QProcess m_process;
    QElapsedTimer m_started;
    QString m_out;
};

// The longest line of the log files in dir and of text, in bytes.
qsizetype longestLine(const QString& dir, const QString& text)
{
    qsizetype longest = 0;
    QList<QByteArray> texts{text.toUtf8()};
    for (const QString& name : QDir(dir).entryList({"Log_*.txt"}, QDir::Files)) {
        QFile f(dir + "/" + name);
        if (f.open(QIODevice::ReadOnly))
            texts << f.readAll();
    }
    for (const QByteArray& t : texts)
        for (const QByteArray& line : t.split('\n'))
            longest = qMax<qsizetype>(longest, line.size());
    return longest;
}

}  // namespace

class TestUnattended : public QObject
{
    Q_OBJECT
private slots:
    void feedVersionThatIsNoVersion();
    void missingCameraLeavesStderrQuiet();
};

// "9." and 3 MB of digits, well inside the feed's size bound: skipped, so
// no question has it laid out and no log line carries it.
void TestUnattended::feedVersionThatIsNoVersion()
{
    if (geteuid() != 0)
        QSKIP("trusting the test's authority takes a mount namespace, only for root");
    Program lumora;
    const QString feed = lumora.dir() + "/feed";
    QVERIFY(QDir().mkpath(feed + "/ca") && QDir().mkpath(feed + "/root"));
    QVERIFY(makeCertificates(feed));
    QVERIFY(QFile::copy(feed + "/ca.pem", feed + "/ca/ca.pem"));
    QCOMPARE(QProcess::execute("openssl", {"rehash", feed + "/ca"}), 0);
    UpdateServer server;
    QVERIFY(server.start(feed, feed + "/root"));
    const QString version = "9." + QString(3 * 1024 * 1024, '7');
    const QJsonObject entry{{"latest-version", version},
                            {"download-url", server.base() + "/sized/10/lumora.bin"},
                            {"size-in-mb", 1}};
    QFile file(feed + "/root/updates.json");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(QJsonObject{{"updates", QJsonObject{{"linux", QJsonArray{entry}}}}}).toJson());
    file.close();

    QProcessEnvironment env;
    env.insert("LUMORA_UPDATE_FEED_URL", server.base() + "/feed/updates.json");
    lumora.start(env, feed + "/ca");
    QVERIFY2(lumora.waitFor("Updater::onReply current version", 1, 25000), qPrintable(lumora.out().right(3000)));
    lumora.waitFor(QString(), 0, 30000 - lumora.sinceStart());
    QVERIFY(lumora.running());
    const double cpu = lumora.cpuSeconds();
    lumora.end();
    const qsizetype longest = longestLine(lumora.logDir(), lumora.out());
    qInfo("CPU in the first 30 s: %.2f s; longest log line: %lld bytes", cpu, qint64(longest));
    QVERIFY(cpu >= 0);
    QVERIFY2(cpu < 3.0, qPrintable(QString::number(cpu)));
    QVERIFY2(longest < 64 * 1024, qPrintable(QString::number(longest)));
    QCOMPARE(lumora.out().count("entries skipped: a latest-version longer than 32 characters"), 1);
}

// Every try of a camera that is not there is in our own log; stderr.log,
// which nothing rolls over, gets no line of OpenCV's for it.
void TestUnattended::missingCameraLeavesStderrQuiet()
{
    if (!QDir("/dev").entryList({"video*"}, QDir::System).isEmpty())
        QSKIP("a camera is connected here: a missing one cannot be shown");
    Program lumora;
    // A reminder every 2 s: the interactive one tries the camera each time.
    lumora.setSetting("G/TP", 2);
    lumora.start(QProcessEnvironment());
    const QString failedOpen = QStringLiteral("chosen camera occupied or not conected");
    QVERIFY2(lumora.waitFor(failedOpen, 3, 120000), qPrintable(lumora.out().right(3000)));
    lumora.end();
    QFile stderrLog(lumora.logDir() + "/stderr.log");
    QVERIFY(stderrLog.open(QIODevice::ReadOnly));
    const QString text = QString::fromLocal8Bit(stderrLog.readAll());
    const QRegularExpression openCv(R"(^\[ *(WARN|INFO|DEBUG|VERBOSE|ERROR)|VIDEOIO)");
    int openCvLines = 0;
    for (const QString& line : text.split('\n'))
        openCvLines += line.contains(openCv) ? 1 : 0;
    qInfo("%d failed camera opens, %d OpenCV lines in stderr.log", lumora.out().count(failedOpen), openCvLines);
    QVERIFY2(openCvLines == 0, qPrintable(text.left(2000)));
}

QTEST_GUILESS_MAIN(TestUnattended)
#include "tst_unattended.moc"
