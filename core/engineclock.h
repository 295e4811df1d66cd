#pragma once
// The engine's one source of time. Frame times, the mode timer and the
// no-face timer all read it, so a run can go on in virtual time.

#include <QtGlobal>
#include <atomic>
#include <memory>

class EngineClock
{
public:
    virtual ~EngineClock() = default;
    // Monotonic time in nanoseconds.
    virtual qint64 nowNs() const = 0;
};

// The machine's monotonic clock.
class SteadyEngineClock : public EngineClock
{
public:
    qint64 nowNs() const override;
};

// A clock that moves only when told to; frame sources that replay recorded
// or synthetic frames advance it by one frame period per frame.
class VirtualEngineClock : public EngineClock
{
public:
    qint64 nowNs() const override { return m_now.load(); }
    void advanceNs(qint64 ns) { m_now += ns; }
    void advanceSeconds(double s) { m_now += qint64(s * 1e9 + 0.5); }

private:
    std::atomic<qint64> m_now{0};
};

// Elapsed-time measurement on an engine clock, in the manner of
// QElapsedTimer: invalid until started.
class EngineTimer
{
public:
    explicit EngineTimer(std::shared_ptr<EngineClock> clock = nullptr) : m_clock(std::move(clock)) {}
    void setClock(std::shared_ptr<EngineClock> clock) { m_clock = std::move(clock); invalidate(); }
    void start() { m_start = m_clock->nowNs(); m_valid = true; }
    void invalidate() { m_valid = false; }
    bool isValid() const { return m_valid; }
    // Milliseconds since start(); 0 when not started.
    qint64 elapsed() const { return m_valid ? (m_clock->nowNs() - m_start) / 1000000 : 0; }

private:
    std::shared_ptr<EngineClock> m_clock;
    qint64 m_start = 0;
    bool m_valid = false;
};
