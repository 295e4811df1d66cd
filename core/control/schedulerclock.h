#pragma once
// The scheduler's sense of time: "now" in UTC, timers that drive work and
// countdowns that are deadlines on the same clock. The system clock uses the
// wall clock and QTimer; the manual clock is virtual time that only moves when
// told to, so tests and the simulator run a whole day in a moment.

#include <QDateTime>
#include <QObject>
#include <QVector>

// A timer that drives work (tick, presence check, reminder end). Mirrors the
// part of QTimer the scheduler uses.
class SchedulerTimer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SchedulerTimer() override = default;

    virtual void setSingleShot(bool singleShot) = 0;
    virtual void setInterval(int ms) = 0;
    virtual void start() = 0;     // with the current interval
    virtual void start(int ms) = 0;  // sets the interval, then starts
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void timeout();
};

class SchedulerClock
{
public:
    virtual ~SchedulerClock() = default;
    virtual QDateTime nowUtc() const = 0;
    // A new stopped timer owned by parent; it runs on parent's thread.
    virtual SchedulerTimer* createTimer(QObject* parent) = 0;
};

// Wall clock and QTimer.
class SystemSchedulerClock : public SchedulerClock
{
public:
    QDateTime nowUtc() const override;
    SchedulerTimer* createTimer(QObject* parent) override;
};

// Virtual time. advance() moves the clock forward and fires every timer that
// falls due on the way, in time order (ties in the order they were started),
// with "now" set to each timer's due time while its handlers run.
// Single-threaded: use it from one thread only.
class ManualSchedulerClock : public SchedulerClock
{
public:
    explicit ManualSchedulerClock(const QDateTime& startUtc);
    ~ManualSchedulerClock() override;

    QDateTime nowUtc() const override;
    SchedulerTimer* createTimer(QObject* parent) override;

    qint64 nowMs() const { return m_nowMs; }
    qint64 elapsedMs() const { return m_nowMs - m_startMs; }
    void advance(qint64 ms);
    // Advances to the next timer that is due and fires it; false (and no
    // change) when no timer runs or the next one is due after limitMs.
    bool fireNext(qint64 limitMs);

private:
    class VirtualTimer;
    friend class VirtualTimer;
    VirtualTimer* nextDue() const;

    qint64 m_startMs;
    qint64 m_nowMs;
    quint64 m_sequence = 0;
    QVector<VirtualTimer*> m_timers;
};

// A countdown: a deadline on a clock. Idle when never started, stopped, or
// when its deadline has been reached.
class Countdown
{
public:
    explicit Countdown(const SchedulerClock* clock) : m_clock(clock) {}
    void start(qint64 ms) { m_deadline = m_clock->nowUtc().addMSecs(ms); }
    void stop() { m_deadline = QDateTime(); }
    bool isIdle() const { return remainingMs() < 0; }
    // Milliseconds left, or -1 when idle (as QTimer::remainingTime()).
    qint64 remainingMs() const;

private:
    const SchedulerClock* m_clock;
    QDateTime m_deadline;
};
