#pragma once
// The scheduler's sense of time: "now" in UTC on the wall clock, and timers
// that run on the monotonic clock, both those that drive work and the
// countdowns read with remainingTime(). The system clock uses the real clocks
// and QTimer; the manual clock is virtual time that only moves when told to,
// so tests and the simulator run a whole day in a moment.

#include <QDateTime>
#include <QObject>
#include <QVector>

// A timer: connected, it drives work (tick, presence check, reminder end);
// unconnected and single shot, it is a countdown, idle while remainingTime()
// is negative. Mirrors the part of QTimer the scheduler uses.
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
    // Milliseconds until the timeout, -1 when the timer does not run.
    virtual int remainingTime() const = 0;

signals:
    void timeout();
};

// A countdown as the scheduler reads it: idle when it does not exist yet or
// does not run.
inline bool isIdle(const SchedulerTimer* countdown)
{
    return !countdown || countdown->remainingTime() < 0;
}

class SchedulerClock
{
public:
    virtual ~SchedulerClock() = default;
    // The wall clock: it may be set, back or forward, at any time.
    virtual QDateTime nowUtc() const = 0;
    // Milliseconds on a clock that is never set and runs on while the
    // machine sleeps (CLOCK_BOOTTIME).
    virtual qint64 bootMs() const = 0;
    // A new stopped timer owned by parent; it runs on parent's thread.
    virtual SchedulerTimer* createTimer(QObject* parent) = 0;
};

// The real clocks and QTimer.
class SystemSchedulerClock : public SchedulerClock
{
public:
    QDateTime nowUtc() const override;
    qint64 bootMs() const override;
    SchedulerTimer* createTimer(QObject* parent) override;
};

// Virtual time. advance() moves the clock forward and fires every timer that
// falls due on the way, in time order (ties in the order they were started),
// with "now" set to each timer's due time while its handlers run. The wall
// clock can be set apart from it, and the machine put to sleep.
// Single-threaded: use it from one thread only.
class ManualSchedulerClock : public SchedulerClock
{
public:
    explicit ManualSchedulerClock(const QDateTime& startUtc);
    ~ManualSchedulerClock() override;

    QDateTime nowUtc() const override;
    qint64 bootMs() const override { return m_nowMs + m_sleptMs; }
    SchedulerTimer* createTimer(QObject* parent) override;

    // Time on the timers' clock, and since the start.
    qint64 nowMs() const { return m_nowMs; }
    qint64 elapsedMs() const { return m_nowMs - m_startMs; }
    void advance(qint64 ms);
    // Advances to the next timer that is due and fires it; false (and no
    // change) when no timer runs or the next one is due after limitMs.
    bool fireNext(qint64 limitMs);
    // The wall clock is set by ms (back when negative); nothing else moves.
    void stepWallClock(qint64 ms) { m_wallOffsetMs += ms; }
    // The machine sleeps for ms: the wall and boot clocks move on, the
    // monotonic clock and so every timer stand still.
    void sleep(qint64 ms)
    {
        m_wallOffsetMs += ms;
        m_sleptMs += ms;
    }

private:
    class VirtualTimer;
    friend class VirtualTimer;
    VirtualTimer* nextDue() const;

    qint64 m_startMs;
    qint64 m_nowMs;
    qint64 m_wallOffsetMs = 0;
    qint64 m_sleptMs = 0;
    quint64 m_sequence = 0;
    QVector<VirtualTimer*> m_timers;
};

// Tells a step of the wall clock (set by hand or by NTP) from time that went
// by, awake or asleep: between two readings the wall clock should move as far
// as the boot clock, which counts sleep too. Slewing (NTP, adjtime) speeds up
// or slows down both clocks alike, so only a step sets them apart, however
// rarely it is read. A step within the tolerance (like the moment between
// the reads of the two clocks) is not reported.
class WallClockSteps
{
public:
    static constexpr qint64 kToleranceMs = 3000;

    explicit WallClockSteps(const SchedulerClock* clock);
    // The wall clock now; stepMs gets how far it was set since the last
    // reading, or 0.
    QDateTime read(qint64* stepMs);

private:
    const SchedulerClock* m_clock;
    qint64 m_lastWallMs;
    qint64 m_lastBootMs;
};
