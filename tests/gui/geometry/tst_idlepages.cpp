// The real program idle on each page of its main window: once a page is open
// and nothing changes, the window does no work (no fit that asks for another
// fit, no repaint). Each language on a small screen and on a scaled one, with
// openbox and trayer; the CPU time is the process's own, from /proc.

#include <QtTest>
#include <unistd.h>

#include "tests/support/desktopwindows.h"

using namespace desktopwindows;

namespace {

// The most CPU an idle page may use, as a share of one core.
constexpr double kIdleShare = 0.02;

enum class Page { Main, Settings, Camera, About };

const char* pageName(Page page)
{
    switch (page) {
    case Page::Main: return "main";
    case Page::Settings: return "settings";
    case Page::Camera: return "camera";
    case Page::About: return "about";
    }
    return "";
}

bool open(Desktop& desk, Log& log, Page page)
{
    switch (page) {
    case Page::Main: return true;
    case Page::Settings: return clickTitleBarButton(desk, log, 0, "titleBarSettings_clicked");
    // Its opening ends with the first try of the camera, which finds none
    // here and is tried again 2 s later: on a busy machine the first try
    // can take longer than the settling below. (With a real camera no try
    // again comes, and the wait just ends.)
    case Page::Camera:
        if (!clickTitleBarButton(desk, log, 1, "titleBarWebcam_clicked"))
            return false;
        waitFor([&] { return log.text().contains("LumoraGUI::retryLivePreview()"); }, 20000);
        return true;
    // Reached after the back button, whose page change may still be on its
    // way to the screen at the first grab: a user clicks again.
    case Page::About:
        return clickTitleBarButton(desk, log, -2, "titleBarAbout_clicked")
               || clickTitleBarButton(desk, log, -2, "titleBarAbout_clicked");
    }
    return false;
}

}  // namespace

class TestIdlePages : public QObject
{
    Q_OBJECT

private slots:
    void idlePagesUseNoCpu_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("scale");
        QTest::addColumn<QString>("language");
        // How long the about page is watched; the other pages a few seconds.
        QTest::addColumn<int>("aboutSeconds");
        for (const QString& language : QStringList{"en_US", "sk_SK", "de_DE", "cs_CZ"}) {
            const int about = language == QLatin1String("en_US") ? 20 : 5;
            QTest::addRow("1366x768 %s", qPrintable(language)) << "1366x768" << "1" << language << about;
            QTest::addRow("1920x1080 at 1.5 %s", qPrintable(language)) << "1920x1080" << "1.5" << language << about;
        }
    }

    void idlePagesUseNoCpu()
    {
        QFETCH(QString, screen);
        QFETCH(QString, scale);
        QFETCH(QString, language);
        QFETCH(int, aboutSeconds);
        QTemporaryDir dir;
        Desktop desk;
        QVERIFY(startDesktop(desk, dir.path(), screen));
        Program lumora(dir.path());
        lumora.set("QT_locale_name", language);
        QProcess* program = startProgram(lumora, desk, dir.path() + "/data", {{"QT_SCALE_FACTOR", scale}});
        Log log(program);
        QVERIFY(Program::waitForInit(program, log.seen()));
        QVERIFY(!largestWindow(desk).isEmpty());

        // Main page, then settings and the camera test from it; back, then
        // the about page.
        const long ticksPerSecond = sysconf(_SC_CLK_TCK);
        const QVector<QPair<Page, int>> visits = {
            {Page::Main, 4}, {Page::Settings, 4}, {Page::Camera, 4}, {Page::About, aboutSeconds}};
        QStringList used;
        for (const auto& visit : visits) {
            if (visit.first == Page::About) {
                QVERIFY(clickTitleBarButton(desk, log, 0, "titleBarBack_clicked"));
                QTest::qWait(500);
            }
            QVERIFY2(open(desk, log, visit.first), pageName(visit.first));
            // The page's own layout and paint settle first.
            QTest::qWait(1500);
            const qint64 before = cpuTicks(program->processId());
            QTest::qWait(visit.second * 1000);
            const qint64 ticks = cpuTicks(program->processId()) - before;
            QVERIFY(program->state() == QProcess::Running && before >= 0);
            used << QStringLiteral("%1 %2 ticks in %3 s").arg(pageName(visit.first)).arg(ticks).arg(visit.second);
            QVERIFY2(ticks < kIdleShare * visit.second * ticksPerSecond, qPrintable(used.join(", ")));
        }
        qInfo().noquote() << used.join(", ");
    }
};

QTEST_GUILESS_MAIN(TestIdlePages)
#include "tst_idlepages.moc"
