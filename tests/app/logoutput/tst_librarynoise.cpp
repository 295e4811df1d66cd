// The real program without a sound server, reminding every 10 s with sound
// for five minutes: the sound back end's warning ("PulseAudioService:
// pa_context_connect() failed", three at each try) reaches the log at most
// three times, so it does not roll the useful lines away.

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <signal.h>

#include "tests/support/trivialmodel.h"

class TestLibraryNoise : public QObject
{
    Q_OBJECT

private slots:
    void soundServerWarningsAreHeldBack()
    {
        QTemporaryDir dir;
        const QString bin = dir.path() + "/bin", home = dir.path() + "/home";
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(home + "/.config/Harnwick"));
        QVERIFY(QFile::copy(LUMORA_EXE, bin + "/lumora"));
        QVERIFY(writeTrivialLandmarkModel(bin + "/data.dat"));
        {
            // Plain blink reminders with sound every 10 s.
            QSettings conf(home + "/.config/Harnwick/lumora.conf", QSettings::IniFormat);
            conf.setValue("G/TP", 10);
            conf.setValue("G/SOUND", true);
            conf.setValue("G/IR", false);
        }
        QProcess lumora;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            env.remove(name);
        // No sound server: the address leads nowhere.
        env.insert("PULSE_SERVER", "unix:" + dir.path() + "/no-sound-server");
        lumora.setProcessEnvironment(env);
        lumora.setProcessChannelMode(QProcess::MergedChannels);
        lumora.start(bin + "/lumora", {"/m"});
        QVERIFY(lumora.waitForStarted(10000));
        QString out;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5 * 60 * 1000 && lumora.state() == QProcess::Running) {
            lumora.waitForReadyRead(1000);
            out += QString::fromLocal8Bit(lumora.readAll());
        }
        QCOMPARE(lumora.state(), QProcess::Running);
        ::kill(pid_t(lumora.processId()), SIGTERM);
        QVERIFY(lumora.waitForFinished(20000));

        // The reminders came, and the sound back end tried each time.
        QVERIFY2(out.count("emit blinkReminderRequested()") >= 5, qPrintable(out.right(3000)));
        QString log;
        const QString logs = home + "/.local/share/lumora/logs";
        for (const QString& name : QDir(logs).entryList({"Log_*.txt"}, QDir::Files)) {
            QFile file(logs + "/" + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            log += QString::fromUtf8(file.readAll());
        }
        const int lines = log.count("PulseAudioService: pa_context_connect() failed");
        qInfo() << "sound-server lines in the log:" << lines << "reminders:" << out.count("emit blinkReminderRequested()");
        QVERIFY2(lines >= 1 && lines <= 3, qPrintable(QString::number(lines)));
    }
};

// Five minutes of the program's life, more than QtTest's own limit.
int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "420000");
    QCoreApplication app(argc, argv);
    TestLibraryNoise test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_librarynoise.moc"
