#include "core/control/schedulerclock.h"

#include <QTimer>
#include <limits>
#include <time.h>

#include "core/clockreader.h"

namespace {

class QtSchedulerTimer : public SchedulerTimer
{
public:
    explicit QtSchedulerTimer(QObject* parent) : SchedulerTimer(parent), m_timer(this)
    {
        connect(&m_timer, &QTimer::timeout, this, &SchedulerTimer::timeout);
    }
    void setSingleShot(bool singleShot) override { m_timer.setSingleShot(singleShot); }
    void setInterval(int ms) override { m_timer.setInterval(ms); }
    void start() override { m_timer.start(); }
    void start(int ms) override { m_timer.start(ms); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    int remainingTime() const override { return m_timer.remainingTime(); }

private:
    QTimer m_timer;
};

}  // namespace

QDateTime SystemSchedulerClock::nowUtc() const
{
    return QDateTime::currentDateTimeUtc();
}

qint64 SystemSchedulerClock::bootMs() const
{
#ifdef CLOCK_BOOTTIME
    return readClockMs(CLOCK_BOOTTIME);
#else
    return readClockMs(CLOCK_MONOTONIC);
#endif
}

SchedulerTimer* SystemSchedulerClock::createTimer(QObject* parent)
{
    return new QtSchedulerTimer(parent);
}

class ManualSchedulerClock::VirtualTimer : public SchedulerTimer
{
public:
    VirtualTimer(ManualSchedulerClock* clock, QObject* parent) : SchedulerTimer(parent), m_clock(clock)
    {
        m_clock->m_timers.append(this);
    }
    ~VirtualTimer() override
    {
        if (m_clock)
            m_clock->m_timers.removeOne(this);
    }
    void setSingleShot(bool singleShot) override { m_singleShot = singleShot; }
    void setInterval(int ms) override { m_interval = ms; }
    void start() override
    {
        if (!m_clock)
            return;
        m_active = true;
        m_due = m_clock->m_nowMs + m_interval;
        m_sequence = ++m_clock->m_sequence;
    }
    void start(int ms) override
    {
        m_interval = ms;
        start();
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    // Virtual time has no delay between a due time and the timeout: a timer
    // whose time has come counts as done, whatever fires first at that time.
    int remainingTime() const override
    {
        if (!m_active || !m_clock || m_due <= m_clock->m_nowMs)
            return -1;
        return int(qMin<qint64>(m_due - m_clock->m_nowMs, std::numeric_limits<int>::max()));
    }

    void fire()
    {
        if (m_singleShot) {
            m_active = false;
        } else {
            // A zero interval would never let time move on.
            m_due += qMax(1, m_interval);
            m_sequence = ++m_clock->m_sequence;
        }
        emit timeout();
    }

    ManualSchedulerClock* m_clock;
    bool m_singleShot = false;
    bool m_active = false;
    int m_interval = 0;
    qint64 m_due = 0;
    quint64 m_sequence = 0;
};

ManualSchedulerClock::ManualSchedulerClock(const QDateTime& startUtc)
    : m_startMs(startUtc.toMSecsSinceEpoch()), m_nowMs(m_startMs)
{
}

ManualSchedulerClock::~ManualSchedulerClock()
{
    // Timers that outlive the clock must not reach back into it.
    for (VirtualTimer* t : qAsConst(m_timers))
        t->m_clock = nullptr;
}

QDateTime ManualSchedulerClock::nowUtc() const
{
    return QDateTime::fromMSecsSinceEpoch(m_nowMs + m_wallOffsetMs, Qt::UTC);
}

SchedulerTimer* ManualSchedulerClock::createTimer(QObject* parent)
{
    return new VirtualTimer(this, parent);
}

ManualSchedulerClock::VirtualTimer* ManualSchedulerClock::nextDue() const
{
    VirtualTimer* best = nullptr;
    for (VirtualTimer* t : m_timers) {
        if (!t->m_active)
            continue;
        if (!best || t->m_due < best->m_due || (t->m_due == best->m_due && t->m_sequence < best->m_sequence))
            best = t;
    }
    return best;
}

bool ManualSchedulerClock::fireNext(qint64 limitMs)
{
    VirtualTimer* t = nextDue();
    if (!t || t->m_due > limitMs)
        return false;
    m_nowMs = qMax(m_nowMs, t->m_due);
    t->fire();
    return true;
}

void ManualSchedulerClock::advance(qint64 ms)
{
    const qint64 target = m_nowMs + qMax<qint64>(0, ms);
    while (fireNext(target)) {
    }
    m_nowMs = target;
}

WallClockSteps::WallClockSteps(const SchedulerClock* clock)
    : m_clock(clock), m_lastWallMs(clock->nowUtc().toMSecsSinceEpoch()), m_lastBootMs(clock->bootMs())
{
}

QDateTime WallClockSteps::read(qint64* stepMs)
{
    const QDateTime now = m_clock->nowUtc();
    const qint64 wallMs = now.toMSecsSinceEpoch();
    const qint64 bootMs = m_clock->bootMs();
    const qint64 step = (wallMs - m_lastWallMs) - (bootMs - m_lastBootMs);
    m_lastWallMs = wallMs;
    m_lastBootMs = bootMs;
    *stepMs = qAbs(step) > kToleranceMs ? step : 0;
    return now;
}
