// Three-minute measurements and blink detection on the synthetic face, in
// virtual time.

#include <QtTest>

#include "tests/core/engine/enginerig.h"

using synthface::Script;
using synthface::ScriptedBlink;

namespace {

// Scripted blinks that were counted: a counted blink belongs to the first
// unmatched scripted blink whose motion it can have been seen in.
struct Match {
    int matched = 0;
    int unexpected = 0;
};

Match matchBlinks(const std::vector<ScriptedBlink>& script, const std::vector<double>& counted)
{
    Match m;
    std::vector<bool> used(script.size(), false);
    for (double t : counted) {
        bool found = false;
        for (size_t i = 0; i < script.size(); ++i) {
            if (!used[i] && t >= script[i].start && t <= script[i].start + script[i].duration + 0.3) {
                used[i] = true;
                found = true;
                break;
            }
        }
        found ? ++m.matched : ++m.unexpected;
    }
    return m;
}

}  // namespace

class TestModelMeasurement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fortyFiveBlinks();
    void noBlinksWithShortAbsence();
    void detectionRate_data();
    void detectionRate();
    void reopenedCameraKeepsRateHonest();
};

void TestModelMeasurement::initTestCase()
{
    registerCrossThreadTypes();
    QVERIFY(!rig::landmarkModel().isEmpty());
}

void TestModelMeasurement::fortyFiveBlinks()
{
    // 45 blinks, one every 3.9 s, of lengths from 0.15 to 0.40 s.
    Script s = Script::regular(0, 0, 0, 0, 185);
    double sum = 0;
    for (int i = 0; i < 45; ++i) {
        const double d = 0.15 + 0.25 * (i % 6) / 5.0;
        s.blinks.push_back({1.5 + 3.9 * i, d});
        sum += d;
    }
    rig::Rig r(s);
    REQUIRE_FACE_CHOICE(r);
    QVERIFY(r.init());
    r.model.startBlinkMeasurement();
    // The first step opened the camera, then read one frame.
    const double opened = r.seconds() - 1 / 30.0;
    QVERIFY(r.waitForReport(300000));
    QCOMPARE(r.order.first(), QString("webcamActivated(5)"));
    QCOMPARE(r.order.last(), QString("measurementSuccessful"));
    QCOMPARE(r.measurement.count(), 1);
    QCOMPARE(r.blinkDetected.count(), 45);
    QCOMPARE(matchBlinks(s.blinks, r.blinkTimes).matched, 45);
    QCOMPARE(r.measurement.at(0).at(0).toFloat(), 15.0f);
    // The mean length follows the scripted lengths (within a frame or two).
    const int length = r.measurement.at(0).at(1).toInt();
    const double scripted = sum / 45 * 1000;
    qInfo("mean blink length %d ms, scripted %.0f ms", length, scripted);
    QVERIFY2(length > scripted - 40 && length < scripted + 80,
             qPrintable(QString("%1 ms against %2 ms").arg(length).arg(scripted)));
    // Three minutes of engine time from the opening.
    QVERIFY(r.seconds() - opened > 180.0 && r.seconds() - opened < 180.1);
    QVERIFY(!r.source->isOpened());
}

void TestModelMeasurement::noBlinksWithShortAbsence()
{
    // The user looks away for 7 s in the middle: under the 8 s allowed.
    Script s = Script::regular(0, 0, 0, 0, 185);
    s.absences.push_back({80, 87});
    rig::Rig r(s);
    REQUIRE_FACE_CHOICE(r);
    QVERIFY(r.init());
    r.model.startBlinkMeasurement();
    QVERIFY(r.waitForReport(300000));
    QCOMPARE(r.order, QStringList({"webcamActivated(5)", "measurementSuccessful"}));
    QCOMPARE(r.measurement.at(0).at(0).toFloat(), 0.0f);
    QCOMPARE(r.measurement.at(0).at(1).toInt(), 0);
}

void TestModelMeasurement::detectionRate_data()
{
    QTest::addColumn<uint>("seed");
    QTest::newRow("seed 5") << 5u;
}

void TestModelMeasurement::detectionRate()
{
    // Three minutes of blinks of varied length and spacing, watched as the
    // replay tool watches them.
    QFETCH(uint, seed);
    const Script s = Script::random(seed, 180);
    rig::Rig r(s, cv::Size(640, 480), 30.0);
    REQUIRE_FACE_CHOICE(r);
    QVERIFY(r.init());
    r.model.startLivePreview();
    QVERIFY(r.waitForReport(300000));
    QCOMPARE(r.order.last(), QString("errorOccurred(6)"));
    const Match m = matchBlinks(s.blinks, r.blinkTimes);
    qInfo("seed %u: %d of %d scripted blinks counted, %d counted outside them", seed, m.matched,
          int(s.blinks.size()), m.unexpected);
    QVERIFY(s.blinks.size() >= 35);
    QVERIFY(m.matched >= 0.95 * double(s.blinks.size()));
    QCOMPARE(m.unexpected, 0);
}

void TestModelMeasurement::reopenedCameraKeepsRateHonest()
{
    // 20 blinks in the first minute, then the camera is changed; the 180 s
    // that follow the reopening hold 30 blinks: 10 per minute, not 50 / 3.
    Script s = Script::regular(0, 0, 0, 0, 245);
    for (int i = 0; i < 20; ++i)
        s.blinks.push_back({1.0 + 2.8 * i, 0.25});
    for (int i = 0; i < 30; ++i)
        s.blinks.push_back({63.0 + 5.9 * i, 0.25});
    rig::Rig r(s);
    REQUIRE_FACE_CHOICE(r);
    QVERIFY(r.init());
    r.model.startBlinkMeasurement();
    r.runUntilFrames(60 * 30);
    QCOMPARE(r.blinkDetected.count(), 20);
    r.model.setCameraID(1);
    QVERIFY(r.waitForReport(300000));
    QCOMPARE(r.order.count("webcamActivated(5)"), 2);
    QCOMPARE(r.blinkDetected.count(), 50);
    QCOMPARE(r.measurement.at(0).at(0).toFloat(), 10.0f);
}

QTEST_MAIN(TestModelMeasurement)
#include "tst_model_measurement.moc"
