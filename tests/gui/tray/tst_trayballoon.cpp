// The hint balloon of the first hide ("is running in background…") on a
// desktop with openbox and trayer: started in the tray (/m, as at login) on
// a fresh home, it is drawn at the tray icon, not in a corner of the screen.

#include <QTemporaryDir>
#include <QtMath>
#include <QtTest>

#include "tests/support/desktop.h"

namespace {

// The shortest distance between two rectangles, 0 where they touch.
double gap(const QRect& a, const QRect& b)
{
    const int dx = qMax(0, qMax(a.left() - b.right(), b.left() - a.right()));
    const int dy = qMax(0, qMax(a.top() - b.bottom(), b.top() - a.bottom()));
    return qSqrt(double(dx) * dx + double(dy) * dy);
}

}  // namespace

class TestTrayBalloon : public QObject
{
    Q_OBJECT

private slots:
    void firstHintPointsAtIcon_data()
    {
        QTest::addColumn<QString>("edge");
        QTest::addColumn<QString>("align");
        QTest::newRow("tray top right") << "top" << "right";
        QTest::newRow("tray bottom left") << "bottom" << "left";
    }

    void firstHintPointsAtIcon()
    {
        QFETCH(QString, edge);
        QFETCH(QString, align);
        QTemporaryDir dir;
        Desktop desk;
        QVERIFY(desk.start(dir.path()));
        QVERIFY(desk.startWindowManager());
        QVERIFY(desk.startTray(edge, align));

        Program lumora(dir.path());
        QProcess* p = lumora.start(desk.env, {"/m"});
        const QString icon = desk.settledTrayIcon();
        QVERIFY(!icon.isEmpty());
        // The balloon: the program's one visible window wider than the icon
        // (the main window stays hidden).
        QString balloon;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const QString& w : desk.visibleLumoraWindows())
                    if (w != icon && desk.geometry(w).width() > 100)
                        balloon = w;
                return !balloon.isEmpty();
            }(),
            10000);
        const QRect at = desk.geometry(balloon);
        const QRect iconAt = desk.geometry(icon);
        QVERIFY2(gap(at, iconAt) <= 100, qPrintable(QStringLiteral("balloon %1,%2 %3x%4, icon %5,%6")
                                                         .arg(at.x()).arg(at.y()).arg(at.width()).arg(at.height())
                                                         .arg(iconAt.x()).arg(iconAt.y())));
        QVERIFY(desk.visibleMainWindow().isEmpty());
        QCOMPARE(p->state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestTrayBalloon)
#include "tst_trayballoon.moc"
