// The feature scheduler on a virtual clock: its choices, countdowns, endings
// and answers to the engine, each at an exact virtual time.

#include <QSignalSpy>
#include <QtTest>
#include <functional>
#include <map>

#include "core/control/applicationcontroller.h"
#include "tools/schedsim/requestlog.h"

namespace {

const QDateTime kStart(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC);
constexpr qint64 kMin = 60000;
constexpr qint64 kHour = 60 * kMin;

// The user is at the desk unless awaySince is set (virtual ms since start).
class FakePresence : public PresenceProbe
{
public:
    explicit FakePresence(ManualSchedulerClock* c) : clock(c) {}
    PresenceSample sample() override
    {
        PresenceSample s;
        if (!hasSource)
            return s;
        s.hasSource = true;
        if (useCursor) {
            s.hasCursor = true;
            s.cursor = cursor;
            if (pointerFollowsUser && awaySince < 0)
                s.cursor = QPoint(int(clock->elapsedMs() / 1000), 0);
        } else {
            s.idleMs = awaySince >= 0 ? clock->elapsedMs() - awaySince : 0;
        }
        return s;
    }
    QString sourceDescription() const override { return QStringLiteral("test"); }

    ManualSchedulerClock* clock;
    bool hasSource = true;
    qint64 awaySince = -1;
    bool useCursor = false;
    bool pointerFollowsUser = false;  // moving while the user is here
    QPoint cursor;
};

class FakeCameras : public CameraList
{
public:
    QVector<CameraEntry> cameras() override { return list; }
    QVector<CameraEntry> list{{QStringLiteral("Integrated Camera"), 0}};
};

// A scheduler on a virtual clock, initialised, with every signal it sends
// recorded as "<virtual ms> <signal>".
struct Rig
{
    std::shared_ptr<ManualSchedulerClock> clock = std::make_shared<ManualSchedulerClock>(kStart);
    std::shared_ptr<FakePresence> presence = std::make_shared<FakePresence>(clock.get());
    std::shared_ptr<FakeCameras> cameras = std::make_shared<FakeCameras>();
    ApplicationController c{ApplicationController::Seams{clock, presence, cameras}};
    QStringList events;
    RequestLog log{&c, [this](const QString& s) { events << QStringLiteral("%1 %2").arg(clock->elapsedMs()).arg(s); }};

    Rig()
    {
        c.init();
        events.clear();
    }
    // Moves virtual time to ms since start; the scheduler's timers fire on the way.
    void runTo(qint64 ms) { clock->advance(ms - clock->elapsedMs()); }
    // Runs to until, doing each action at its time (in the order given at
    // the same time), and returns what was sent.
    QStringList run(const std::multimap<qint64, std::function<void()>>& actions, qint64 until)
    {
        for (const auto& a : actions) {
            runTo(a.first);
            a.second();
        }
        runTo(until);
        return take();
    }
    // One tick, now.
    void tick() { QVERIFY(QMetaObject::invokeMethod(&c, "accessFeature", Qt::DirectConnection)); }
    QStringList take()
    {
        QStringList e = events;
        events.clear();
        return e;
    }
    // The times at which a signal was sent.
    QList<qint64> timesOf(const QString& signal) const
    {
        QList<qint64> times;
        for (const QString& e : events) {
            const int space = e.indexOf(QLatin1Char(' '));
            if (e.mid(space + 1).startsWith(signal + QLatin1Char('(')))
                times << e.left(space).toLongLong();
        }
        return times;
    }
};

QStringList namesOnly(const QStringList& events)
{
    QStringList names;
    for (const QString& e : events) {
        const QString s = e.mid(e.indexOf(QLatin1Char(' ')) + 1);
        names << s.left(s.indexOf(QLatin1Char('(')));
    }
    return names;
}

}  // namespace

class TestApplicationController : public QObject
{
    Q_OBJECT

private slots:
    // ---- choosing and timing -------------------------------------------
    void graceAfterStartAndResume();
    void priorities();
    void exerciseWaitsForNearBreak();
    void exercisesGoOnWithBreaksOff();
    void plainReminderThenCooldown();
    void cameraPauseMeansPlainReminders();
    void enablingTwiceKeepsCountdowns();
    void snoozeAndSkip();
    void changingBreakPeriodMovesPendingBreak();
    // ---- engine answers ------------------------------------------------
    void measurementRetries();
    void rateTruncatesToOneDecimal_data();
    void rateTruncatesToOneDecimal();
    void measurementNote_data();
    void measurementNote();
    void trainingErrorsFallBackOrEnd();
    void overlongTrainingIsStoppedOnce();
    void livePreviewWaitsForTheEngine();
    void livePreviewStaysOffWhilePaused_data();
    void livePreviewStaysOffWhilePaused();
    // ---- ends and stops ------------------------------------------------
    void reminderClosedByMouseLeavesNextFeatureAlone();
    void cameraPauseSendsOneStop();
    // ---- presence ------------------------------------------------------
    void naturalBreaksMoveTimesOnlyWhenIncluded_data();
    void naturalBreaksMoveTimesOnlyWhenIncluded();
    void absentUserEndsBreak();
    void pointerMovementCountsAsPresence();
    void noPresenceSourceMeansPresent();
    // ---- cameras -------------------------------------------------------
    void cameraRowMapsToDeviceIndex();
    // ---- the wall clock set apart from the timers ----------------------
    void countdownsIgnoreWallClockSteps_data();
    void countdownsIgnoreWallClockSteps();
    void wallClockStepsKeepWhatIsLeft_data();
    void wallClockStepsKeepWhatIsLeft();
};

void TestApplicationController::graceAfterStartAndResume()
{
    Rig r;
    r.c.enableMeasurement(true);
    r.c.takeMeasurementNow();
    r.runTo(14999);
    r.tick();
    QCOMPARE(r.take(), QStringList());
    r.runTo(15000);
    r.tick();
    QCOMPARE(r.take(), QStringList{"15000 blinkMeasurementRequested()"});

    r.c.processMeasurement(12.0f, 200);
    r.take();
    r.runTo(30000);
    r.c.pauseProgram(true);  // nothing runs: the stop is for a live preview
    r.runTo(40000);
    r.c.pauseProgram(false);
    r.c.takeMeasurementNow();
    r.runTo(54999);
    r.tick();
    r.runTo(57000);
    QCOMPARE(r.take(), (QStringList{"30000 stopCameraUseRequested()", "56000 blinkMeasurementRequested()"}));
}

void TestApplicationController::priorities()
{
    Rig r;
    r.runTo(60 * kMin);
    QCOMPARE(r.take(), QStringList());

    // Everything is due at once; each is answered as soon as it starts.
    r.c.enableMeasurement(true);
    r.c.takeMeasurementNow();
    r.c.enableComputerBreaks(true);
    r.c.enableEyeExercisebreaks(true);
    r.c.enableBlinkTraining(true);
    r.runTo(60 * kMin + 2000);
    r.c.processMeasurement(12.0f, 200);
    r.runTo(60 * kMin + 4000);
    r.c.skipBreak();
    r.runTo(60 * kMin + 6000);
    r.c.quitExercise();
    r.runTo(60 * kMin + 26000);
    QCOMPARE(namesOnly(r.take()), (QStringList{"blinkMeasurementRequested", "measurementCompleted", "breakRequested",
                                               "exerciseRequested", "blinkReminderRequested"}));
}

void TestApplicationController::exerciseWaitsForNearBreak()
{
    // Next break at 25 minutes; the exercise is due from 19 minutes on.
    {
        Rig r;
        r.c.changeTimeBetweenBreakReminders(25);
        r.c.enableComputerBreaks(true);
        r.runTo(1499000 - 300000);  // break 301 s away
        r.c.enableEyeExercisebreaks(true);
        r.tick();
        QCOMPARE(r.take(), QStringList{"1199000 exerciseRequested()"});
    }
    Rig r;
    r.c.changeTimeBetweenBreakReminders(25);
    r.c.enableComputerBreaks(true);
    r.runTo(1200000);  // break 300 s away
    r.c.enableEyeExercisebreaks(true);
    r.tick();
    QCOMPARE(r.take(), QStringList());

    // The break comes first; its end sets the exercise 19 minutes later.
    r.runTo(1502000);
    QCOMPARE(r.take(), QStringList{"1502000 breakRequested()"});
    r.presence->awaySince = 1502000;
    r.runTo(1741000);
    r.presence->awaySince = -1;
    QCOMPARE(r.take(), QStringList{"1740000 breakFinished()"});
    r.runTo(2900000);
    QCOMPARE(r.take(), QStringList{"2882000 exerciseRequested()"});
}

void TestApplicationController::exercisesGoOnWithBreaksOff()
{
    Rig r;
    r.runTo(1200000);  // the unused break time is 300 s away
    r.c.enableEyeExercisebreaks(true);
    r.tick();
    QCOMPARE(r.take(), QStringList{"1200000 exerciseRequested()"});

    // The pop-up ends each exercise after ten seconds; three hours go by.
    qint64 lastRequest = 1200000;
    int exercises = 1;
    r.take();
    for (qint64 t = 1202000; t < 3 * 60 * kMin; t += 2000) {
        if (t == lastRequest + 10000)
            r.c.quitExercise();
        r.runTo(t);
        const QList<qint64> times = r.timesOf(QStringLiteral("exerciseRequested"));
        if (!times.isEmpty()) {
            lastRequest = times.last();
            ++exercises;
            r.take();
        }
    }
    QVERIFY2(exercises >= 9, qPrintable(QString::number(exercises)));
    QVERIFY(lastRequest > 150 * kMin);
}

void TestApplicationController::plainReminderThenCooldown()
{
    Rig r;
    r.c.enableBlinkTraining(true);
    r.runTo(70000);
    QCOMPARE(r.take(), (QStringList{"30000 blinkReminderRequested()", "33000 userBlinked()",
                                    "64000 blinkReminderRequested()", "67000 userBlinked()"}));
}

void TestApplicationController::cameraPauseMeansPlainReminders()
{
    Rig r;
    r.c.enableInteractiveBlinkReminder(true);
    r.c.enableMeasurement(true);
    r.c.enableBlinkTraining(true);
    r.c.pauseCameraFeatures(true);
    r.runTo(190000);
    const QStringList names = namesOnly(r.events);
    QVERIFY(!names.contains("blinkMeasurementRequested"));
    QVERIFY(!names.contains("blinkInteractiveTrainingRequested"));
    QVERIFY(!names.contains("stopCameraUseRequested"));
    QCOMPARE(r.events.first(), QString("30000 blinkReminderRequested()"));
    QCOMPARE(names.count("blinkReminderRequested"), 5);
    r.take();

    r.c.pauseCameraFeatures(false);
    r.runTo(192000);
    // The measurement has been due since 120 s.
    QCOMPARE(r.take(), QStringList{"192000 blinkMeasurementRequested()"});
}

void TestApplicationController::enablingTwiceKeepsCountdowns()
{
    Rig r;
    r.c.enableBlinkTraining(true);
    r.runTo(20000);
    r.c.enableBlinkTraining(true);
    r.c.enableMeasurement(true);
    r.runTo(100000);
    r.c.enableMeasurement(true);
    r.runTo(150000);
    QCOMPARE(r.timesOf("blinkReminderRequested").first(), qint64(30000));
    QCOMPARE(r.timesOf("blinkMeasurementRequested"), QList<qint64>{140000});
}

void TestApplicationController::snoozeAndSkip()
{
    Rig r;
    r.c.enableComputerBreaks(true);
    r.runTo(3010000);
    r.c.snoozeBreak();
    r.runTo(3320000);
    r.c.skipBreak();
    r.runTo(6400000);
    QCOMPARE(r.timesOf("breakRequested"), (QList<qint64>{3002000, 3312000, 6322000}));
}

void TestApplicationController::changingBreakPeriodMovesPendingBreak()
{
    Rig r;
    r.c.enableComputerBreaks(true);
    r.runTo(25 * kMin);
    r.c.changeTimeBetweenBreakReminders(20);  // the break moves to 20 min: overdue
    r.runTo(25 * kMin + 2000);
    QCOMPARE(r.take(), QStringList{"1502000 breakRequested()"});
}

void TestApplicationController::measurementRetries()
{
    Rig r;
    r.c.enableMeasurement(true);
    r.runTo(130000);
    r.c.processError(NO_FACE);
    r.runTo(790000);
    r.c.processMeasurement(11.0f, 200);
    r.runTo(2600000);
    r.c.processStoppedBlinkDetection();
    r.runTo(3100000);
    QCOMPARE(r.timesOf("blinkMeasurementRequested"), (QList<qint64>{120000, 610000, 2590000, 3080000}));
}

void TestApplicationController::rateTruncatesToOneDecimal_data()
{
    QTest::addColumn<float>("measured");
    QTest::addColumn<double>("stored");
    QTest::newRow("12.39") << 12.39f << 12.3;
    QTest::newRow("10.3333") << 10.3333f << 10.3;
    QTest::newRow("9.99") << 9.99f << 9.9;
    QTest::newRow("20") << 20.0f << 20.0;
    QTest::newRow("0.05") << 0.05f << 0.0;
}

void TestApplicationController::rateTruncatesToOneDecimal()
{
    QFETCH(float, measured);
    QFETCH(double, stored);
    Rig r;
    QSignalSpy spy(&r.c, &ApplicationController::measurementCompleted);
    r.c.processMeasurement(measured, 321);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toDouble(), stored);
    QCOMPARE(spy.at(0).at(2).toInt(), 321);
}

void TestApplicationController::measurementNote_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("note");
    QTest::newRow("nothing") << "" << "";
    QTest::newRow("usual") << "interactive training exercises breaks natural"
                           << "Train;TrainPeriod30;Interact;Exer;Break;BreakPeriod50;IncludeNatBreak;NatBreakDuration3;";
    QTest::newRow("screen, MGD, natural only")
        << "screen training mgd natural period2500 natural5"
        << "Screen;Temp66;Brightness-1;Train;TrainPeriod2;MGD;IncludeNatBreak;NatBreakDuration5;";
    QTest::newRow("breaks every 80") << "breaks break80" << "Break;BreakPeriod80;";
}

void TestApplicationController::measurementNote()
{
    QFETCH(QString, settings);
    QFETCH(QString, note);
    Rig r;
    const QStringList s = settings.split(' ', Qt::SkipEmptyParts);
    r.c.enableInteractiveBlinkReminder(s.contains("interactive"));
    r.c.enableMGDblinkTraining(s.contains("mgd"));
    r.c.enableScreenControl(s.contains("screen"), 1000);
    r.c.setBrightness(80);           // does nothing on this platform
    r.c.setColorTemperature(45);     // neither does this
    if (s.contains("period2500"))
        r.c.setBlinkReminderPeriod(2500);
    r.c.enableBlinkTraining(s.contains("training"));
    r.c.enableEyeExercisebreaks(s.contains("exercises"));
    r.c.enableComputerBreaks(s.contains("breaks"));
    if (s.contains("break80"))
        r.c.changeTimeBetweenBreakReminders(80);
    r.c.includeNaturalBreaks(s.contains("natural"));
    if (s.contains("natural5"))
        r.c.setNaturalBreakDuration(5);
    QSignalSpy spy(&r.c, &ApplicationController::measurementCompleted);
    r.c.processMeasurement(10.0f, 100);
    QCOMPARE(spy.at(0).at(1).toString(), note);
}

void TestApplicationController::trainingErrorsFallBackOrEnd()
{
    // Camera occupied: a plain reminder for three seconds instead.
    Rig r;
    r.c.enableInteractiveBlinkReminder(true);
    r.c.enableBlinkTraining(true);
    r.runTo(30000);
    r.runTo(31000);
    r.c.processError(CAMERA_OCCUPIED);
    r.runTo(70000);
    QCOMPARE(r.take(), (QStringList{"30000 blinkInteractiveTrainingRequested()", "31000 blinkReminderRequested()",
                                    "34000 userBlinked()", "64000 blinkInteractiveTrainingRequested()"}));

    // No face: the training ends at once and the cool-down starts.
    r.c.processError(NO_FACE);
    r.runTo(100000);
    QCOMPARE(r.take(), (QStringList{"70000 userBlinked()", "100000 blinkInteractiveTrainingRequested()"}));

    // A blink ends it too; with MGD the reminder shows as the camera starts.
    r.c.enableMGDblinkTraining(true);
    r.c.adjustBlinkTrainingForMGD();
    r.c.processBlinkForTraining(false);  // already shown: not asked again
    r.c.processBlinkForTraining(true);
    QCOMPARE(r.take(), (QStringList{"100000 blinkReminderRequested()", "100000 userBlinked()"}));
}

void TestApplicationController::overlongTrainingIsStoppedOnce()
{
    Rig r;
    r.c.enableInteractiveBlinkReminder(true);
    r.c.enableBlinkTraining(true);
    r.runTo(30500);
    r.c.adjustBlinkTrainingForMGD();
    r.runTo(34500);
    r.c.processBlinkForTraining(false);
    r.runTo(61000);  // the user never blinks while his face stays
    r.c.quitBlinkTraining();  // and then touches the reminder: no second stop
    r.c.processStoppedBlinkDetection();
    r.runTo(93000);
    QCOMPARE(r.take(), (QStringList{"30000 blinkInteractiveTrainingRequested()", "34500 blinkReminderRequested()",
                                    "60000 stopCameraUseRequested()", "61000 userBlinked()",
                                    "92000 blinkInteractiveTrainingRequested()"}));

    // A training answered in time is left alone.
    r.c.processBlinkForTraining(true);
    r.runTo(123000);
    QVERIFY(!namesOnly(r.events).contains("stopCameraUseRequested"));
}

void TestApplicationController::livePreviewWaitsForTheEngine()
{
    Rig r;
    r.c.enableMeasurement(true);
    r.c.enableBlinkTraining(true);
    r.runTo(120000);
    r.take();
    r.runTo(125000);
    r.c.enableLivePreview(true);
    QCOMPARE(r.take(), QStringList{"125000 stopCameraUseRequested()"});
    r.c.processStoppedBlinkDetection();
    QCOMPARE(r.take(), QStringList{"125000 startLivePreviewRequested()"});
    r.runTo(60 * kMin);
    QCOMPARE(r.take(), QStringList());  // nothing starts while the preview is on
    r.c.processDetectedBlink();
    r.c.enableLivePreview(false);
    QCOMPARE(r.take(), (QStringList{"3600000 userBlinked()", "3600000 stopCameraUseRequested()"}));
    r.c.processStoppedBlinkDetection();
    r.runTo(60 * kMin + 2000);
    QCOMPARE(namesOnly(r.take()), QStringList{"blinkMeasurementRequested"});
}

void TestApplicationController::livePreviewStaysOffWhilePaused_data()
{
    QTest::addColumn<bool>("program");  // else camera use
    QTest::newRow("program") << true;
    QTest::newRow("camera use") << false;
}

// A pause stops the preview of the open camera-test page; the engine's stop
// report does not start it again, the resume does.
void TestApplicationController::livePreviewStaysOffWhilePaused()
{
    QFETCH(bool, program);
    Rig r;
    r.c.enableLivePreview(true);
    r.take();
    const auto pause = [&](bool on) { program ? r.c.pauseProgram(on) : r.c.pauseCameraFeatures(on); };
    pause(true);
    r.c.processStoppedBlinkDetection();
    QCOMPARE(namesOnly(r.take()), QStringList{"stopCameraUseRequested"});
    pause(false);
    QCOMPARE(namesOnly(r.take()), QStringList{"startLivePreviewRequested"});
}

void TestApplicationController::reminderClosedByMouseLeavesNextFeatureAlone()
{
    Rig r;
    r.c.enableBlinkTraining(true);
    r.runTo(31000);
    r.c.quitBlinkTraining();  // the pointer touched the reminder
    r.c.enableMeasurement(true);
    r.c.takeMeasurementNow();
    r.runTo(40000);
    QCOMPARE(r.take(), (QStringList{"30000 blinkReminderRequested()", "32000 blinkMeasurementRequested()"}));
    r.runTo(200000);  // the measurement runs on: nothing else starts
    QCOMPARE(r.take(), QStringList());
    r.c.processMeasurement(14.0f, 200);
    QCOMPARE(namesOnly(r.take()), QStringList{"measurementCompleted"});
}

void TestApplicationController::cameraPauseSendsOneStop()
{
    Rig r;
    r.c.enableMeasurement(true);
    r.runTo(121000);
    r.take();
    r.c.pauseCameraFeatures(true);
    r.c.enableMeasurement(false);  // the stop is already on its way
    QCOMPARE(r.take(), QStringList{"121000 stopCameraUseRequested()"});
    r.c.processStoppedBlinkDetection();

    // Pausing the program during an interactive training: one stop as well.
    Rig t;
    t.c.enableInteractiveBlinkReminder(true);
    t.c.enableBlinkTraining(true);
    t.runTo(31000);
    t.c.pauseProgram(true);
    t.c.pauseCameraFeatures(true);
    QCOMPARE(t.take(), (QStringList{"30000 blinkInteractiveTrainingRequested()", "31000 stopCameraUseRequested()"}));
}

void TestApplicationController::naturalBreaksMoveTimesOnlyWhenIncluded_data()
{
    QTest::addColumn<bool>("included");
    QTest::addColumn<qint64>("firstBreak");
    // Away from 40 to 48 minutes; seen away at the checks of 44 to 48 minutes.
    QTest::newRow("included") << true << qint64(48 * kMin + 50 * kMin + 2000);
    QTest::newRow("excluded") << false << qint64(50 * kMin + 2000);
}

void TestApplicationController::naturalBreaksMoveTimesOnlyWhenIncluded()
{
    QFETCH(bool, included);
    QFETCH(qint64, firstBreak);
    Rig r;
    r.c.enableComputerBreaks(true);
    r.c.includeNaturalBreaks(included);
    r.runTo(40 * kMin);
    r.presence->awaySince = 40 * kMin;
    r.runTo(48 * kMin);
    r.presence->awaySince = -1;
    r.runTo(100 * kMin);
    QCOMPARE(r.timesOf("breakRequested").first(), firstBreak);
}

void TestApplicationController::absentUserEndsBreak()
{
    Rig r;
    r.c.enableComputerBreaks(true);
    r.runTo(3010000);
    r.presence->awaySince = 3010000;
    r.runTo(3300000);
    r.presence->awaySince = -1;
    r.runTo(6300000);
    // Idle for 230 s at the check of 54 minutes: more than three minutes.
    QCOMPARE(r.take(), (QStringList{"3002000 breakRequested()", "3240000 breakFinished()",
                                    "6242000 breakRequested()"}));
}

void TestApplicationController::pointerMovementCountsAsPresence()
{
    Rig r;
    r.presence->useCursor = true;
    r.c.enableComputerBreaks(true);
    r.runTo(3002000);
    for (int i = 1; i <= 3; ++i) {  // the pointer moves for three minutes
        r.presence->cursor = QPoint(i, i);
        r.runTo(3002000 + i * kMin);
    }
    QVERIFY(r.timesOf("breakFinished").isEmpty());
    // Then it stays put: away once more than three minutes lie between the
    // last movement seen (at the check of 53 min) and a check.
    r.runTo(58 * kMin);
    QCOMPARE(r.timesOf("breakFinished"), QList<qint64>{57 * kMin});
}

void TestApplicationController::noPresenceSourceMeansPresent()
{
    Rig r;
    r.presence->hasSource = false;
    r.presence->awaySince = 0;
    r.c.enableComputerBreaks(true);
    r.c.includeNaturalBreaks(true);
    r.runTo(60 * kMin);
    QCOMPARE(r.take(), QStringList{"3002000 breakRequested()"});
}

void TestApplicationController::cameraRowMapsToDeviceIndex()
{
    Rig r;
    r.cameras->list = {{"USB camera", 2}, {"Integrated Camera", 0}};
    r.c.enableMeasurement(true);
    r.runTo(120000);
    QCOMPARE(r.take(), (QStringList{"120000 cameraIDchanged(2)", "120000 blinkMeasurementRequested()"}));
    r.c.setCameraIDpreffered(1);
    r.c.setCameraIDpreffered(1);
    r.c.setCameraIDpreffered(3);   // beyond the list: the first camera
    r.c.setCameraIDpreffered(-1);  // the same camera: nothing to say
    r.cameras->list.clear();
    r.c.reloadCameras();  // no camera at all: index 0
    QCOMPARE(r.take(), (QStringList{"120000 cameraIDchanged(0)", "120000 cameraIDchanged(2)",
                                    "120000 cameraIDchanged(0)"}));
}

void TestApplicationController::countdownsIgnoreWallClockSteps_data()
{
    QTest::addColumn<QString>("feature");
    QTest::addColumn<qint64>("stepMs");
    QTest::addColumn<int>("countAfterStep");  // of the feature's request, without the step
    // Plain reminders every 5 s: one every 8 s (3 s shown, 5 s cool-down).
    QTest::newRow("reminders, set back 2 h") << "blinkReminderRequested" << -2 * kHour << 15;
    QTest::newRow("reminders, set forward 2 h") << "blinkReminderRequested" << 2 * kHour << 15;
    // The first measurement is due two minutes after it is switched on.
    QTest::newRow("measurement, set back 2 h") << "blinkMeasurementRequested" << -2 * kHour << 1;
    QTest::newRow("measurement, set forward 2 h") << "blinkMeasurementRequested" << 2 * kHour << 1;
}

void TestApplicationController::countdownsIgnoreWallClockSteps()
{
    QFETCH(QString, feature);
    QFETCH(qint64, stepMs);
    QFETCH(int, countAfterStep);
    const auto runWithStep = [&](qint64 step) {
        Rig r;
        r.c.setBlinkReminderPeriod(5000);
        if (feature == "blinkReminderRequested")
            r.c.enableBlinkTraining(true);
        else
            r.c.enableMeasurement(true);
        return r.run({{60000, [&r, step]() { r.clock->stepWallClock(step); }}}, 180000);
    };
    const QStringList unstepped = runWithStep(0);
    int after = 0;
    for (const QString& e : unstepped)
        after += e.section(' ', 0, 0).toLongLong() >= 60000 && e.section(' ', 1).startsWith(feature + '(');
    QCOMPARE(after, countAfterStep);
    QCOMPARE(runWithStep(stepMs), unstepped);
}

void TestApplicationController::wallClockStepsKeepWhatIsLeft_data()
{
    QTest::addColumn<bool>("byPointer");  // presence seen by the pointer, else by input idle time
    QTest::addColumn<qint64>("awayFrom");
    QTest::addColumn<qint64>("awayTo");
    QTest::addColumn<qint64>("changeAt");
    QTest::addColumn<qint64>("stepMs");
    QTest::addColumn<qint64>("sleepMs");
    QTest::addColumn<bool>("asWithoutChange");
    QTest::addColumn<QStringList>("expected");  // among what is sent
    // Resumed at 60 s: reminders again once the grace is over.
    QTest::newRow("grace after a resume, set back 2 h")
        << false << qint64(-1) << qint64(-1) << qint64(65000) << -2 * kHour << qint64(0) << true
        << QStringList{"76000 blinkReminderRequested()"};
    // Resumed at 60 s: the next break is due at 51 min, 10 min after 41 min.
    QTest::newRow("break in 10 min, set back 2 h")
        << false << qint64(-1) << qint64(-1) << 41 * kMin << -2 * kHour << qint64(0) << true
        << QStringList{"3064000 breakRequested()"};
    QTest::newRow("break in 10 min, set forward 2 h")
        << false << qint64(-1) << qint64(-1) << 41 * kMin << 2 * kHour << qint64(0) << true
        << QStringList{"3064000 breakRequested()"};
    QTest::newRow("break in 10 min, asleep 1 h")
        << false << qint64(-1) << qint64(-1) << 41 * kMin << qint64(0) << kHour << false
        << QStringList{"2464000 breakRequested()"};
    // Away from 40 to 48 min, seen at the checks of 44 to 48 min: the next
    // break comes 50 min after the last of them.
    QTest::newRow("idle period, set back 2 h")
        << false << 40 * kMin << 48 * kMin << 41 * kMin << -2 * kHour << qint64(0) << true
        << QStringList{"5882000 breakRequested()"};
    // The pointer still for two and a half minutes: no natural break.
    QTest::newRow("short stillness, set forward 2 h")
        << true << 40 * kMin << 42 * kMin + 30000 << 40 * kMin + 30000 << 2 * kHour << qint64(0) << true
        << QStringList{"3064000 breakRequested()"};
}

void TestApplicationController::wallClockStepsKeepWhatIsLeft()
{
    QFETCH(bool, byPointer);
    QFETCH(qint64, awayFrom);
    QFETCH(qint64, awayTo);
    QFETCH(qint64, changeAt);
    QFETCH(qint64, stepMs);
    QFETCH(qint64, sleepMs);
    QFETCH(bool, asWithoutChange);
    QFETCH(QStringList, expected);
    // Plain reminders every 5 s, breaks with natural breaks counted, a
    // pause from 30 s to 60 s, the user away from awayFrom to awayTo; at
    // changeAt the wall clock is set or the machine sleeps.
    const auto runDay = [&](bool withChange) {
        Rig r;
        r.presence->useCursor = byPointer;
        r.presence->pointerFollowsUser = true;
        r.c.setBlinkReminderPeriod(5000);
        r.c.enableBlinkTraining(true);
        r.c.enableComputerBreaks(true);
        r.c.includeNaturalBreaks(true);
        std::multimap<qint64, std::function<void()>> actions{
            {30000, [&r]() { r.c.pauseProgram(true); }},
            {60000, [&r]() { r.c.pauseProgram(false); }},
        };
        if (awayFrom >= 0) {
            actions.emplace(awayFrom, [&r, awayFrom]() {
                r.presence->awaySince = awayFrom;
                r.presence->cursor = QPoint(int(awayFrom / 1000), 0);  // where it was left
            });
            actions.emplace(awayTo, [&r]() { r.presence->awaySince = -1; });
        }
        if (withChange) {
            actions.emplace(changeAt, [&r, stepMs, sleepMs]() {
                r.clock->stepWallClock(stepMs);
                r.clock->sleep(sleepMs);
            });
        }
        return r.run(actions, 110 * kMin);
    };
    const QStringList changed = runDay(true);
    for (const QString& e : expected)
        QVERIFY2(changed.contains(e), qPrintable(e));
    if (asWithoutChange)
        QCOMPARE(changed, runDay(false));
}

QTEST_GUILESS_MAIN(TestApplicationController)
#include "tst_applicationcontroller.moc"
