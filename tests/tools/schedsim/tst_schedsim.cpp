// lumora-schedsim over a default-settings working day must print exactly the
// committed requests; a change in the scheduler's timing shows up here as a diff.
// To accept a deliberate change: lumora-schedsim --hours 8 > default-day.txt

#include <QProcess>
#include <QtTest>

class TestSchedsim : public QObject
{
    Q_OBJECT

private slots:
    void defaultDayMatchesGolden();
    void rejectsBadHours();
};

namespace {
QByteArray runSim(const QStringList& args, int* exitCode)
{
    QProcess p;
    p.start(QStringLiteral(LUMORA_BIN_DIR "/lumora-schedsim"), args);
    if (!p.waitForFinished(60000))
        return QByteArray();
    *exitCode = p.exitCode();
    return p.readAllStandardOutput();
}
}  // namespace

void TestSchedsim::defaultDayMatchesGolden()
{
    QFile golden(QStringLiteral(LUMORA_SOURCE_DIR "/tests/tools/schedsim/default-day.txt"));
    QVERIFY(golden.open(QIODevice::ReadOnly));
    const QList<QByteArray> expected = golden.readAll().split('\n');
    int code = -1;
    const QList<QByteArray> actual = runSim({QStringLiteral("--hours"), QStringLiteral("8")}, &code).split('\n');
    QCOMPARE(code, 0);
    for (int i = 0; i < qMin(expected.size(), actual.size()); ++i) {
        if (expected.at(i) != actual.at(i))
            QFAIL(qPrintable(QStringLiteral("line %1: expected \"%2\", got \"%3\"")
                                 .arg(i + 1)
                                 .arg(QString::fromUtf8(expected.at(i)), QString::fromUtf8(actual.at(i)))));
    }
    QCOMPARE(actual.size(), expected.size());
}

void TestSchedsim::rejectsBadHours()
{
    int code = -1;
    runSim({QStringLiteral("--hours"), QStringLiteral("lots")}, &code);
    QCOMPARE(code, 2);
}

QTEST_GUILESS_MAIN(TestSchedsim)
#include "tst_schedsim.moc"
