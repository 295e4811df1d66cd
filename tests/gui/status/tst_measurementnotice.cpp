// The tray notice after a completed measurement, on an X server of the
// test's own with a system tray (trayer), where the notice is drawn as a
// balloon beside the tray icon.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/app/platform/testservers.h"
#include "tests/gui/testwindow.h"

namespace {

// The program's visible top-level widgets of a class.
QList<QWidget*> topLevel(const char* className)
{
    QList<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && QLatin1String(w->metaObject()->className()) == QLatin1String(className))
            found << w;
    return found;
}

// The texts of the balloon on screen, empty when none is shown.
QStringList balloonTexts()
{
    QStringList texts;
    for (QWidget* balloon : topLevel("QBalloonTip"))
        for (QLabel* label : balloon->findChildren<QLabel*>())
            texts << label->text();
    return texts;
}

}  // namespace

class TestMeasurementNotice : public QObject
{
    Q_OBJECT

private slots:
    void noticeFollowsTheBox()
    {
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
        auto w = initialisedWindow();
        auto* box = w->findChild<QCheckBox*>("checkBox_enableCompletedMeasurementNotification");

        auto notice = [&] {
            QMetaObject::invokeMethod(w.get(), "showBubleNotificationAboutMeasurement", Q_ARG(double, 12.5));
        };
        // The balloon is drawn beside the icon, once the tray holds it.
        QTRY_VERIFY(!topLevel("QSystemTrayIconSys").isEmpty());
        box->setChecked(false);
        notice();
        // A balloon is shown as soon as it is asked for.
        QVERIFY(balloonTexts().isEmpty());

        box->setChecked(true);
        notice();
        QTRY_VERIFY(!balloonTexts().isEmpty());
        QVERIFY2(balloonTexts().contains("Blink measurement completed"), qPrintable(balloonTexts().join('|')));
        QVERIFY2(balloonTexts().contains("Blink rate: 12.5 blinks per minute"), qPrintable(balloonTexts().join('|')));
    }
};

// The X server and the tray come up before the application connects.
int main(int argc, char** argv)
{
    PrivateXServer x;
    if (!x.start()) {
        qWarning("no Xvfb");
        return 1;
    }
    QProcess tray;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromLatin1(x.display()));
    tray.setProcessEnvironment(env);
    tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "100",
                          "--heighttype", "pixel", "--height", "24"});
    if (!tray.waitForStarted(5000)) {
        qWarning("no trayer");
        return 1;
    }
    qputenv("DISPLAY", x.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result;
    {
        QApplication app(argc, argv);
        TestMeasurementNotice test;
        result = QTest::qExec(&test, argc, argv);
    }
    tray.terminate();
    tray.waitForFinished(3000);
    return result;
}

#include "tst_measurementnotice.moc"
