#pragma once
// Pictures and clips of shapes no camera or photo has, for the tools'
// tests, settings values of kinds the program never stores, settings files
// to try on Qt's reader, and the peak memory of the programs a test has run.

#include <QByteArray>
#include <QDataStream>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QtEndian>
#include <cctype>
#include <climits>
#include <cstring>
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
inline QByteArray png(int width, int height, const QByteArray& pixels)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(width), header.data());
    qToBigEndian<quint32>(quint32(height), header.data() + 4);
    header[8] = 8;  // bits per sample; colour type 0: grey
    QByteArray zlib = qCompress(pixels);
    zlib.remove(0, 4);  // qCompress puts the length first
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", zlib) +
           pngChunk("IEND", QByteArray());
}

inline bool writePng(const QString& path, int width, int height, const QByteArray& pixels)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(png(width, height, pixels)) > 0;
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

// A settings value as Qt's reader takes it: prefix ("@Variant(") and the
// bytes of a data stream, escaped where the reader would not keep them (a
// hex digit after an escape would go on with it).
inline QByteArray settingsValue(const QByteArray& stream, const char* prefix = "@Variant(")
{
    QByteArray text(prefix);
    bool escaped = false;
    for (const char c : stream) {
        escaped = uchar(c) < 0x20 || c == 0x7f || std::strchr("\\\";,=", c) || (escaped && isxdigit(uchar(c)));
        text += escaped ? "\\x" + QByteArray::number(uchar(c), 16) : QByteArray(1, c);
    }
    return text + ')';
}

// Values of kinds the program never stores, which Qt's reader decodes
// without bound: a polygon and a region that claim 2^31 points and
// rectangles, 20,000 region records ("or" of the records inside and an
// empty one) and 20,000 lists announced by type name (Qt's form for a date
// and time), each inside the one before, and a 40000 x 40000 picture.
inline QList<QPair<const char*, QByteArray>> settingsValuesOfOtherKinds()
{
    const auto stream = [](auto write, QDataStream::Version version = QDataStream::Qt_4_0) {
        QByteArray bytes;
        QDataStream s(&bytes, QIODevice::WriteOnly);
        s.setVersion(version);
        write(s);
        return bytes;
    };
    const int n = 20000;
    const QByteArray picture = png(40000, 40000, QByteArray(40001 * 10000, '\0'));
    QByteArray regions = stream([&](QDataStream& s) { s << quint32(72) << quint32(12 * n); });
    QByteArray lists;
    for (int level = n - 1; level >= 0; --level) {
        regions += stream([&](QDataStream& s) { s << qint32(6) << quint32(12 * level); });
        lists += stream([](QDataStream& s) { s << quint32(1024) << qint8(0) << QByteArray("QVariantList") << 1; });
    }
    return {{"polygon of 2^31 points", settingsValue(stream([](QDataStream& s) { s << 71 << (1u << 31) << 0ll; }))},
            {"region of 2^31 rectangles", settingsValue(stream([](QDataStream& s) { s << 72 << 8 << 10 << INT_MAX; }))},
            {"20,000 nested region records", settingsValue(regions + QByteArray(4 * n, '\0'))},
            {"20,000 lists named by type", settingsValue(lists + QByteArray("\0\0\0\2\0\0\0\0\0", 9), "@DateTime(")},
            {"40000 x 40000 picture", settingsValue(stream([](QDataStream& s) { s << 70 << 1; }) + picture)}};
}

// A settings file that Qt's reader takes apart in many ways: UTF-8 marks
// (at the file's start, a group's, a key's, after escapes, quotes, commas
// and continued lines), raw bytes of 0x80 and above, invalid UTF-8, quotes,
// lists, continued lines and groups, around small values of each kind Qt
// decodes ("@Variant" ones to the text "decoded") and texts like them.
inline QByteArray randomSettingsFile(quint64 state)
{
    const auto pick = [&state](int n) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return int((state >> 33) % quint64(n));
    };
    const auto variant = [](const QVariant& value) {
        QByteArray bytes;
        QDataStream s(&bytes, QIODevice::WriteOnly);
        s.setVersion(QDataStream::Qt_4_0);
        s << value;
        return settingsValue(bytes);
    };
    const QByteArray mark = "\xef\xbb\xbf";
    const QList<QByteArray> pieces = {mark,   mark,   "\xe9", "\xc3\xa9", "\xc3",  "\xff", "\\x40",
                                      "\\\"", "\\\\", "\\n",  "\\x",      "\\101", "\"",   ",",
                                      " ",    "\t",   "\\\n", "ab",       "@",     ")",    ";"};
    const QList<QByteArray> values = {variant(5),        variant("decoded"), "@Rect(1 2 3 4)", "@Size(5 6)",
                                      "@Point(7 8)",     "@ByteArray(ab)",   "@String(ab)",    "@Invalid()",
                                      "@@Rect(1 2 3 4)", "@Rect(1 2 3)",     "@Other(1)"};
    QByteArray file = pick(2) ? mark : QByteArray();
    for (int line = 0, lines = 1 + pick(5); line < lines; ++line) {
        file += pick(5) ? QByteArray() : pick(2) ? QByteArray("[G]\n") : "[" + mark + "H]\n";
        file += (pick(6) ? QByteArray() : mark) + "k" + QByteArray::number(line) + (pick(4) ? "=" : " = ");
        for (int n = 1 + pick(6); n > 0; --n) {
            const QList<QByteArray>& from = pick(3) ? pieces : values;
            file += from.at(pick(from.size()));
        }
        file += pick(5) ? "\n" : "\r\n";
    }
    return file;
}

// The largest resident size (VmHWM) a running process has reached, in MB.
inline long peakMegabytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    return text.mid(text.indexOf("VmHWM:") + 6).simplified().split(' ').value(0).toLong() / 1024;
}

// The largest resident size any finished child of this process reached.
inline long childPeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss / 1024;
}

}  // namespace hostile
