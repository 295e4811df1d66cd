// The engine's blinks: each eye's scanner finds a lid that closes and opens
// again in that eye's flow, and the two eyes' views of one blink are merged
// into one counted blink.

#include "core/model.h"

#include <QDebug>

namespace {
// Two eyes' records whose frame intervals overlap by this share of their
// union or more are one blink.
constexpr double kSameBlinkOverlap = 0.3;
}  // namespace

void Model::scanEye(Scanner& s, const double* meanRing, const double* devRing)
{
    quint64 k = s.position;
    while (k <= m_frameCounter) {
        const int slot = int(k % RingSize);
        s.position = k + 1;
        if (scanFrame(s, k, meanRing[slot], devRing[slot], m_ringFrameTime[slot])) {
            // Examine the failed candidate's frames again, from the one after
            // the frame that started it.
            s.state = LidOpen;
            s.position = s.onset + 2;
        }
        k = s.position;
    }
}

// A is frame k's mean flow, D its deviation and T its time in seconds.
bool Model::scanFrame(Scanner& s, quint64 k, double A, double D, double T)
{
    const double thr = m_flowThreshold;
    if (s.state == LidOpen) {
        if (A > thr && D > thr) {
            s.state = LidClosing;
            s.energy = D;
            s.onset = k - 1;
            s.duration = T;
        }
        return false;
    }
    if (s.duration > m_maxBlinkDuration)
        return true;
    if (s.state == LidClosing) {
        if (A < -thr && D > thr && s.energy > m_minBlinkEnergy) {
            s.state = LidOpening;
            s.energy = D;
            s.duration += T;
        } else if (A > -thr && D > thr) {
            s.energy += D;
            s.duration += T;
        } else if (A < -thr && D > thr) {
            return true;  // too little energy
        } else {
            s.duration += T;
        }
        return false;
    }
    if (A < thr && D > thr) {
        s.energy += D;
        s.duration += T;
    } else if (s.energy > m_minBlinkEnergy && s.duration > m_minBlinkDuration) {
        s.pending = blink{s.onset, k - 1, s.duration, s.energy};
        s.state = LidOpen;
        mergeBlinks(s.pending);
        m_blinkBanner = m_blinkBannerLength;
    } else if (A > thr && D > thr) {
        return true;
    } else {
        s.duration += T;
    }
    return false;
}

void Model::mergeBlinks(blink record)
{
    const double intersection = double(qint64(m_previousBlink.end - record.start));
    const double unionLength = double(qint64(record.end - m_previousBlink.start));
    // A union of zero length cannot be the same blink seen twice.
    if (unionLength == 0 || intersection / unionLength < kSameBlinkOverlap) {
        qDebug() << "Model:: blink detected";
        m_blinkCount += 1;
        m_blinkDurationSum += (m_previousBlink.duration + record.duration) * 0.5;
        emit blinkDetected();
    }
    m_previousBlink = record;
}
