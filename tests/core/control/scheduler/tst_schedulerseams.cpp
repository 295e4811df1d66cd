// The scheduler's seams: the virtual clock, and the scheduler on its own
// thread with the seams it uses when none are given.

#include <QtTest>

#include "core/control/applicationcontroller.h"
#include "core/control/schedulerclock.h"

class TestSchedulerSeams : public QObject
{
    Q_OBJECT

private slots:
    void manualClockFiresTimersInOrder();
    void countdownIsIdleAtItsDeadline();
    void wallClockStepsAreToldFromSleepAndCorrections_data();
    void wallClockStepsAreToldFromSleepAndCorrections();
    void controllerRunsOnItsThread();
};

void TestSchedulerSeams::manualClockFiresTimersInOrder()
{
    ManualSchedulerClock clock(QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC));
    QObject owner;
    QStringList fired;
    SchedulerTimer* tick = clock.createTimer(&owner);
    tick->setInterval(2000);
    SchedulerTimer* once = clock.createTimer(&owner);
    once->setSingleShot(true);
    SchedulerTimer* stopped = clock.createTimer(&owner);
    stopped->setSingleShot(true);
    const auto record = [&](const char* name) {
        return [&fired, &clock, name]() { fired << QStringLiteral("%1@%2").arg(name).arg(clock.elapsedMs()); };
    };
    QObject::connect(tick, &SchedulerTimer::timeout, &owner, record("tick"));
    QObject::connect(once, &SchedulerTimer::timeout, &owner, record("once"));
    QObject::connect(stopped, &SchedulerTimer::timeout, &owner, record("stopped"));
    // A handler that starts another timer sees "now" at its own due time.
    QObject::connect(once, &SchedulerTimer::timeout, &owner, [stopped]() { stopped->start(5000); });

    tick->start();
    once->start(3000);
    clock.advance(4000);
    QCOMPARE(fired, (QStringList{"tick@2000", "once@3000", "tick@4000"}));
    QVERIFY(!once->isActive());
    QVERIFY(stopped->isActive());
    stopped->stop();
    fired.clear();
    clock.advance(3000);
    QCOMPARE(fired, (QStringList{"tick@6000"}));
    QCOMPARE(clock.elapsedMs(), qint64(7000));
    QCOMPARE(clock.nowUtc(), QDateTime(QDate(2026, 1, 1), QTime(0, 0, 7), Qt::UTC));

    // Timers due at the same time fire in the order they were (re)started.
    fired.clear();
    once->start(1000);
    clock.advance(1000);
    QCOMPARE(fired, (QStringList{"tick@8000", "once@8000"}));
}

void TestSchedulerSeams::countdownIsIdleAtItsDeadline()
{
    ManualSchedulerClock clock(QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC));
    QObject owner;
    SchedulerTimer* c = clock.createTimer(&owner);
    c->setSingleShot(true);
    QVERIFY(isIdle(c));
    c->start(1000);
    clock.advance(999);
    QCOMPARE(c->remainingTime(), 1);
    QVERIFY(!isIdle(c));
    clock.advance(1);
    QVERIFY(isIdle(c));
    c->start(500);
    c->stop();
    QCOMPARE(c->remainingTime(), -1);
}

void TestSchedulerSeams::wallClockStepsAreToldFromSleepAndCorrections_data()
{
    QTest::addColumn<int>("readings");      // one every 2 s
    QTest::addColumn<qint64>("stepEach");   // the wall clock set before each reading
    QTest::addColumn<qint64>("sleepEach");  // and the machine asleep
    QTest::addColumn<qint64>("steps");      // the sum of what the readings report
    QTest::newRow("set back 2 h") << 1 << qint64(-7200000) << qint64(0) << qint64(-7200000);
    QTest::newRow("set forward 1 min while asleep 1 h") << 1 << qint64(60000) << qint64(3600000) << qint64(60000);
    // Moves within the tolerance add up to a minute, yet none is a step.
    QTest::newRow("corrected by 1 ms at each tick for 10 h") << 18000 << qint64(1) << qint64(0) << qint64(0);
    QTest::newRow("corrected by 2 s twice") << 2 << qint64(-2000) << qint64(0) << qint64(0);
}

void TestSchedulerSeams::wallClockStepsAreToldFromSleepAndCorrections()
{
    QFETCH(int, readings);
    QFETCH(qint64, stepEach);
    QFETCH(qint64, sleepEach);
    QFETCH(qint64, steps);
    ManualSchedulerClock clock(QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC));
    WallClockSteps watch(&clock);
    qint64 sum = 0;
    for (int i = 0; i < readings; ++i) {
        clock.advance(2000);
        clock.stepWallClock(stepEach);
        clock.sleep(sleepEach);
        qint64 step = 0;
        QCOMPARE(watch.read(&step), clock.nowUtc());
        sum += step;
    }
    QCOMPARE(sum, steps);
}

void TestSchedulerSeams::controllerRunsOnItsThread()
{
    // As the application runs it: built on the GUI thread, then started,
    // driven and ended through queued calls.
    registerCrossThreadTypes();
    auto* controller = new ApplicationController();
    QThread thread;
    controller->moveToThread(&thread);
    connect(&thread, &QThread::started, controller, &ApplicationController::init);
    connect(controller, &ApplicationController::finished, &thread, &QThread::quit, Qt::DirectConnection);
    connect(&thread, &QThread::finished, controller, &QObject::deleteLater);
    QSignalSpy initialised(controller, &ApplicationController::controllerInitialized);
    QSignalSpy finished(controller, &ApplicationController::finished);
    QSignalSpy stops(controller, &ApplicationController::stopCameraUseRequested);
    thread.start();
    QTRY_COMPARE(initialised.count(), 1);

    QMetaObject::invokeMethod(controller, "setCameraIDpreffered", Qt::QueuedConnection, Q_ARG(int, 1));
    QMetaObject::invokeMethod(controller, "enableComputerBreaks", Qt::QueuedConnection, Q_ARG(bool, true));
    QMetaObject::invokeMethod(controller, "processError", Qt::QueuedConnection, Q_ARG(Error, NO_FACE));
    QMetaObject::invokeMethod(controller, "pauseProgram", Qt::QueuedConnection, Q_ARG(bool, true));
    QMetaObject::invokeMethod(controller, "quit", Qt::QueuedConnection);
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(thread.wait(5000));
    QCOMPARE(stops.count(), 1);  // the pause, with nothing running
}

QTEST_MAIN(TestSchedulerSeams)
#include "tst_schedulerseams.moc"
