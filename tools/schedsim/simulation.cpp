#include "tools/schedsim/simulation.h"

#include <QMap>
#include <QVector>
#include <map>

#include "core/control/applicationcontroller.h"
#include "tools/schedsim/requestlog.h"

namespace {

// A day starts on a Monday at 08:00 UTC; only the time since then is printed.
const QDateTime kDayStart(QDate(2026, 3, 2), QTime(8, 0), Qt::UTC);

// Signals between threads are queued; this is how long one takes to arrive.
constexpr qint64 kDeliveryMs = 1;

// Things due at a virtual time, run by one timer of the manual clock.
class EventQueue : public QObject
{
public:
    EventQueue(ManualSchedulerClock* clock) : m_clock(clock), m_timer(clock->createTimer(this))
    {
        m_timer->setSingleShot(true);
        connect(m_timer, &SchedulerTimer::timeout, this, [this]() { runDue(); });
    }
    void after(qint64 ms, std::function<void()> fn)
    {
        m_events.emplace(m_clock->nowMs() + ms, std::move(fn));
        arm();
    }

private:
    void runDue()
    {
        while (!m_events.empty() && m_events.begin()->first <= m_clock->nowMs()) {
            auto fn = std::move(m_events.begin()->second);
            m_events.erase(m_events.begin());
            fn();
        }
        arm();
    }
    void arm()
    {
        if (m_events.empty())
            m_timer->stop();
        else
            m_timer->start(int(qMax<qint64>(0, m_events.begin()->first - m_clock->nowMs())));
    }

    ManualSchedulerClock* m_clock;
    SchedulerTimer* m_timer;
    std::multimap<qint64, std::function<void()>> m_events;
};

// The user: at the desk and busy, except when away. Breaks are taken when the
// pop-up asks, lunch is at noon.
class SimUser : public PresenceProbe
{
public:
    explicit SimUser(ManualSchedulerClock* clock) : m_clock(clock) {}

    void leave(qint64 fromMs, qint64 toMs) { m_away.append({fromMs, toMs}); }
    bool isAway() const { return awaySince() >= 0; }

    PresenceSample sample() override
    {
        PresenceSample s;
        s.hasSource = true;
        const qint64 since = awaySince();
        s.idleMs = since >= 0 ? m_clock->elapsedMs() - since : 0;
        return s;
    }
    QString sourceDescription() const override { return QStringLiteral("simulated user"); }

private:
    qint64 awaySince() const
    {
        const qint64 t = m_clock->elapsedMs();
        for (const auto& a : m_away)
            if (t >= a.first && t < a.second)
                return a.first;
        return -1;
    }

    ManualSchedulerClock* m_clock;
    QVector<QPair<qint64, qint64>> m_away;
};

class OneCamera : public CameraList
{
public:
    QVector<CameraEntry> cameras() override { return {{QStringLiteral("Integrated Camera"), 0}}; }
};

// The camera engine as the scheduler sees it: a run ends with exactly one
// report; a stop is seen at the next frame step, or answered at once when no
// run is active. A face missing for too long ends a run with "no face".
class FakeEngine : public QObject
{
public:
    FakeEngine(ApplicationController* c, EventQueue* q, SimUser* user, ManualSchedulerClock* clock,
               const std::function<void(const QString&)>& reply)
        : m_c(c), m_q(q), m_user(user), m_clock(clock), m_reply(reply)
    {
        connect(c, &ApplicationController::blinkInteractiveTrainingRequested, this,
                [this]() { m_q->after(kDeliveryMs, [this]() { begin(Training); }); });
        connect(c, &ApplicationController::blinkMeasurementRequested, this,
                [this]() { m_q->after(kDeliveryMs, [this]() { begin(Measurement); }); });
        connect(c, &ApplicationController::startLivePreviewRequested, this,
                [this]() { m_q->after(kDeliveryMs, [this]() { begin(Preview); }); });
        connect(c, &ApplicationController::stopCameraUseRequested, this,
                [this]() { m_q->after(kDeliveryMs, [this]() { stop(); }); });
    }

private:
    enum Mode { None, Training, Measurement, Preview };
    static constexpr qint64 kStepMs = 500;

    void begin(Mode mode)
    {
        if (m_mode != None) {
            m_reply(QStringLiteral("!! engine busy, request ignored"));
            return;
        }
        m_mode = mode;
        m_stopRequired = false;
        m_runStart = m_clock->elapsedMs();
        m_noFaceSince = -1;
        m_negativeSent = false;
        ++m_run[mode];
        if (mode == Training) {
            // Every fourth training the user misses the reminder for a while;
            // the seventh he never blinks at all.
            const int n = m_run[mode];
            m_blinkAfterMs = n == 7 ? -1 : (n % 4 == 0 ? 6500 : 1500);
            if (!m_user->isAway())
                report(QStringLiteral("trainingStarted()"), [this]() { m_c->adjustBlinkTrainingForMGD(); });
        }
        step();
    }

    void stop()
    {
        if (m_mode == None) {
            report(QStringLiteral("stopped()"), [this]() { m_c->processStoppedBlinkDetection(); });
            return;
        }
        m_stopRequired = true;
    }

    void end() { m_mode = None; }

    void step()
    {
        if (m_mode == None)
            return;
        const qint64 now = m_clock->elapsedMs();
        const qint64 t = now - m_runStart;
        if (m_stopRequired) {
            end();
            report(QStringLiteral("stopped()"), [this]() { m_c->processStoppedBlinkDetection(); });
            return;
        }
        const qint64 noFaceLimit = m_mode == Training ? 1000 : m_mode == Measurement ? 8000 : -1;
        if (m_user->isAway()) {
            if (m_noFaceSince < 0)
                m_noFaceSince = now;
            if (noFaceLimit > 0 && now - m_noFaceSince > noFaceLimit) {
                end();
                report(QStringLiteral("errorOccurred(no face)"), [this]() { m_c->processError(NO_FACE); });
                return;
            }
        } else {
            m_noFaceSince = -1;
            if (m_mode == Training) {
                if (m_blinkAfterMs >= 0 && t >= m_blinkAfterMs) {
                    end();
                    report(QStringLiteral("blinkReactionToReminder(true)"),
                           [this]() { m_c->processBlinkForTraining(true); });
                    return;
                }
                if (t > 4000 && !m_negativeSent) {
                    m_negativeSent = true;
                    report(QStringLiteral("blinkReactionToReminder(false)"),
                           [this]() { m_c->processBlinkForTraining(false); });
                }
            } else if (m_mode == Measurement && t > 180000) {
                end();
                const int n = m_run[Measurement];
                const float rate = 8.0f + float((n * 37) % 90) / 10.0f + 0.07f;
                const int length = 180 + (n * 13) % 60;
                report(QStringLiteral("measurementSuccessful(%1, %2)").arg(double(rate)).arg(length),
                       [this, rate, length]() { m_c->processMeasurement(rate, length); });
                return;
            }
        }
        m_q->after(kStepMs, [this]() { step(); });
    }

    void report(const QString& text, std::function<void()> deliver)
    {
        m_q->after(kDeliveryMs, [this, text, deliver]() {
            m_reply(text);
            deliver();
        });
    }

    ApplicationController* m_c;
    EventQueue* m_q;
    SimUser* m_user;
    ManualSchedulerClock* m_clock;
    std::function<void(const QString&)> m_reply;
    Mode m_mode = None;
    bool m_stopRequired = false;
    bool m_negativeSent = false;
    qint64 m_runStart = 0;
    qint64 m_noFaceSince = -1;
    qint64 m_blinkAfterMs = 0;
    QMap<int, int> m_run;
};

// The pop-ups and the user's answers to them.
class FakeWindow : public QObject
{
public:
    FakeWindow(ApplicationController* c, EventQueue* q, SimUser* user, ManualSchedulerClock* clock,
               const std::function<void(const QString&)>& reply)
    {
        // The user finishes his sentence, then takes a five-minute break.
        connect(c, &ApplicationController::breakRequested, this, [=]() {
            const qint64 t = clock->elapsedMs();
            user->leave(t + 20000, t + 320000);
        });
        // An exercise shows for ten seconds; ended early, it closes at once.
        connect(c, &ApplicationController::exerciseRequested, this, [=]() {
            const int run = ++m_exercise;
            q->after(10000 + kDeliveryMs, [=]() {
                if (run == m_exercise && !m_exerciseClosed) {
                    m_exerciseClosed = true;
                    reply(QStringLiteral("exerciseFinished() (pop-up)"));
                    c->quitExercise();
                }
            });
            m_exerciseClosed = false;
        });
        connect(c, &ApplicationController::exerciseFinished, this, [=]() {
            q->after(kDeliveryMs, [=]() {
                if (m_exerciseClosed)
                    return;
                m_exerciseClosed = true;
                reply(QStringLiteral("exerciseFinished() (pop-up)"));
                c->quitExercise();
            });
        });
    }

private:
    int m_exercise = 0;
    bool m_exerciseClosed = true;
};

QString clockText(qint64 ms)
{
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

}  // namespace

void runSimulation(const SimulationOptions& options, const std::function<void(const QString&)>& print)
{
    auto clock = std::make_shared<ManualSchedulerClock>(kDayStart);
    auto user = std::make_shared<SimUser>(clock.get());
    // Lunch, when the day is long enough for one.
    user->leave(4 * 3600000LL, 4 * 3600000LL + 45 * 60000LL);

    QMap<QString, int> counts;
    const auto request = [&](const QString& text) {
        print(clockText(clock->elapsedMs()) + QStringLiteral(" -> ") + text);
        ++counts[text.left(text.indexOf(QLatin1Char('(')))];
    };
    const auto reply = [&](const QString& text) {
        print(clockText(clock->elapsedMs()) + QStringLiteral(" <- ") + text);
    };

    {
        ApplicationController controller(ApplicationController::Seams{clock, user, std::make_shared<OneCamera>()});
        RequestLog log(&controller, request);
        EventQueue queue(clock.get());
        FakeEngine engine(&controller, &queue, user.get(), clock.get(), reply);
        FakeWindow window(&controller, &queue, user.get(), clock.get(), reply);

        controller.init();
        // What the main window sends at start with nothing stored.
        controller.enableInteractiveBlinkReminder(true);
        controller.enableMeasurement(true);
        controller.enableBlinkTraining(true);
        controller.includeNaturalBreaks(true);
        controller.setBlinkReminderPeriod(30000);
        controller.enableEyeExercisebreaks(true);
        controller.enableComputerBreaks(true);
        controller.setCameraIDpreffered(0);

        clock->advance(options.durationMs);
        controller.quit();
    }

    print(QStringLiteral("-- requests in %1 --").arg(clockText(options.durationMs)));
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        print(QStringLiteral("%1 %2").arg(it.key()).arg(it.value()));
}
