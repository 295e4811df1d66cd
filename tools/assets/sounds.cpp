// Marimba-like notes: a struck bar rings at its fundamental with tuned
// overtones near 4 and 10 times it, which die away much faster. Written as
// 16-bit stereo PCM WAV at 44100 Hz.

#include <QDataStream>
#include <QDebug>
#include <QVector>
#include <QtMath>

#include "tools/assets/assets.h"

namespace assets {
namespace {

constexpr int kRate = 44100;

struct Note
{
    double start;  // seconds
    double frequency;
    double gain;
    double pan;  // -1 left .. 1 right
};

// Renders the notes into a stereo buffer of the given length; the last
// 20 ms fade to silence so a looped sound does not click.
QVector<double> render(const QVector<Note>& notes, double seconds)
{
    const int frames = int(qRound(seconds * kRate));
    QVector<double> out(frames * 2, 0.0);
    const struct
    {
        double ratio, amplitude, decay;
    } partials[] = {{1.0, 1.0, 0.30}, {3.93, 0.32, 0.07}, {9.8, 0.1, 0.025}};
    for (const Note& n : notes) {
        const int first = int(n.start * kRate);
        const double left = n.gain * qSqrt(0.5 * (1 - n.pan));
        const double right = n.gain * qSqrt(0.5 * (1 + n.pan));
        for (int i = first; i < frames; ++i) {
            const double t = double(i - first) / kRate;
            const double attack = qMin(1.0, t / 0.003);
            double v = 0;
            for (const auto& p : partials)
                v += p.amplitude * qExp(-t / p.decay) * qSin(2 * M_PI * n.frequency * p.ratio * t);
            // The mallet's soft knock at the start.
            v += 0.15 * qExp(-t / 0.004) * qSin(2 * M_PI * n.frequency * 0.5 * t);
            v *= attack;
            out[2 * i] += v * left;
            out[2 * i + 1] += v * right;
        }
    }
    const int fade = kRate / 50;
    for (int i = 0; i < fade && i < frames; ++i) {
        const double g = double(i) / fade;
        out[2 * (frames - 1 - i)] *= g;
        out[2 * (frames - 1 - i) + 1] *= g;
    }
    double peak = 1e-9;
    for (double v : out)
        peak = qMax(peak, qAbs(v));
    for (double& v : out)
        v *= 0.7 / peak;
    return out;
}

QByteArray wav(const QVector<double>& samples)
{
    QByteArray bytes;
    QDataStream s(&bytes, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    const quint32 dataSize = quint32(samples.size() * 2);
    s.writeRawData("RIFF", 4);
    s << quint32(36 + dataSize);
    s.writeRawData("WAVE", 4);
    s.writeRawData("fmt ", 4);
    s << quint32(16) << quint16(1) << quint16(2) << quint32(kRate) << quint32(kRate * 4) << quint16(4)
      << quint16(16);
    s.writeRawData("data", 4);
    s << dataSize;
    for (double v : samples)
        s << qint16(qBound(-32767, int(qRound(v * 32767)), 32767));
    return bytes;
}

}  // namespace

bool writeSounds(const QString& audioDir)
{
    // One short note for each blink seen on the camera test page.
    const QVector<Note> tick = {{0.0, 1046.5, 1.0, 0.0}, {0.0, 523.25, 0.35, 0.0}};
    // The blink reminder's loop: a rising three-note figure and its echo.
    const QVector<Note> reminder = {{0.00, 523.25, 1.0, -0.3}, {0.18, 659.25, 0.9, 0.0},
                                    {0.36, 783.99, 0.9, 0.3},  {0.54, 1046.5, 0.8, 0.0},
                                    {1.20, 783.99, 0.35, 0.3}, {1.38, 1046.5, 0.3, -0.3}};
    if (!writeFile(audioDir + QStringLiteral("/marimba12.wav"), wav(render(tick, 0.85))))
        return false;
    if (!writeFile(audioDir + QStringLiteral("/marimba2500ms.wav"), wav(render(reminder, 2.5))))
        return false;
    qInfo() << "wrote 2 sounds";
    return true;
}

}  // namespace assets
