// Start at login: the XDG autostart entry appears and disappears with the
// switch, a failed write is a warning, and a desktop launcher (gio) reads
// the Exec line back into the program path and "/m", whatever characters
// the path holds.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "app/platform/autostart.h"

class TestAutostart : public QObject
{
    Q_OBJECT

private slots:
    void entryFollowsSwitch();
    void failedWriteWarns();
    void launcherStartsProgramAtAwkwardPath_data();
    void launcherStartsProgramAtAwkwardPath();
};

void TestAutostart::entryFollowsSwitch()
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    const QString path = autostart::entryPath();
    QCOMPARE(path, dir.path() + "/autostart/lumora.desktop");

    const auto entry = createSystemStartAtLogin();
    entry->setEnabled(true);  // the folder does not exist yet
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    QVERIFY(text.startsWith("[Desktop Entry]\n"));
    QVERIFY(text.contains("\nType=Application\n"));
    QVERIFY(text.contains(QCoreApplication::applicationFilePath()));
    QVERIFY(text.contains(" /m\n"));

    entry->setEnabled(true);  // rewriting is harmless
    QVERIFY(QFile::exists(path));
    entry->setEnabled(false);
    QVERIFY(!QFile::exists(path));
    entry->setEnabled(false);  // nothing to remove
    QVERIFY(!QFile::exists(path));
}

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
