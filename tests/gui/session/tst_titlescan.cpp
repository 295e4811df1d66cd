// The window-title scans (program pause and camera pause) on a desktop of
// the test's own with openbox and trayer. The program's own windows are
// never among the titles scanned: the real program with its window open and
// a keyword that is part of "lumora" stays unpaused. A list typed into the
// settings page letter by letter with xdotool is one change: a window with
// the keyword's title pauses the program once, not at each letter.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "app/platform/linux/systemlistenerlinux.h"
#include "app/settings.h"
#include "tests/support/desktop.h"
#include "tests/support/logcapture.h"
#include "tests/support/testwindow.h"

using SystemSession::SystemListenerLinux;

namespace {

Desktop* desktop = nullptr;


// Each row: the list's box and field, their keys, and the lines the window
// logs when it pauses and resumes for that list.
void listColumns()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("boxKey");
    QTest::addColumn<QString>("listKey");
    QTest::addColumn<QString>("pauseLine");
    QTest::addColumn<QString>("resumeLine");
}
QTestData& programPauseRow(const char* name)
{
    return QTest::newRow(name) << "checkBox_pauseApp_whenTitleExist" << "lineEdit_pauseApp_whenTitleExists"
                               << "PAWTE" << "PAWTEL" << "LumoraGUI::pauseApp()" << "LumoraGUI::resumeApp()";
}
QTestData& cameraPauseRow(const char* name)
{
    return QTest::newRow(name) << "checkBox_whenTitleExists" << "lineEdit_whenTitleExists"
                               << "WTE" << "WTEL" << "LumoraGUI::pauseCameraUse()" << "LumoraGUI::resumeCameraUse()";
}

}  // namespace

class TestTitleScan : public QObject
{
    Q_OBJECT

private slots:
    void ownWindowsNeverPause_data()
    {
        listColumns();
        programPauseRow("program pause");
        cameraPauseRow("camera pause");
    }
    void ownWindowsNeverPause();
    // The typing ends by settling, or with a key that ends the editing (the
    // list applies at once, before anything else hears of the key).
    void typedListIsOneChange_data()
    {
        listColumns();
        QTest::addColumn<QString>("ending");
        programPauseRow("program pause") << "";
        cameraPauseRow("camera pause") << "";
        programPauseRow("program pause, Enter") << "Return";
        programPauseRow("program pause, focus leaves") << "Tab";
    }
    void typedListIsOneChange();
};

void TestTitleScan::ownWindowsNeverPause()
{
    QFETCH(QString, boxKey);
    QFETCH(QString, listKey);
    QFETCH(QString, pauseLine);
    QTemporaryDir dir;
    Program lumora(dir.path());
    lumora.set("WTE", false);
    lumora.set("WTEL", QString());
    lumora.set(boxKey, true);
    lumora.set(listKey, "m");  // in "lumora", as its first letter while typed
    QProcess* p = lumora.start(desktop->env, {});
    QString out;
    QVERIFY(Program::waitForInit(p, &out));
    QTRY_VERIFY_WITH_TIMEOUT(!desktop->visibleMainWindow().isEmpty(), 10000);

    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000 && p->state() == QProcess::Running) {
        p->waitForReadyRead(200);
        out += QString::fromLocal8Bit(p->readAll());
    }
    QVERIFY2(!out.contains(pauseLine), qPrintable(out.right(2000)));
    QVERIFY(!desktop->visibleMainWindow().isEmpty());

    // Another program's window with the keyword pauses at the next scan.
    QProcess other;
    other.setProcessEnvironment(desktop->env);
    other.start("xmessage", {"-title", "Team meeting", "meeting"});
    QVERIFY(other.waitForStarted());
    t.restart();
    while (t.elapsed() < SystemListenerLinux::kCheckIntervalMs + 5000 && !out.contains(pauseLine)) {
        p->waitForReadyRead(200);
        out += QString::fromLocal8Bit(p->readAll());
    }
    other.kill();
    other.waitForFinished();
    QVERIFY2(out.contains(pauseLine), qPrintable(out.right(2000)));
}

void TestTitleScan::typedListIsOneChange()
{
    QFETCH(QString, box);
    QFETCH(QString, field);
    QFETCH(QString, listKey);
    QFETCH(QString, pauseLine);
    QFETCH(QString, resumeLine);
    QFETCH(QString, ending);
    openSettings()->remove(QString());
    auto window = initialisedWindow(std::make_shared<ListedCameras>(), [] {
        // Only the X server counts here; no bus is watched.
        SystemListenerLinux::Sources sources;
        sources.systemBusAddress = sources.sessionBusAddress = QStringLiteral("unix:path=/nonexistent/bus");
        return new SystemListenerLinux(sources);
    });
    window->openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTest::mouseClick(window->findChild<QToolButton*>("toolButton_titleBarSettings"), Qt::LeftButton);
    window->findChild<QCheckBox*>(box)->setChecked(true);
    auto* edit = window->findChild<QLineEdit*>(field);
    QVERIFY(edit && edit->isEnabled());
    window->findChild<QScrollArea*>("scrollArea_pages")->ensureWidgetVisible(edit);

    QProcess slides;
    slides.setProcessEnvironment(desktop->env);
    slides.start("xmessage", {"-title", "zqxtitle report", "report"});
    QVERIFY(slides.waitForStarted());
    QVERIFY(desktop->x.run("xdotool", {"search", "--sync", "--onlyvisible", "--name", "zqxtitle"}));
    QTest::qWait(SystemListenerLinux::kCheckIntervalMs + 500);

    const LogCapture log;
    const QPoint at = edit->mapToGlobal(edit->rect().center()) * edit->devicePixelRatioF();
    desktop->xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    QTRY_VERIFY(edit->hasFocus());
    int ended = 0;
    bool appliedAtEnd = false;
    const QObject probe;  // goes first, so the window's end reaches no dead local
    connect(edit, &QLineEdit::editingFinished, &probe, [&] {
        appliedAtEnd = ++ended == 1 ? LogCapture::lines().contains(pauseLine) : appliedAtEnd;
    });
    // A user's pace, with a slip mended on the way: "zqy", back, "xtitle".
    desktop->xdotool({"type", "--delay", "250", "zqy"});
    desktop->xdotool({"key", "--delay", "250", "BackSpace"});
    desktop->xdotool({"type", "--delay", "250", "xtitle"});
    if (!ending.isEmpty())
        desktop->xdotool({"key", ending});
    QTRY_COMPARE(edit->text(), QStringLiteral("zqxtitle"));
    QTRY_VERIFY_WITH_TIMEOUT(LogCapture::lines().contains(pauseLine), 5000);
    if (!ending.isEmpty()) {
        QVERIFY(ended > 0);
        QVERIFY(appliedAtEnd);
    }
    // Later scans see the same window and change nothing.
    QTest::qWait(SystemListenerLinux::kCheckIntervalMs + 500);
    slides.kill();
    slides.waitForFinished();
    QCOMPARE(LogCapture::lines().count(pauseLine), 1);
    QCOMPARE(LogCapture::lines().count(resumeLine), 0);
    QCOMPARE(openSettings()->value("G/" + listKey).toString(), QStringLiteral("zqxtitle"));
}

// The test's own desktop is up before the application connects to it.
int main(int argc, char** argv)
{
    QTemporaryDir dir;
    Desktop desk;
    if (!desk.start(dir.path()) || !desk.startWindowManager() || !desk.startTray()) {
        qWarning("no desktop (Xvfb, dbus-daemon, openbox, trayer)");
        return 1;
    }
    desktop = &desk;
    qputenv("DISPLAY", desk.x.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestTitleScan test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_titlescan.moc"
