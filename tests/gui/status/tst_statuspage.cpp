// The main page's status section as a user sees it: the health graph drawn
// from the real measurement store, its tooltips, the first-use state after
// the history is deleted, the engine's errors in the status line and the
// tray, the notice after a measurement, and the camera-test page fed by the
// engine with a synthetic face. The test runs on an X server of its own with
// a system tray (trayer), so no other test moves its pointer.

#define QTEST_QPA_MOUSE_HANDLING
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>
#include <memory>

#include <qcustomplot.h>

#include "core/control/statisticscontroller.h"
#include "core/model.h"
#include "tests/support/sessionservers.h"
#include "tests/support/testwindow.h"
#include "tools/synthface/synthface.h"

namespace {

const QColor kPoint(0, 202, 255);

// The window shown, with one camera listed unless the test changes the list.
std::unique_ptr<LumoraGUI> startWindow(std::shared_ptr<ListedCameras> cameras = std::make_shared<ListedCameras>())
{
    if (cameras->list.isEmpty())
        cameras->list = {{"Front", 0}};
    auto w = initialisedWindow(cameras);
    w->show();
    return w;
}

template <typename T>
T* child(QWidget& w, const char* name)
{
    return w.findChild<T*>(QString::fromLatin1(name));
}

// Pixels of an image (or of one area of it) that a test accepts.
int count(const QImage& image, const std::function<bool(const QColor&)>& accept, QRect area = QRect())
{
    area = area.isNull() ? image.rect() : area & image.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += accept(image.pixelColor(x, y));
    return n;
}

std::function<bool(const QColor&)> near(const QColor& colour)
{
    return [colour](const QColor& c) {
        return c.alpha() > 200 && qAbs(c.red() - colour.red()) < 12 && qAbs(c.green() - colour.green()) < 12
               && qAbs(c.blue() - colour.blue()) < 12;
    };
}

// Centres of the solid discs of the point colour: 3 x 3 squares of that
// colour, which the 1.5-pixel line between the points never holds.
QVector<QPoint> discs(const QImage& image)
{
    QVector<QPoint> found;
    for (int y = 1; y < image.height() - 1; ++y)
        for (int x = 1; x < image.width() - 1; ++x) {
            const QPoint at(x, y);
            if (count(image, [](const QColor& c) { return c == kPoint; }, QRect(at - QPoint(1, 1), QSize(3, 3))) < 9)
                continue;
            if (std::none_of(found.begin(), found.end(), [&](QPoint p) { return (p - at).manhattanLength() < 8; }))
                found << at;
        }
    return found;
}

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

// Balloons shown since the last call.
int newBalloons()
{
    int n = 0;
    for (QWidget* balloon : topLevel("QBalloonTip"))
        n += balloon->objectName().isEmpty() ? (balloon->setObjectName("counted"), 1) : 0;
    return n;
}

}  // namespace

class TestStatusPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerCrossThreadTypes();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }
    void cleanup() { QToolTip::hideText(); }

    void graphFromTheStoreAndDeletion();
    void healthValueGoesToTheScheduler();
    void errorsInStatusLineAndTray();
    void firstMeasurementButton();
    void measurementNotice();
    void previewShowsFramesUntilLeft();
};

void TestStatusPage::graphFromTheStoreAndDeletion()
{
    QTemporaryDir dir;
    StatisticsController store(dir.path() + "/");
    auto w = startWindow();
    connect(&store, &StatisticsController::smallStatisticsChanged, w.get(), &LumoraGUI::updateHealthStatus);
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    auto* message = child<QLabel>(*w, "label_blinkMonitoringMessage");
    auto* firstButton = child<QPushButton>(*w, "pushButton_blinkMonitoringTakeFirstMeasurement");
    auto* plot = child<QCustomPlot>(*w, "customPlot_blinkMonitoring_graph");

    store.init();  // an empty history
    QVERIFY(message->isVisible() && firstButton->isVisible());
    QCOMPARE(message->text(), QStringLiteral("No measurement taken yet. Your blink rate is measured approximately "
                                             "every 30 minutes."));

    // Ten measurements: the graph shows the last eight.
    const double rates[10] = {3, 4, 7.5, 11, 14.5, 9, 20, 6, 12.5, 5};
    for (int i = 0; i < 10; ++i)
        store.addMeasurement(rates[i], QString(), 100 + i);
    QVERIFY(!message->isVisible() && !firstButton->isVisible());
    QCoreApplication::processEvents();  // the queued replot

    // Each measurement is a disc at its place (the first and the last are cut
    // by the plot's edges, so they are checked just inside them), and no
    // other disc is drawn.
    const QImage grab = w->grab().toImage();
    QVector<QPoint> expected;
    for (int i = 0; i < 8; ++i) {
        expected << plot->mapTo(w.get(), QPoint(qRound(plot->xAxis->coordToPixel(i)),
                                                qRound(plot->yAxis->coordToPixel(rates[i + 2]))));
        const QPoint inward(i == 0 ? 1 : i == 7 ? -1 : 0, 0);
        QCOMPARE(grab.pixelColor(expected.last() + inward), kPoint);
    }
    const QVector<QPoint> drawn = discs(grab);
    QVERIFY(drawn.size() >= 6);
    for (const QPoint& d : drawn)
        QVERIFY(std::any_of(expected.begin(), expected.end(), [&](QPoint c) { return (d - c).manhattanLength() <= 4; }));

    // The highest rate 20 lifts the top above it; the dashed healthy line
    // (blended with the white behind it) runs across the plot at 10 with gaps.
    QVERIFY(plot->yAxis->range().upper > 20);
    const int row = plot->mapTo(w.get(), QPoint(0, qRound(plot->yAxis->coordToPixel(10)))).y();
    const int line = count(grab, [](const QColor& c) { return c.green() > c.red() + 20 && c.red() > c.blue() + 60; },
                           QRect(0, row - 1, grab.width(), 3));
    const int plotWidth = plot->axisRect()->width();
    QVERIFY2(line > plotWidth / 3 && line < 2 * plotWidth, qPrintable(QString::number(line)));

    // Hovering point 4 (the seventh measurement, rate 20) shows its time, rate and length.
    auto pointAt = [&](double key, double value) {
        return QPoint(qRound(plot->xAxis->coordToPixel(key)), qRound(plot->yAxis->coordToPixel(value)));
    };
    QTest::mouseMove(plot, pointAt(4, 20));
    QTRY_VERIFY(QToolTip::isVisible());
    const QString timeText = QLocale().toString(QDateTime::currentDateTime(), QStringLiteral("d. MMM yyyy"));
    QVERIFY2(QToolTip::text().startsWith(timeText), qPrintable(QToolTip::text()));
    QVERIFY2(QToolTip::text().contains("\nBlink rate: 20 blinks per minute\nAverage blink duration: 106 milliseconds"),
             qPrintable(QToolTip::text()));
    // On the line between two points the history is offered.
    QTest::mouseMove(plot, pointAt(0.5, (rates[2] + rates[3]) / 2));
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("Open history"));

    // After the history is deleted: the first-use state, no point drawn.
    store.deleteAllMeasurements();
    QVERIFY(message->isVisible() && firstButton->isVisible());
    QCOMPARE(message->text(), QStringLiteral("No measurement taken yet. Your blink rate is measured approximately "
                                             "every 30 minutes."));
    QTRY_COMPARE(count(w->grab().toImage(), [](const QColor& c) { return c == kPoint; }), 0);
    // Nothing deleted is offered on hover either.
    QTest::mouseMove(plot, pointAt(4, 20));
    QTest::qWait(50);
    QVERIFY(!QToolTip::text().contains("Blink rate"));
}

void TestStatusPage::healthValueGoesToTheScheduler()
{
    auto w = startWindow();
    QSignalSpy health(w.get(), &LumoraGUI::blinkRateChanged);
    const QDateTime now = QDateTime::currentDateTime();
    w->updateHealthStatus({8, 20}, {100, 200}, {now, now});
    QCOMPARE(health.count(), 1);
    QCOMPARE(health.at(0).at(0).toFloat(), 9.0f);  // 20 counts as the healthy 10
    w->updateHealthStatus({}, {}, {});
    QCOMPARE(health.count(), 1);
}

void TestStatusPage::errorsInStatusLineAndTray()
{
    auto cameras = std::make_shared<ListedCameras>();
    auto w = startWindow(cameras);
    w->updateHealthStatus({}, {}, {});  // the status line is visible before any measurement
    auto* line = child<QLabel>(*w, "label_blinkMonitoringMessage");
    const QColor orange(0xd4, 0x55, 0x00);
    const QColor green(0x98, 0xc8, 0x00);
    auto iconPixels = [&](const QColor& colour) {
        return count(w->trayIcon()->icon().pixmap(16, 16).toImage(), near(colour));
    };
    QVERIFY(iconPixels(green) > 20 && iconPixels(orange) == 0);
    QTRY_VERIFY(w->trayIcon()->geometry().topLeft() != QPoint(0, 0));  // balloons are shown at once

    struct Case {
        Error sent;
        bool noCamera;
        QString text;
        bool shownInTray;
        int balloons = 0;
    };
    const QList<Case> cases{
        {LOW_MEMORY_OR_MISSING_MODEL, false, "Error: insufficient memory RAM or missing data.dat.", true, 1},
        {CAMERA_OCCUPIED, false, "Error: camera is used by other software.", true, 1},
        {CAMERA_OCCUPIED, true, "Error: camera is not connected.", true, 1},
        {LOW_FPS, false, "Error: low frame per second, cheap camera or bad light conditions.", false},
        {NO_FACE, false, "Face not detected, please test blink detection performance (webcam icon).", false},
        {MORE_FACES, false, "More than one face detected.", false},
        {EMPTY_FRAME, false,
         "Error: empty frame received, camera unplugged? (or bad cable or broken camera or bad driver).", true, 1},
        // The next run fails the same way: no balloon again.
        {EMPTY_FRAME, false,
         "Error: empty frame received, camera unplugged? (or bad cable or broken camera or bad driver).", true},
        {NO_CAMERA, false, "Error: camera is used by other software.", true, 1},  // a camera is listed again
    };
    for (const Case& c : cases) {
        // A camera feature starting clears the previous error.
        w->adjustSystemTrayBasedOnFunctionalityAccessingCamera(MEASUREMENT);
        QCOMPARE(w->trayIcon()->toolTip(), QStringLiteral("Measurement in progress"));
        QVERIFY(iconPixels(orange) == 0);
        if (c.noCamera)
            cameras->list.clear();
        else
            cameras->list = {{"Front", 0}};
        w->showError(c.sent);
        const QString what = QString("error %1").arg(int(c.sent));
        QVERIFY2(newBalloons() == c.balloons, qPrintable(what));
        QVERIFY2(line->isVisible() && line->text() == c.text, qPrintable(what + ": " + line->text()));
        if (c.shownInTray) {
            QVERIFY2(iconPixels(orange) > 20, qPrintable(what));
            QCOMPARE(w->trayIcon()->toolTip(), c.text);
        } else {
            QVERIFY2(iconPixels(green) > 20 && iconPixels(orange) == 0, qPrintable(what));
            QVERIFY2(w->trayIcon()->toolTip() != c.text, qPrintable(what));
        }
    }
}

void TestStatusPage::firstMeasurementButton()
{
    auto w = startWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->updateHealthStatus({}, {}, {});
    auto* onOff = child<QToolButton>(*w, "toolButton_blinkMonitoringOnOff");
    onOff->setChecked(false);
    QSignalSpy requested(w.get(), &LumoraGUI::measurementRequested);
    QSignalSpy enabled(w.get(), &LumoraGUI::measurementEnabled);
    QTest::mouseClick(child<QPushButton>(*w, "pushButton_blinkMonitoringTakeFirstMeasurement"), Qt::LeftButton);
    QCOMPARE(requested.count(), 1);
    QVERIFY(onOff->isChecked());
    QCOMPARE(enabled.count(), 1);
    QCOMPARE(child<QLabel>(*w, "label_blinkMonitoringMessage")->text(),
             QStringLiteral("Measurement will start shortly."));
    // The engine opens the camera for the measurement; a click then changes nothing.
    w->adjustSystemTrayBasedOnFunctionalityAccessingCamera(MEASUREMENT);
    QTest::mouseClick(child<QPushButton>(*w, "pushButton_blinkMonitoringTakeFirstMeasurement"), Qt::LeftButton);
    QCOMPARE(child<QLabel>(*w, "label_blinkMonitoringMessage")->text(), QStringLiteral("Measurement in progress"));
    QCOMPARE(requested.count(), 1);
    // While camera use is paused no measurement is promised: the line says why.
    QVERIFY(QMetaObject::invokeMethod(w.get(), "pauseCameraUse"));
    QVERIFY(!child<QPushButton>(*w, "pushButton_blinkMonitoringTakeFirstMeasurement")->isEnabled());
    QCOMPARE(child<QLabel>(*w, "label_blinkMonitoringMessage")->text(), QStringLiteral("lumora camera use paused"));
}

void TestStatusPage::measurementNotice()
{
    auto w = startWindow();
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


void TestStatusPage::previewShowsFramesUntilLeft()
{
    QTemporaryDir dir;
    const QString landmarks = dir.filePath("eyes.dat");
    QVERIFY(synthface::trainLandmarkModel(landmarks.toStdString()));

    // The engine on its own thread, connected as the application connects it.
    auto source = std::make_shared<synthface::SyntheticFaceSource>(synthface::Script::random(3));
    QThread thread;
    auto* model = new Model;
    model->setFrameSource(source);
    model->setFaceDetector(source->faceDetector());
    model->setModelFile(landmarks);
    model->moveToThread(&thread);
    connect(&thread, &QThread::finished, model, &QObject::deleteLater);
    QSignalSpy ready(model, &Model::modelInitialized);
    thread.start();
    QMetaObject::invokeMethod(model, "init", Qt::QueuedConnection);
    QTRY_COMPARE(ready.count(), 1);

    auto w = startWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    connect(w.get(), &LumoraGUI::cameraPreviewEnabled, model,
            [model](bool on) { on ? model->startLivePreview() : model->stop(); });
    connect(model, &Model::frameReceived, w.get(), &LumoraGUI::showImage);
    connect(model, &Model::frameReceived, w.get(), [model](const QImage&) { model->previewFrameShown(); });
    int shown = 0;
    connect(model, &Model::frameReceived, w.get(), [&shown](const QImage&) { ++shown; });
    QSignalSpy stopped(model, &Model::stopped);

    auto* image = child<QLabel>(*w, "label_image");
    auto brightPixels = [image]() {
        const QImage picture = image->grab().toImage();
        int n = 0;
        for (int y = 0; y < picture.height(); y += 2)
            for (int x = 0; x < picture.width(); x += 2)
                n += qGray(picture.pixel(x, y)) > 60;
        return n;
    };
    QCOMPARE(brightPixels(), 0);  // the black picture before the first frame

    QTest::mouseClick(child<QToolButton>(*w, "toolButton_titleBarSettings"), Qt::LeftButton);
    QTest::mouseClick(child<QToolButton>(*w, "toolButton_titleBarWebcam"), Qt::LeftButton);
    QTRY_VERIFY(shown >= 5);
    QVERIFY(image->isVisible());
    QVERIFY(brightPixels() > 1000);  // the face
    QCOMPARE(image->width(), w->previewWidth());

    QTest::mouseClick(child<QToolButton>(*w, "toolButton_titleBarBack"), Qt::LeftButton);
    QTRY_COMPARE(stopped.count(), 1);
    QCoreApplication::processEvents();
    const int afterStop = shown;
    const int framesRead = source->framesRead();
    QTest::qWait(300);
    QCOMPARE(shown, afterStop);
    QCOMPARE(source->framesRead(), framesRead);

    QMetaObject::invokeMethod(model, "quit", Qt::QueuedConnection);
    thread.quit();
    QVERIFY(thread.wait(10000));
}

// The X server and the tray come up before the application connects.
int main(int argc, char** argv)
{
    PrivateXServer x;
    if (!x.start(QStringLiteral("1280x1024x24"))) {
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
    // The tray is up once it owns the tray selection.
    for (int i = 0; i < 100 && !x.run("xdotool", {"search", "--name", "^panel$"}); ++i)
        QThread::msleep(50);
    qputenv("DISPLAY", x.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result;
    {
        QApplication app(argc, argv);
        TestStatusPage test;
        result = QTest::qExec(&test, argc, argv);
    }
    tray.terminate();
    tray.waitForFinished(3000);
    return result;
}

#include "tst_statuspage.moc"
