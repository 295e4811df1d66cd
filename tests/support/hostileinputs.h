#pragma once
// Pictures and clips of shapes no camera or photo has, for the tools'
// tests, and the peak memory of the programs a test has run.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>
#include <sys/resource.h>

namespace hostile {

inline quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline QByteArray pngChunk(const char* type, const QByteArray& data)
{
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), out.data());
    const QByteArray body = QByteArray(type) + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(body), crc.data());
    return out + body + crc;
}

// A grey PNG whose header says width x height, with `data` as its
// compressed pixels (qCompress's zlib stream); a few bytes of them make a
// picture that claims to be huge but is cut short.
inline bool writePng(const QString& path, int width, int height, const QByteArray& pixels)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(width), header.data());
    qToBigEndian<quint32>(quint32(height), header.data() + 4);
    header[8] = 8;  // bits per sample; colour type 0: grey
    QByteArray zlib = qCompress(pixels);
    zlib.remove(0, 4);  // qCompress puts the length first
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", zlib) +
            pngChunk("IEND", QByteArray()));
    return true;
}

// A whole grey picture of the given size.
inline bool writeGreyPng(const QString& path, int width, int height)
{
    QByteArray rows;
    for (int y = 0; y < height; ++y)
        rows += '\0' + QByteArray(width, char(128));
    return writePng(path, width, height, rows);
}

// A grey clip in the YUV4MPEG2 form: the header's size, then `frames`
// frames of `bytesPerFrame` bytes (width x height for a whole clip).
inline bool writeY4m(const QString& path, int width, int height, int frames, qint64 bytesPerFrame)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QString("YUV4MPEG2 W%1 H%2 F30:1 Ip A1:1 Cmono\n").arg(width).arg(height).toLatin1());
    for (int i = 0; i < frames; ++i) {
        f.write("FRAME\n");
        f.write(QByteArray(int(bytesPerFrame), char(100 + i % 50)));
    }
    return true;
}

// The largest resident size any finished child of this process reached.
inline long childPeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss / 1024;
}

}  // namespace hostile
