// The real program measuring through a webcam: the fake webcam plays a
// recorded talking face as /dev/video0 and lumora runs on an X server of its
// own, as its user would run it. The three-minute measurement writes its
// record (checked against lumora-replay on the same clip) and its point on
// the health graph; the interactive reminder's training run sees the blink
// or asks for the reminder; an unplugged camera ends a measurement with
// error 6 and no record, and a later one measures again; a picture that
// stands still while it holds a face is a frozen camera, a dark one is not. The clips come
// from scripts/fetch-clips.sh (or the folder in LUMORA_CLIPS); without them
// the cases are skipped.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/support/cameraprogram.h"
#include "tests/support/fakewebcamclip.h"
#include "tests/support/procstat.h"

namespace {

const QString kReplay = QStringLiteral(LUMORA_BIN_DIR "/lumora-replay");
// The measurement's three minutes, and the most its start may take after a
// click (the 15 s after start-up, the next tick, the camera's opening).
constexpr int kMeasurementMs = 180000;
constexpr int kStartMs = 90000;
// QtTest's limit for one row (set in main()): a measurement's start and its
// three minutes, the reference beside them, and the program's end. A row's
// waits take their bounds from what is left of it less kEndMs, the most the
// program and its desktop take to end, so that a row fails saying what it
// waited for rather than at QtTest's time-out.
constexpr int kRowMs = 480000;
constexpr int kEndMs = 40000;
// What ends a measurement in the scheduler's log: its result or an error.
const QString kResult = QStringLiteral("ApplicationController::processMeasurement");
const QStringList kEnds{kResult, QStringLiteral("ApplicationController::processError")};

// A check on the running program; when it fails, the end of the program's
// log is printed whole (a failure's own message is cut at about 1 KB).
#define VERIFY_RUN(condition, program)                                                 \
    do {                                                                               \
        const bool ok_ = (condition);                                                  \
        if (!ok_)                                                                      \
            for (const QString& line : program.log().right(12000).split('\n'))        \
                qInfo().noquote() << "  |" << line;                                   \
        QVERIFY2(ok_, #condition);                                                     \
    } while (false)

// The row's time left for a wait of at most ms.
QDeadlineTimer rowLeft;
int left(int ms)
{
    return int(qBound<qint64>(0, rowLeft.remainingTime(), ms));
}

// Waits for the end of the measurement started at position from in the
// log; true when it was its result, not an error.
bool measured(CameraProgram& lumora, int from)
{
    const int ms = left(kMeasurementMs + kStartMs);
    const int end = lumora.waitForLog(kEnds, ms, from);
    if (end < 0 && ms < kMeasurementMs + kStartMs)
        qWarning("the row's time ran out %d s into the wait for the measurement's end", ms / 1000);
    return end >= 0 && lumora.log().mid(end).startsWith(kResult);
}

// The reference: lumora-replay in measurement mode on the clip looped to
// 190 s at the fake webcam's loop points (and scaled as its frames are). It
// runs at the test's own priority: niced, a busy machine left it no CPU.
// The program measuring beside it takes under a tenth of a core and sleeps
// between frames, so it keeps them all the same.
void startReference(QProcess& replay, const QString& clip, const QSize& size, const QString& dir)
{
    const QString looped = dir + "/looped.mkv";
    const QString scale = size.isValid() ? QStringLiteral("scale=%1:%2").arg(size.width()).arg(size.height())
                                         : QStringLiteral("null");
    replay.start("sh", {"-c",
                        "ffmpeg -v error -nostdin -y -stream_loop -1 -i \"$1\" -vf \"$2\" -t 190 -c:v ffv1 \"$3\" "
                        "&& exec \"$4\" --mode measurement \"$3\"",
                        "reference", clip, scale, looped, kReplay});
}

// Its rate as the scheduler passes a rate on: the blinks of the three
// minutes per minute, truncated to one decimal in single precision. -1
// with the reason in why when the run gave no result, also when it has not
// ended within the row's time: then why says how much CPU it had.
double referenceRate(QProcess& replay, QString& why)
{
    if (replay.state() != QProcess::NotRunning && !replay.waitForFinished(qMax(1, left(kRowMs)))) {
        // Its CPU time and that of the ffmpeg it waited for, and its age.
        const QList<QByteArray> f = procStatFields(replay.processId());
        QFile uptime("/proc/uptime");
        const double tick = double(sysconf(_SC_CLK_TCK));
        double cpu = 0;
        for (int i = 13; i <= 16 && i < f.size(); ++i)
            cpu += f[i].toDouble() / tick;
        const double age = uptime.open(QIODevice::ReadOnly) && f.size() > 22
                               ? uptime.readAll().split(' ').first().toDouble() - f[22].toDouble() / tick
                               : -1;
        why = QStringLiteral("lumora-replay, the reference, had not ended when the row's time ran out: "
                             "%1 s of CPU in its %2 s; the machine gave it too little")
                  .arg(cpu, 0, 'f', 1)
                  .arg(age, 0, 'f', 0);
        return -1;
    }
    why = replay.readAllStandardError();
    if (replay.exitStatus() != QProcess::NormalExit || replay.exitCode() != 0)
        return -1;
    int blinks = 0;
    for (const QByteArray& line : replay.readAllStandardOutput().split('\n')) {
        if (line.endsWith("blinkDetected()"))
            ++blinks;
        if (line.contains("measurementSuccessful"))
            return double(int(float(blinks / 3.0) * 10.0f)) / 10.0;
    }
    return -1;
}

}  // namespace

class TestCameraRuns : public QObject
{
    Q_OBJECT

private:
    // The talking-face clip of a row and its fake webcam file in format;
    // skips without the clip.
    bool prepare(const QString& clip, const QString& format, const QTemporaryDir& dir, QString& video,
                 QString& camera, const QSize& size = QSize())
    {
        video = talkingFaceClip(clip + ".webm");
        if (video.isEmpty()) {
            QTest::qSkip("the clip is not here; scripts/fetch-clips.sh fetches it", __FILE__, __LINE__);
            return false;
        }
        camera = dir.filePath("camera.raw");
        const QString error = makeFakeWebcamClip(video, camera, format, size);
        if (!error.isEmpty())
            QTest::qFail(qPrintable(error), __FILE__, __LINE__);
        return error.isEmpty();
    }

private slots:
    // Each row's time starts with it.
    void init() { rowLeft.setRemainingTime(qEnvironmentVariableIntValue("QTEST_FUNCTION_TIMEOUT") - kEndMs); }
    void firstMeasurementWritesRecord_data();
    void firstMeasurementWritesRecord();
    void interactiveTrainingSeesBlink_data();
    void interactiveTrainingSeesBlink();
    void unplugEndsMeasurementWithoutRecord_data();
    void unplugEndsMeasurementWithoutRecord();
    void frozenCameraEndsRunWithoutRecord_data();
    void frozenCameraEndsRunWithoutRecord();
    void darkPictureIsNoFrozenCamera_data();
    void darkPictureIsNoFrozenCamera();
};

void TestCameraRuns::firstMeasurementWritesRecord_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("size");  // the clip's own when invalid
    for (const char* clip : {"cap12_edit", "cap13_edit2"})
        for (const char* format : {"yuyv", "mjpeg"})
            QTest::addRow("%s/%s", QByteArray(clip).left(5).constData(), format) << clip << format << QSize();
    // A camera of 640x480, whose frames the engine takes at their size.
    QTest::newRow("cap13/yuyv/640x480") << "cap13_edit2"
                                        << "yuyv" << QSize(640, 480);
}

// "TAKE FIRST MEASUREMENT": three minutes later one record, whose rate is
// lumora-replay's on the same frames, and its point on the health graph.
void TestCameraRuns::firstMeasurementWritesRecord()
{
    QFETCH(QString, clip);
    QFETCH(QString, format);
    QFETCH(QSize, size);
    QTemporaryDir dir;
    QString video, camera;
    if (!prepare(clip, format, dir, video, camera, size))
        return;
    QProcess replay;
    startReference(replay, video, size, dir.path());

    CameraProgram lumora(dir.path() + "/program");
    lumora.setSetting("T", false);  // no training run takes the camera first
    QVERIFY(lumora.start(camera, format));
    VERIFY_RUN(lumora.waitForInit(), lumora);
    QCOMPARE(CameraProgram::graphPointPixels(lumora.grab()), 0);
    QVERIFY(lumora.takeFirstMeasurement());
    QElapsedTimer sinceClick;
    sinceClick.start();

    const int started = lumora.waitForLog("Model: startMeasurement()", left(kStartMs));
    VERIFY_RUN(started >= 0, lumora);
    const qint64 startMs = sinceClick.elapsed();
    const double cpuAtStart = lumora.cpuSeconds();
    VERIFY_RUN(measured(lumora, started), lumora);
    const double cpu = lumora.cpuSeconds() - cpuAtStart;
    QTRY_COMPARE_WITH_TIMEOUT(lumora.records().size(), 1, 10000);
    const double rate = lumora.records().first().toObject().value("blinkrate").toDouble(-1);
    QTRY_VERIFY_WITH_TIMEOUT(CameraProgram::graphPointPixels(lumora.grab()) > 10, 10000);

    QString why;
    const double reference = referenceRate(replay, why);
    QVERIFY2(reference >= 0, qPrintable(why));
    const FakeWebcamFigures shim = lumora.webcamFigures();
    qInfo().noquote() << QStringLiteral("%1 %2%7: record %3, lumora-replay %4 blinks per minute; %5; "
                                        "program CPU %6 s per second of measurement; started %8 s after the click")
                             .arg(clip, format)
                             .arg(rate, 0, 'f', 1)
                             .arg(reference, 0, 'f', 1)
                             .arg(shim.text())
                             .arg(cpu / (kMeasurementMs / 1000.0), 0, 'f', 3)
                             .arg(size.isValid() ? QStringLiteral(" %1x%2").arg(size.width()).arg(size.height())
                                                 : QString())
                             .arg(startMs / 1000.0, 0, 'f', 1);
    if (shim.dropped > 0) {
        qWarning().noquote() << "the fake webcam dropped" << shim.dropped << "frames: the rates are not compared";
        return;
    }
    QVERIFY2(qAbs(rate - reference) <= 1.0 + 1e-9,
             qPrintable(QStringLiteral("record %1, lumora-replay %2").arg(rate).arg(reference)));
}

void TestCameraRuns::interactiveTrainingSeesBlink_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("reminder");
    // cap13 blinks 2.6 s into the clip; cap12 first after 25 s.
    for (const char* format : {"yuyv", "mjpeg"}) {
        QTest::addRow("cap13/%s", format) << "cap13_edit2" << format << false;
        QTest::addRow("cap12/%s", format) << "cap12_edit" << format << true;
    }
}

// The interactive reminder's run: a blink within the first 4 s answers it
// with no reminder; without one the reminder is asked for and the run goes
// on watching until the blink comes.
void TestCameraRuns::interactiveTrainingSeesBlink()
{
    QFETCH(QString, clip);
    QFETCH(QString, format);
    QFETCH(bool, reminder);
    QTemporaryDir dir;
    QString video, camera;
    if (!prepare(clip, format, dir, video, camera))
        return;

    CameraProgram lumora(dir.path() + "/program");
    lumora.setSetting("M", false);
    lumora.setSetting("T", true);
    lumora.setSetting("IR", true);
    lumora.setSetting("TMGD", false);
    lumora.setSetting("TP", 2);  // the first run right after the 15 s grace
    QVERIFY(lumora.start(camera, format));
    VERIFY_RUN(lumora.waitForInit(), lumora);

    const int asked =
        lumora.waitForLog("ApplicationController::accessFeature() emit blinkTrainingRequested();", kStartMs);
    VERIFY_RUN(asked >= 0, lumora);
    const QString answer = QStringLiteral("ApplicationController::processBlinkForTraining ");
    const int first = lumora.waitForLog(answer, 40000, asked);
    VERIFY_RUN(first >= 0, lumora);
    const QString log = lumora.log();
    const int blink = log.indexOf("Model:: blink detected", asked);
    if (!reminder) {
        VERIFY_RUN(log.mid(first + answer.size()).startsWith("true"), lumora);
        VERIFY_RUN(blink >= 0 && blink < first, lumora);
        return;
    }
    // No blink in the first seconds: the reminder, then the blink.
    VERIFY_RUN(log.mid(first + answer.size()).startsWith("false"), lumora);
    VERIFY_RUN(blink < 0 || blink > first, lumora);
    const int seen = lumora.waitForLog(answer + "true", 40000, first);
    VERIFY_RUN(seen >= 0, lumora);
    const int counted = lumora.log().indexOf("Model:: blink detected", first);
    VERIFY_RUN(counted > first && counted < seen, lumora);
    VERIFY_RUN(lumora.log().indexOf("ApplicationController::processError", asked) < 0, lumora);
}

void TestCameraRuns::unplugEndsMeasurementWithoutRecord_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("yuyv") << "yuyv";
    QTest::newRow("mjpeg") << "mjpeg";
}

// The camera vanishes 10 s into a measurement: error 6 with the empty-frame
// text, no record, the program goes on; once the camera is back, "TAKE
// FIRST MEASUREMENT" (the history is still empty) measures and stores.
void TestCameraRuns::unplugEndsMeasurementWithoutRecord()
{
    QFETCH(QString, format);
    QTemporaryDir dir;
    QString video, camera;
    if (!prepare("cap13_edit2", format, dir, video, camera))
        return;

    CameraProgram lumora(dir.path() + "/program");
    lumora.setSetting("T", false);
    // Frame times count while the camera streams; the measurement's opening
    // takes 8, so the camera vanishes 10 s into it and is back 5 s later.
    QVERIFY(
        lumora.start(camera, format, {{"FAKEWEBCAM_UNPLUG_AFTER", "258"}, {"FAKEWEBCAM_REPLUG_AFTER_S", "5"}}));
    VERIFY_RUN(lumora.waitForInit(), lumora);
    QVERIFY(lumora.takeFirstMeasurement());

    const int started = lumora.waitForLog("Model: startMeasurement()", kStartMs);
    VERIFY_RUN(started >= 0, lumora);
    const int shown = lumora.waitForLog("LumoraGUI::showError", 60000, started);
    VERIFY_RUN(shown >= 0, lumora);
    const QString line = lumora.log().mid(shown).section('\n', 0, 0);
    QVERIFY2(line.contains("Error: empty frame received, camera unplugged? (or bad cable or broken camera or bad "
                           "driver)."),
             qPrintable(line));
    VERIFY_RUN(lumora.waitForLog("ApplicationController::processError \"empty frame\" modelUse \"measurement\"",
                               10000, started) >= 0, lumora);
    lumora.idle(7000);  // the camera comes back
    QVERIFY(lumora.running());
    QCOMPARE(lumora.records().size(), 0);

    QVERIFY(lumora.takeFirstMeasurement());
    const int again = lumora.waitForLog("Model: startMeasurement()", kStartMs, shown);
    VERIFY_RUN(again >= 0, lumora);
    VERIFY_RUN(measured(lumora, again), lumora);
    QTRY_COMPARE_WITH_TIMEOUT(lumora.records().size(), 1, 10000);
    qInfo().noquote() << format << "with an unplug:" << lumora.webcamFigures().text();
}

void TestCameraRuns::frozenCameraEndsRunWithoutRecord_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("freeze");  // how, as freezeFakeWebcamClip() has it
    QTest::addColumn<QString>("feature");
    QTest::addColumn<int>("good");  // frames before the picture freezes
    for (const char* format : {"yuyv", "mjpeg"})
        QTest::addRow("%s/repeat", format) << format << "repeat"
                                           << "measurement" << 30;
    for (const char* freeze : {"noise", "jpegnoise"})
        QTest::addRow("mjpeg/%s", freeze) << "mjpeg" << freeze << "measurement" << 30;
    QTest::newRow("mjpeg/noise/training") << "mjpeg"
                                          << "noise"
                                          << "interactive training" << 30;
    // A virtual camera showing a photo: the face is still from the start.
    QTest::newRow("yuyv/still") << "yuyv"
                                << "repeat"
                                << "measurement" << 1;
}

// The picture stops changing 30 frames into the clip: the same frame again,
// or broken frames that OpenCV answers with its last picture. The run ends
// with error 6 and the empty-frame text within seconds; no record of a still
// face's 0 blinks is stored.
void TestCameraRuns::frozenCameraEndsRunWithoutRecord()
{
    QFETCH(QString, format);
    QFETCH(QString, freeze);
    QFETCH(QString, feature);
    QFETCH(int, good);
    QTemporaryDir dir;
    QString video, camera;
    if (!prepare("cap13_edit2", format, dir, video, camera))
        return;
    const QString error = freezeFakeWebcamClip(camera, good, 155 - good, freeze);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const bool training = feature == QLatin1String("interactive training");
    CameraProgram lumora(dir.path() + "/program");
    lumora.setSetting("M", !training);
    lumora.setSetting("T", training);
    lumora.setSetting("TP", 2);
    QVERIFY(lumora.start(camera, format));
    VERIFY_RUN(lumora.waitForInit(), lumora);
    QVERIFY(training || lumora.takeFirstMeasurement());

    const int started =
        lumora.waitForLog(training ? "Model::startTraining()" : "Model: startMeasurement()", kStartMs);
    VERIFY_RUN(started >= 0, lumora);
    const QString ended = QStringLiteral("ApplicationController::processError \"empty frame\" modelUse \"%1\"");
    VERIFY_RUN(lumora.waitForLog(ended.arg(feature), 20000, started) >= 0, lumora);
    const int shown = lumora.waitForLog("LumoraGUI::showError", 10000, started);
    VERIFY_RUN(lumora.log().mid(shown).section('\n', 0, 0).contains("Error: empty frame received"), lumora);
    lumora.idle(3000);
    QVERIFY(lumora.running());
    QCOMPARE(lumora.records().size(), 0);
}

void TestCameraRuns::darkPictureIsNoFrozenCamera_data()
{
    QTest::addColumn<bool>("shutter");
    QTest::newRow("yuyv/dark") << false;
    QTest::newRow("yuyv/shutter") << true;
}

// A camera that gives one black frame again and again for its first 3 s,
// while it settles, then the user: the measurement stores its record. A
// closed shutter (black only) has no face to measure: the measurement ends
// with the no-face error, not as a broken camera.
void TestCameraRuns::darkPictureIsNoFrozenCamera()
{
    QFETCH(bool, shutter);
    QTemporaryDir dir;
    QString video, camera;
    if (!prepare("cap13_edit2", "yuyv", dir, video, camera))
        return;
    const int dark = shutter ? 250 : 75;
    QString error = darkenFakeWebcamClip(camera, dark);
    if (error.isEmpty() && shutter)
        error = freezeFakeWebcamClip(camera, dark, 0, "repeat");
    QVERIFY2(error.isEmpty(), qPrintable(error));

    CameraProgram lumora(dir.path() + "/program");
    lumora.setSetting("T", false);
    QVERIFY(lumora.start(camera, "yuyv"));
    VERIFY_RUN(lumora.waitForInit(), lumora);
    QVERIFY(lumora.takeFirstMeasurement());
    const int started = lumora.waitForLog("Model: startMeasurement()", kStartMs);
    VERIFY_RUN(started >= 0, lumora);
    if (!shutter) {
        VERIFY_RUN(measured(lumora, started), lumora);
        QTRY_COMPARE_WITH_TIMEOUT(lumora.records().size(), 1, 10000);
        return;
    }
    const int ended = lumora.waitForLog(kEnds, 30000, started);
    VERIFY_RUN(ended >= 0, lumora);
    VERIFY_RUN(lumora.log().mid(ended).startsWith(
                   "ApplicationController::processError \"no face\" modelUse \"measurement\""), lumora);
    QVERIFY(lumora.running());
    QCOMPARE(lumora.records().size(), 0);
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIntValue("QTEST_FUNCTION_TIMEOUT") <= 0)
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number(kRowMs));
    QCoreApplication app(argc, argv);
    TestCameraRuns test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_cameraruns.moc"
