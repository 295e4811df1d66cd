// Crashes on a worker thread started as the application starts its
// workers, with the real crash client and handler: a stack overflow there
// is reported like any other crash, exactly once, and the report keeps
// its lines whatever the annotations hold.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <sys/resource.h>

namespace {

// Undoes the escaping of annotation lines in a report.
QByteArray unescaped(const QByteArray& text)
{
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        if (next == 'n')
            out += '\n';
        else if (next == 'r')
            out += '\r';
        else if (next == 'x' && i + 2 < text.size())
            out += char(text.mid(++i, 2).toInt(nullptr, 16)), ++i;
        else
            out += next;
    }
    return out;
}

}  // namespace

class TestThreadSignalStack : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Crashes made on purpose leave no core files.
        const rlimit none = {0, 0};
        setrlimit(RLIMIT_CORE, &none);
    }

    void workerThreadCrashLeavesOneReport_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QByteArray>("faultAddress");
        QTest::newRow("stack overflow") << "overflow" << QByteArray("fault address: 0x");
        QTest::newRow("fault") << "fault" << QByteArray("fault address: 0x0000000000000040\n");
    }

    void workerThreadCrashLeavesOneReport()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, faultAddress);
        QTemporaryDir tmp;
        const QString dumps = tmp.path() + "/dumps";
        QVERIFY(QDir().mkpath(dumps));
        const QMap<QByteArray, QByteArray> annotations{
            {"format", "minidump"},
            {"key", "MAC-1\nfake=line\r\nx=\\n\x01"},
            {"plain", "C:/dir with space=x;y"},
        };
        QStringList args{HANDLER_EXE, dumps, how};
        for (auto it = annotations.begin(); it != annotations.end(); ++it)
            args << QString::fromUtf8(it.key() + "=" + it.value());

        QProcess p;
        p.start(CRASHWORKER, args);
        QVERIFY(p.waitForFinished(30000));
        const QByteArray out = p.readAllStandardOutput();
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QCOMPARE(p.exitCode(), SIGSEGV);
        QVERIFY2(out.startsWith("worker "), out + err);
        const qint64 thread = out.mid(7).trimmed().toLongLong();
        QVERIFY(thread != p.processId());

        // The handler writes the report before it answers; a second one
        // would come at once.
        QTest::qWait(500);
        QDir pending(dumps + "/pending");
        const QStringList reports = pending.entryList({"*.dmp"}, QDir::Files);
        QVERIFY2(reports.size() == 1, err.constData());
        QFile file(pending.filePath(reports.first()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray report = file.readAll();
        QVERIFY2(report.contains("signal: 11 (SIGSEGV)\n"), report.constData());
        QVERIFY(report.contains(QString("thread: %1\n").arg(thread).toUtf8()));
        QVERIFY2(report.contains(faultAddress), report.constData());

        // One line per annotation, each giving back its value.
        const QList<QByteArray> lines = report.mid(report.indexOf("annotations:\n") + 13).split('\n');
        QCOMPARE(lines.size(), annotations.size() + 1);
        QVERIFY(lines.last().isEmpty());
        auto expected = annotations.begin();
        for (int i = 0; i < annotations.size(); ++i, ++expected) {
            QVERIFY(lines[i].startsWith("  "));
            const int equals = lines[i].indexOf('=');
            QCOMPARE(lines[i].mid(2, equals - 2), expected.key());
            QCOMPARE(unescaped(lines[i].mid(equals + 1)), expected.value());
        }
        QCOMPARE(lines[2], QByteArray("  plain=C:/dir with space=x;y"));
    }
};

QTEST_GUILESS_MAIN(TestThreadSignalStack)
#include "tst_threadsignalstack.moc"
