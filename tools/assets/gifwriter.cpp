// A small GIF89a encoder: one global palette picked by popularity from all
// frames, frames stored as the rectangle that changed since the previous
// one, LZW-compressed, looping for ever.

#include <QHash>
#include <QVector>
#include <algorithm>

#include "tools/assets/assets.h"

namespace assets {
namespace {

struct Bucket
{
    qint64 r = 0, g = 0, b = 0, count = 0;
    int key = 0;
};

// Colours are grouped by their top 5 bits per channel; the 256 fullest
// groups, averaged, are the palette. The drawings use few base colours, so
// the groups that hold their blends are the popular ones.
QVector<QRgb> choosePalette(const QVector<GifFrame>& frames)
{
    QHash<int, Bucket> buckets;
    for (const GifFrame& f : frames) {
        const QImage img = f.image.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < img.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = 0; x < img.width(); ++x) {
                const QRgb c = line[x];
                const int key = ((qRed(c) >> 3) << 10) | ((qGreen(c) >> 3) << 5) | (qBlue(c) >> 3);
                Bucket& b = buckets[key];
                b.key = key;
                b.r += qRed(c);
                b.g += qGreen(c);
                b.b += qBlue(c);
                ++b.count;
            }
        }
    }
    QVector<Bucket> sorted;
    for (const Bucket& b : buckets)
        sorted.append(b);
    // Ties broken by colour, so the same frames always give the same file.
    std::sort(sorted.begin(), sorted.end(), [](const Bucket& a, const Bucket& b) {
        return a.count != b.count ? a.count > b.count : a.key < b.key;
    });
    QVector<QRgb> palette;
    for (int i = 0; i < sorted.size() && i < 256; ++i) {
        const Bucket& b = sorted[i];
        palette.append(qRgb(int(b.r / b.count), int(b.g / b.count), int(b.b / b.count)));
    }
    return palette;
}

class Mapper
{
public:
    explicit Mapper(const QVector<QRgb>& palette) : palette(palette) {}
    quint8 index(QRgb c)
    {
        const int key = int(c & 0xffffff);
        auto it = cache.constFind(key);
        if (it != cache.constEnd())
            return it.value();
        int best = 0;
        int bestDistance = INT_MAX;
        for (int i = 0; i < palette.size(); ++i) {
            const int dr = qRed(c) - qRed(palette[i]);
            const int dg = qGreen(c) - qGreen(palette[i]);
            const int db = qBlue(c) - qBlue(palette[i]);
            const int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        cache.insert(key, quint8(best));
        return quint8(best);
    }

private:
    QVector<QRgb> palette;
    QHash<int, quint8> cache;
};

class BitWriter
{
public:
    void write(int code, int size)
    {
        accumulator |= quint32(code) << bits;
        bits += size;
        while (bits >= 8) {
            bytes.append(char(accumulator & 0xff));
            accumulator >>= 8;
            bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (bits > 0)
            bytes.append(char(accumulator & 0xff));
        return bytes;
    }

private:
    QByteArray bytes;
    quint32 accumulator = 0;
    int bits = 0;
};

// LZW with 8-bit pixels: clear code 256, end code 257, codes up to 12 bits;
// the table starts again with a clear code when it is full.
QByteArray lzw(const QByteArray& pixels)
{
    const int minCodeSize = 8;
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    BitWriter out;
    QHash<int, int> table;
    int codeSize = minCodeSize + 1;
    int maxCode = endCode;
    out.write(clearCode, codeSize);
    int current = -1;
    for (char ch : pixels) {
        const int pixel = quint8(ch);
        if (current < 0) {
            current = pixel;
            continue;
        }
        const int key = (current << 8) | pixel;
        auto it = table.constFind(key);
        if (it != table.constEnd()) {
            current = it.value();
            continue;
        }
        out.write(current, codeSize);
        ++maxCode;
        table.insert(key, maxCode);
        if (maxCode >= (1 << codeSize))
            ++codeSize;
        if (maxCode == 4095) {
            out.write(clearCode, codeSize);
            table.clear();
            codeSize = minCodeSize + 1;
            maxCode = endCode;
        }
        current = pixel;
    }
    if (current >= 0)
        out.write(current, codeSize);
    out.write(endCode, codeSize);
    return out.finish();
}

void put16(QByteArray& b, int v)
{
    b.append(char(v & 0xff));
    b.append(char((v >> 8) & 0xff));
}

}  // namespace

QByteArray encodeGif(const QVector<GifFrame>& frames)
{
    if (frames.isEmpty())
        return QByteArray();
    const int w = frames.first().image.width();
    const int h = frames.first().image.height();
    QVector<QRgb> palette = choosePalette(frames);
    Mapper mapper(palette);
    while (palette.size() < 256)
        palette.append(qRgb(0, 0, 0));

    QByteArray gif("GIF89a");
    put16(gif, w);
    put16(gif, h);
    gif.append(char(0xF7));  // global table of 256 entries, 8 bits of colour resolution
    gif.append(char(0));     // background index
    gif.append(char(0));     // square pixels
    for (QRgb c : palette) {
        gif.append(char(qRed(c)));
        gif.append(char(qGreen(c)));
        gif.append(char(qBlue(c)));
    }
    // Loop for ever.
    gif.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);

    QVector<quint8> previous;
    for (const GifFrame& frame : frames) {
        const QImage img = frame.image.convertToFormat(QImage::Format_RGB32);
        QVector<quint8> indices(w * h);
        for (int y = 0; y < h; ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = 0; x < w; ++x)
                indices[y * w + x] = mapper.index(line[x]);
        }
        // The rectangle that differs from the frame before (all of the first).
        int x0 = 0, y0 = 0, x1 = w - 1, y1 = h - 1;
        if (!previous.isEmpty()) {
            x0 = w;
            y0 = h;
            x1 = -1;
            y1 = -1;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (indices[y * w + x] != previous[y * w + x]) {
                        x0 = std::min(x0, x);
                        x1 = std::max(x1, x);
                        y0 = std::min(y0, y);
                        y1 = std::max(y1, y);
                    }
            if (x1 < 0) {  // nothing changed: one pixel keeps the frame's delay
                x0 = x1 = 0;
                y0 = y1 = 0;
            }
        }
        previous = indices;

        // Graphic control: leave the frame in place, with its delay.
        gif.append("\x21\xF9\x04\x04", 4);
        put16(gif, frame.delayCs);
        gif.append(char(0));
        gif.append(char(0));
        // Image descriptor, no local table.
        gif.append(char(0x2C));
        put16(gif, x0);
        put16(gif, y0);
        put16(gif, x1 - x0 + 1);
        put16(gif, y1 - y0 + 1);
        gif.append(char(0));

        QByteArray pixels;
        pixels.reserve((x1 - x0 + 1) * (y1 - y0 + 1));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                pixels.append(char(indices[y * w + x]));
        const QByteArray data = lzw(pixels);
        gif.append(char(8));
        for (int i = 0; i < data.size(); i += 255) {
            const int n = std::min(255, int(data.size()) - i);
            gif.append(char(n));
            gif.append(data.constData() + i, n);
        }
        gif.append(char(0));
    }
    gif.append(char(0x3B));
    return gif;
}

}  // namespace assets
