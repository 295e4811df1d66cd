// The engine's modes, endings and signals on the synthetic face, in
// virtual time.

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <dlib/serialize.h>

#include "tests/core/engine/enginerig.h"

using synthface::Script;

namespace {

// Share of pixels of an image that are neither black nor the text colour.
int textPixels(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != QColor(Qt::black))
                ++n;
    return n;
}

bool allBlack(const QImage& image)
{
    return textPixels(image) == 0;
}

// Frames of an unexpected pixel type: the frame step's conversions throw.
class WrongTypeSource : public FrameSource
{
public:
    bool open(int) override { return m_open = true; }
    bool isOpened() const override { return m_open; }
    bool read(cv::Mat& frame) override
    {
        frame = cv::Mat(480, 640, CV_32FC2, cv::Scalar::all(0.5));
        return true;
    }
    void release() override { m_open = false; }

private:
    bool m_open = false;
};

}  // namespace

class TestModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void unreadableModel_data();
    void unreadableModel();
    void cameraCannotOpen();
    void emptyFrame();
    void training();
    void trainingWithoutFace();
    void slowFrameRate_data();
    void slowFrameRate();
    void stopAndQuit();
    void errorWhileStopRequested();
    void startWhileRunning();
    void frameSizes_data();
    void frameSizes();
    void previewFramesDropWhileUnshown();
    void exceptionInStepEndsRun();
    void frozenClock();
    void mergeBlinks();
    void flowStatistics();
};

void TestModel::initTestCase()
{
    registerCrossThreadTypes();
    QVERIFY2(!rig::landmarkModel().isEmpty(), "training the synthetic landmark model failed");
}

void TestModel::unreadableModel_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("missing");
    QTest::newRow("missing") << QByteArray() << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("garbage") << QByteArray(4096, '\xff') << false;

    // Two landmark points instead of four.
    std::ostringstream two;
    dlib::matrix<float, 0, 1> shape(4);
    shape = 0.1f, 0.2f, 0.3f, 0.4f;
    dlib::serialize(dlib::shape_predictor(shape, {}, {}), two);
    QTest::newRow("two points") << QByteArray::fromStdString(two.str()) << false;

    // A real model cut short.
    QFile real(rig::landmarkModel());
    QVERIFY(real.open(QIODevice::ReadOnly));
    QTest::newRow("truncated") << real.readAll().left(int(real.size() / 2)) << false;
}

void TestModel::unreadableModel()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, missing);
    QTemporaryDir dir;
    const QString path = dir.filePath("data.dat");
    if (!missing) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    rig::Rig r(Script::regular(0, 0, 0, 0, 10));
    r.model.setModelFile(path);
    QVERIFY(!r.init());

    // Every mode request now answers Error 1; the live preview first shows
    // the missing-file image.
    r.model.startTraining();
    r.model.startBlinkMeasurement();
    r.model.startLivePreview();
    QCOMPARE(r.order, QStringList({"errorOccurred(1)", "errorOccurred(1)", "frameReceived", "errorOccurred(1)"}));
    const QImage image = r.frames.at(0).at(0).value<QImage>();
    QCOMPARE(image.size(), QSize(400, 300));
    QVERIFY(textPixels(image) > 100);
    QCOMPARE(r.source->framesRead(), 0);
}

void TestModel::cameraCannotOpen()
{
    rig::Rig r(Script::regular(0, 0, 0, 0, 10));
    QVERIFY(r.init());
    r.source->setOpenable(false);
    r.model.startBlinkMeasurement();
    QCOMPARE(r.order, QStringList({"errorOccurred(2)"}));

    r.order.clear();
    r.model.startLivePreview();
    QCOMPARE(r.order, QStringList({"frameReceived", "errorOccurred(2)"}));
    const QImage occupied = r.frames.last().at(0).value<QImage>();
    QCOMPARE(occupied.size(), QSize(400, 300));
    QVERIFY(textPixels(occupied) > 100);

    // The engine is idle again: a stop is confirmed at once.
    r.order.clear();
    r.model.stop();
    QCOMPARE(r.order, QStringList({"stopped"}));
}

void TestModel::emptyFrame()
{
    // No frame at all at the opening.
    {
        rig::Rig r(Script::regular(0, 0, 0, 0, 0));
        QVERIFY(r.init());
        r.model.startTraining();
        QCOMPARE(r.order, QStringList({"errorOccurred(6)"}));
    }
    // The source ends during a live preview: the empty-frame image, then 6.
    {
        rig::Rig r(Script::regular(0, 0, 0, 0, 2.0));
        QVERIFY(r.init());
        r.model.startLivePreview();
        QVERIFY(r.waitForReport());
        QCOMPARE(r.order.mid(r.order.size() - 2), QStringList({"frameReceived", "errorOccurred(6)"}));
        QCOMPARE(r.errorOccurred.count(), 1);
        const QImage empty = r.frames.last().at(0).value<QImage>();
        const QImage preview = r.frames.first().at(0).value<QImage>();
        QCOMPARE(empty.size(), QSize(400, 300));
        QVERIFY(textPixels(empty) > 100 && textPixels(empty) < 400 * 300 / 4);
        QVERIFY(!allBlack(preview) && preview != empty);
        QCOMPARE(r.source->framesRead(), 60);
    }
}

void TestModel::training()
{
    // A blink before the reminder's 4 s: true and nothing else.
    {
        rig::Rig r(Script::regular(1, 2.0, 0, 0.25, 30));
        REQUIRE_FACE_CHOICE(r);
        QVERIFY(r.init());
        r.model.startTraining();
        QVERIFY(r.waitForReport());
        QCOMPARE(r.order, QStringList({"trainingStarted", "webcamActivated(4)", "blinkDetected", "reaction(1)"}));
        QVERIFY(r.blinkTimes.at(0) > 2.0 && r.blinkTimes.at(0) < 2.6);
    }
    // A blink after 4 s: false once at 4 s, the run goes on, then true.
    {
        rig::Rig r(Script::regular(1, 7.0, 0, 0.3, 30));
        REQUIRE_FACE_CHOICE(r);
        QVERIFY(r.init());
        r.model.startTraining();
        QVERIFY(r.waitForReport());
        QCOMPARE(r.order, QStringList({"trainingStarted", "webcamActivated(4)", "reaction(0)", "blinkDetected",
                                       "reaction(1)"}));
        QCOMPARE(r.reaction.count(), 2);
        QVERIFY(r.blinkTimes.at(0) > 7.0 && r.blinkTimes.at(0) < 7.7);
        QCOMPARE(r.trainingStarted.count(), 1);
        // The camera is closed once the run has answered.
        QVERIFY(!r.source->isOpened());
    }
}

void TestModel::trainingWithoutFace()
{
    Script s = Script::regular(0, 0, 0, 0, 30);
    s.absences.push_back({0, 30});
    rig::Rig r(s);
    QVERIFY(r.init());
    r.model.startTraining();
    const double opened = r.seconds();
    QVERIFY(r.waitForReport());
    QCOMPARE(r.order, QStringList({"trainingStarted", "webcamActivated(4)", "errorOccurred(4)"}));
    // The user may be away for 1000 ms in training.
    const double away = r.seconds() - opened;
    QVERIFY2(away > 1.0 && away < 1.1, qPrintable(QString::number(away)));
    QVERIFY(!r.source->isOpened());
}

void TestModel::slowFrameRate_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("training") << 1;
    QTest::newRow("measurement") << 2;
    QTest::newRow("live preview") << 3;
}

void TestModel::slowFrameRate()
{
    QFETCH(int, mode);
    rig::Rig r(Script::regular(0, 0, 0, 0, 20), cv::Size(640, 480), 8.0);
    REQUIRE_FACE_CHOICE(r);
    QVERIFY(r.init());
    if (mode == 1)
        r.model.startTraining();
    else if (mode == 2)
        r.model.startBlinkMeasurement();
    else
        r.model.startLivePreview();
    QVERIFY(r.waitForReport());
    if (mode == 3) {
        // The preview never gives up for a slow camera; it ends with the source.
        QCOMPARE(r.order.last(), QString("errorOccurred(6)"));
        QCOMPARE(r.errorOccurred.count(), 1);
        QCOMPARE(r.source->framesRead(), 160);
    } else {
        QCOMPARE(r.order.last(), QString("errorOccurred(3)"));
        QCOMPARE(r.errorOccurred.count(), 1);
        // Eight frames at the opening, then the estimate at the 31st.
        QCOMPARE(r.source->framesRead(), 8 + 31);
        QCOMPARE(int(r.steps.size()), 30);
        QVERIFY(!r.source->isOpened());
    }
}

void TestModel::stopAndQuit()
{
    // Stop with nothing running: confirmed at once.
    {
        rig::Rig r(Script::regular(0, 0, 0, 0, 60));
        QVERIFY(r.init());
        r.model.stop();
        QCOMPARE(r.order, QStringList({"stopped"}));
    }
    // Stop during a measurement: confirmed one step later, camera closed.
    {
        rig::Rig r(Script::regular(0, 0, 0, 0, 60));
        QVERIFY(r.init());
        r.model.startBlinkMeasurement();
        r.runUntilFrames(40);
        r.model.stop();
        QCOMPARE(r.stopped.count(), 0);
        const int read = r.source->framesRead();
        QVERIFY(r.waitForReport());
        QCOMPARE(r.order, QStringList({"webcamActivated(5)", "stopped"}));
        QCOMPARE(r.source->framesRead(), read);
        QVERIFY(!r.source->isOpened());
        QTest::qWait(20);
        QCOMPARE(r.reports(), 1);
    }
    // Quit during a live preview: finished alone, after the camera closed.
    {
        rig::Rig r(Script::regular(0, 0, 0, 0, 60));
        QVERIFY(r.init());
        r.model.startLivePreview();
        r.runUntilFrames(20);
        r.model.stop();
        r.model.quit();
        QCOMPARE(r.finished.count(), 0);
        QVERIFY(r.waitForReport());
        r.order.removeAll("frameReceived");
        QCOMPARE(r.order, QStringList({"finished"}));
        QVERIFY(!r.source->isOpened());
        QTest::qWait(20);
        QCOMPARE(r.reports(), 1);
    }
    // Quit with the camera closed: finished at once; a later stop says nothing.
    {
        rig::Rig r(Script::regular(0, 0, 0, 0, 60));
        QVERIFY(r.init());
        r.model.quit();
        QCOMPARE(r.order, QStringList({"finished"}));
        r.model.stop();
        QCOMPARE(r.order, QStringList({"finished"}));
    }
}

void TestModel::errorWhileStopRequested()
{
    // The stop arrives inside the opening step; that step then meets the end
    // of the source: stopped() instead of the error.
    rig::Rig r(Script::regular(0, 0, 0, 0, 7.5 / 30.0));
    QVERIFY(r.init());
    QObject::connect(&r.model, &Model::webcamActivated, &r.model, [&r] { r.model.stop(); });
    r.model.startBlinkMeasurement();
    QCOMPARE(r.order, QStringList({"webcamActivated(5)", "stopped"}));
}

void TestModel::startWhileRunning()
{
    rig::Rig r(Script::regular(0, 0, 0, 0, 60));
    QVERIFY(r.init());
    r.model.startBlinkMeasurement();
    r.runUntilFrames(20);
    r.model.startTraining();
    r.model.startLivePreview();
    r.model.startBlinkMeasurement();
    r.runUntilFrames(40);
    QCOMPARE(r.order, QStringList({"webcamActivated(5)"}));
    r.model.stop();
    QVERIFY(r.waitForReport());
    QCOMPARE(r.order, QStringList({"webcamActivated(5)", "stopped"}));
}

void TestModel::frameSizes_data()
{
    QTest::addColumn<QSize>("camera");
    QTest::addColumn<QSize>("processed");
    QTest::addColumn<QSize>("preview");
    QTest::newRow("640x480") << QSize(640, 480) << QSize(640, 480) << QSize(400, 300);
    QTest::newRow("1280x720") << QSize(1280, 720) << QSize(640, 360) << QSize(400, 225);
}

void TestModel::frameSizes()
{
    QFETCH(QSize, camera);
    QFETCH(QSize, processed);
    QFETCH(QSize, preview);
    rig::Rig r(Script::regular(0, 0, 0, 0, 2), cv::Size(camera.width(), camera.height()));
    REQUIRE_FACE_CHOICE(r);
    QVERIFY(r.init());
    r.model.startLivePreview();
    QVERIFY(r.waitForReport());
    QVERIFY(r.steps.size() > 40);
    for (const Model::StepInfo& s : r.steps)
        QCOMPARE(QSize(s.size.width, s.size.height), processed);
    QCOMPARE(r.frames.first().at(0).value<QImage>().size(), preview);

    // The face and the eyes are found where the source drew them, in
    // processing pixels.
    const float scale = float(processed.width()) / float(camera.width());
    const synthface::Geometry& g = r.source->geometry();
    const Model::StepInfo& last = r.steps.back();
    QVERIFY(last.face);
    QVERIFY(std::abs(last.eye1x - g.leftEye.x * scale) < 3 && std::abs(last.eye1y - g.leftEye.y * scale) < 3);
    QVERIFY(std::abs(last.eye2x - g.rightEye.x * scale) < 3 && std::abs(last.eye2y - g.rightEye.y * scale) < 3);
    QVERIFY(std::abs(last.eye1size - 2 * g.eyeWidth * scale) < 5);
}

void TestModel::previewFramesDropWhileUnshown()
{
    rig::Rig r(Script::regular(0, 0, 0, 0, 60), cv::Size(640, 480), 30, false);
    QVERIFY(r.init());
    r.model.startLivePreview();
    r.runUntilFrames(60);
    // Nothing acknowledged: only the first frame went out.
    QCOMPARE(r.frames.count(), 1);
    r.model.previewFrameShown();
    r.runUntilFrames(61);
    r.runUntilFrames(62);
    QCOMPARE(r.frames.count(), 2);
    r.model.stop();
    QVERIFY(r.waitForReport());
}

void TestModel::exceptionInStepEndsRun()
{
    rig::Rig r(Script::regular(0, 0, 0, 0, 30));
    QVERIFY(r.init());
    r.model.setFrameSource(std::make_shared<WrongTypeSource>());
    r.model.startBlinkMeasurement();
    QCOMPARE(r.order, QStringList({"errorOccurred(6)"}));

    // The engine goes on working with a sound source.
    r.order.clear();
    r.model.setFrameSource(r.source);
    r.model.startLivePreview();
    r.runUntilFrames(20);
    r.model.stop();
    QVERIFY(r.waitForReport());
    QCOMPARE(r.order.last(), QString("stopped"));
}

void TestModel::frozenClock()
{
    // A clock that never moves gives frame times of 0; the rate estimate
    // must neither divide by zero nor end the run.
    rig::Rig r(Script::regular(0, 0, 0, 0, 60));
    QVERIFY(r.init());
    r.source->setClock(nullptr);
    r.model.startBlinkMeasurement();
    r.runUntilFrames(8 + 100);
    QCOMPARE(r.errorOccurred.count(), 0);
    r.model.stop();
    QVERIFY(r.waitForReport());
    QCOMPARE(r.order, QStringList({"webcamActivated(5)", "stopped"}));
}

void TestModel::mergeBlinks()
{
    Model m;
    QSignalSpy spy(&m, &Model::blinkDetected);
    // The first record always counts.
    m.mergeBlinks({100, 108, 0.2, 0.01});
    QCOMPARE(spy.count(), 1);
    // The other eye's view of it (intersection 7 over union 9) does not.
    m.mergeBlinks({101, 109, 0.2, 0.01});
    QCOMPARE(spy.count(), 1);
    // A later blink does.
    m.mergeBlinks({110, 118, 0.3, 0.01});
    QCOMPARE(spy.count(), 2);
    m.mergeBlinks({118, 118, 0.1, 0.01});
    QCOMPARE(spy.count(), 3);
    // A union of zero length counts as a new blink instead of dividing by 0.
    m.mergeBlinks({118, 118, 0.1, 0.01});
    QCOMPARE(spy.count(), 4);
}

void TestModel::flowStatistics()
{
    double mean = -1, dev = -1;
    // Uniform downward flow of 3 pixels, eye distance 100.
    cv::Mat flow(21, 21, CV_32FC2, cv::Scalar(0.5, 3.0));
    Model::calcAvgYandStdDev(&mean, &dev, flow, 10, 2.0f, 100.0f, 225);
    QVERIFY(qAbs(mean - 0.03) < 1e-9);
    QVERIFY(dev >= 0 && dev < 1e-12);

    // Upper half up, lower half down, within the disc of radius 5.
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 21; ++x)
            flow.at<cv::Vec2f>(y, x) = cv::Vec2f(0, y < 10 ? -2.0f : y > 10 ? 2.0f : 0.0f);
    Model::calcAvgYandStdDev(&mean, &dev, flow, 10, 2.0f, 100.0f, 225);
    QVERIFY(qAbs(mean) < 1e-12);
    // 69 samples in the disc: 30 up, 30 down, 9 still.
    QVERIFY(qAbs(dev - std::sqrt(60.0 / 69.0) * 0.02) < 1e-9);

    // Vectors of 15 pixels or longer are left out; with none left, 0 and 0.
    flow.setTo(cv::Scalar(0, 15.0));
    Model::calcAvgYandStdDev(&mean, &dev, flow, 10, 2.0f, 100.0f, 225);
    QCOMPARE(mean, 0.0);
    QCOMPARE(dev, 0.0);

    // A short eye distance is taken as 1.
    flow.setTo(cv::Scalar(0, 0.5));
    Model::calcAvgYandStdDev(&mean, &dev, flow, 10, 2.0f, 0.2f, 225);
    QVERIFY(qAbs(mean - 0.5) < 1e-9);
}

QTEST_MAIN(TestModel)
#include "tst_model.moc"
