// The engine on damaged and hostile input: landmark models with random
// bytes changed, frames of shapes no camera has, frames that change size.

#include <QtTest>
#include <random>

#include "core/landmarkmodel.h"
#include "tests/core/engine/enginerig.h"

using synthface::Script;

namespace {

// Frames of one size, then (from frame `change` on) of another.
class FixedFrameSource : public FrameSource
{
public:
    FixedFrameSource(cv::Size size, cv::Size later = cv::Size(), int change = 1 << 30)
        : m_size(size), m_later(later), m_change(change)
    {
    }
    bool open(int) override { return m_open = true; }
    bool isOpened() const override { return m_open; }
    bool read(cv::Mat& frame) override
    {
        const cv::Size size = ++m_read >= m_change ? m_later : m_size;
        frame = cv::Mat(size, CV_8UC3, cv::Scalar(90, 120, 160));
        return true;
    }
    void release() override { m_open = false; }
    int framesRead() const { return m_read; }

private:
    cv::Size m_size, m_later;
    int m_change;
    int m_read = 0;
    bool m_open = false;
};

QByteArray shippedModel()
{
    QFile f(QStringLiteral(LUMORA_SOURCE_DIR "/data/data.dat"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestModelDamaged : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerCrossThreadTypes(); }
    void damagedLandmarkModels();
    void unusableFrames_data();
    void unusableFrames();
    void frameSizeChangeEndsRun();
};

// Writes the variant to a file and runs an engine with it: an empty text
// when the engine either refused the model (and answers a mode request with
// Error 1) or predicted eye points with it on the synthetic face.
QString runVariant(const std::string& bytes, const QString& path, bool* sound)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return "cannot write " + path;
    out.write(bytes.data(), qint64(bytes.size()));
    out.close();

    rig::Rig r(Script::regular(0, 0, 0, 0, 10));
    r.model.setModelFile(path);
    *sound = r.init();
    r.model.startLivePreview();
    if (!*sound)
        return r.order.value(r.order.size() - 1) == "errorOccurred(1)" ? QString() : "refused model runs";
    r.runUntilFrames(8 + 2);
    r.model.stop();
    if (!r.waitForReport() || r.order.last() != "stopped")
        return "run did not stop: " + r.order.join(' ');
    if (r.steps.empty() || !r.steps.front().face)
        return "no prediction";
    return QString();
}

void TestModelDamaged::damagedLandmarkModels()
{
    const QByteArray shipped = shippedModel();
    QVERIFY(shipped.size() > 100000);
    QVERIFY(landmarkmodel::check(shipped.toStdString(), 4).empty());

    // Variants with one to four bytes changed at random places. The engine
    // reads a model through the same check: every variant goes through it,
    // each one that passes and a sample of the refused ones through the
    // engine too.
    // LUMORA_DAMAGED_PART=k/n runs the k-th of n equal parts of the
    // variants (CTest runs the parts side by side); by default all.
    const int variants = 1000;
    int part = 1, parts = 1;
    const QStringList split = qEnvironmentVariable("LUMORA_DAMAGED_PART", "1/1").split('/');
    if (split.size() == 2)
        part = split[0].toInt(), parts = split[1].toInt();
    QVERIFY(parts >= 1 && part >= 1 && part <= parts);
    const int first = variants * (part - 1) / parts;
    const int last = variants * part / parts;
    std::mt19937 random(24);
    QTemporaryDir dir;
    const QString path = dir.filePath("data.dat");
    int refused = 0;
    int predicting = 0;
    for (int v = 0; v < variants; ++v) {
        std::string bytes = shipped.toStdString();
        const int changes = 1 + int(random() % 4);
        for (int c = 0; c < changes; ++c)
            bytes[random() % bytes.size()] ^= char(1 + random() % 255);
        if (v < first || v >= last)
            continue;
        const bool passes = landmarkmodel::check(bytes, 4).empty();
        passes ? ++predicting : ++refused;
        if (!passes && refused % 20 != 1)
            continue;
        bool sound = false;
        const QString fault = runVariant(bytes, path, &sound);
        QVERIFY2(fault.isEmpty(), qPrintable(QString("variant %1: %2").arg(v).arg(fault)));
        QCOMPARE(sound, passes);
    }
    qInfo("variants %d to %d: %d refused, %d predicting", first, last - 1, refused, predicting);
    QVERIFY(refused > (last - first) / 20);
    QVERIFY(predicting > (last - first) / 20);
}

void TestModelDamaged::unusableFrames_data()
{
    QTest::addColumn<QSize>("camera");
    QTest::addColumn<bool>("usable");
    QTest::newRow("1x5000") << QSize(1, 5000) << false;
    QTest::newRow("2x4000") << QSize(2, 4000) << false;
    QTest::newRow("4000x2") << QSize(4000, 2) << false;
    QTest::newRow("640x79") << QSize(640, 79) << false;
    QTest::newRow("15x15") << QSize(15, 15) << false;
    QTest::newRow("16390x2100") << QSize(16390, 2100) << false;
    // The most elongated frames still taken keep the scaling to width 640.
    QTest::newRow("640x80") << QSize(640, 80) << true;
    QTest::newRow("160x1280") << QSize(160, 1280) << true;
}

void TestModelDamaged::unusableFrames()
{
    QFETCH(QSize, camera);
    QFETCH(bool, usable);
    rig::Rig r(Script::regular(0, 0, 0, 0, 10));
    auto source = std::make_shared<FixedFrameSource>(cv::Size(camera.width(), camera.height()));
    r.model.setFrameSource(source);
    QVERIFY(r.init());
    QElapsedTimer timer;
    timer.start();
    r.model.startLivePreview();
    if (usable) {
        while (source->framesRead() < 8 + 5 && timer.elapsed() < 20000)
            QCoreApplication::processEvents();
        r.model.stop();
        QVERIFY(r.waitForReport());
        QCOMPARE(r.order.last(), QString("stopped"));
        QVERIFY(r.steps.size() >= 4);
        const cv::Size processed(640, int(float(camera.height()) / (float(camera.width()) / 640.0f)));
        QCOMPARE(r.steps.back().size, processed);
    } else {
        // Refused at the opening, before any step: the broken-camera ending.
        QCOMPARE(r.order, QStringList({"frameReceived", "errorOccurred(6)"}));
        QVERIFY(r.steps.empty());
        QVERIFY(r.model.lastFailure().contains(QString("%1x%2").arg(camera.width()).arg(camera.height())));
    }
}

void TestModelDamaged::frameSizeChangeEndsRun()
{
    rig::Rig r(Script::regular(0, 0, 0, 0, 10));
    auto source = std::make_shared<FixedFrameSource>(cv::Size(640, 480), cv::Size(320, 240), 20);
    r.model.setFrameSource(source);
    QVERIFY(r.init());
    r.model.startBlinkMeasurement();
    QVERIFY(r.waitForReport(20000));
    QCOMPARE(r.order, QStringList({"webcamActivated(5)", "errorOccurred(6)"}));
    QCOMPARE(int(r.steps.size()), 20 - 8 - 1);
    QVERIFY(r.model.lastFailure().contains("640x480"));
    QVERIFY(r.model.lastFailure().contains("320x240"));
}

QTEST_MAIN(TestModelDamaged)
#include "tst_model_damaged.moc"
