// Start at login: a failed write is a warning, and a desktop launcher (gio)
// reads the Exec line back into the program path and "/m", whatever
// characters the path holds.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "app/platform/linux/autostart.h"

class TestAutostart : public QObject
{
    Q_OBJECT

private slots:
    void failedWriteWarns();
    void launcherStartsProgramAtAwkwardPath_data();
    void launcherStartsProgramAtAwkwardPath();
};

void TestAutostart::failedWriteWarns()
{
    // The folder cannot be made: a plain file stands in its place.
    QTemporaryDir dir;
    QFile blocker(dir.filePath("autostart"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^autostart: cannot write"));
    QVERIFY(!autostart::writeEntry(dir.filePath("autostart/lumora.desktop"), "/opt/lumora/lumora"));
    QCOMPARE(QFileInfo(dir.filePath("autostart")).size(), 0);
}

void TestAutostart::launcherStartsProgramAtAwkwardPath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("space") << "Lumora App";
    QTest::newRow("quotes and dollar") << "it's \"$HOME\" `x`";
    QTest::newRow("backslash") << "back \\ slash";
}

void TestAutostart::launcherStartsProgramAtAwkwardPath()
{
    QFETCH(QString, folder);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(folder));
    const QString program = dir.path() + "/" + folder + "/lumora";
    const QString marker = dir.filePath("started");
    {
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"$LUMORA_MARKER\"\n");
    }
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString entry = dir.filePath("lumora.desktop");
    QVERIFY(autostart::writeEntry(entry, program));

    QProcess gio;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LUMORA_MARKER", marker);
    gio.setProcessEnvironment(env);
    gio.start("gio", {"launch", entry});
    QVERIFY(gio.waitForFinished(20000));
    QCOMPARE(gio.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(marker).size() > 0, 10000);
    QFile out(marker);
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(out.readAll()), program + "\n/m\n");
}

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
