// The GIF encoder of the asset generator: whatever it writes, Qt's reader
// must give back exactly, frame by frame, also when the LZW table fills up
// and starts again.

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QtTest>

#include "tools/assets/assets.h"

namespace {

// A frame of random pixels from a fixed set of colours, so the palette
// holds every colour exactly.
QImage noise(QSize size, const QVector<QRgb>& colours, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            img.setPixel(x, y, colours[random.bounded(colours.size())]);
    return img;
}

QVector<QImage> decode(const QByteArray& gif, QVector<int>* delays = nullptr)
{
    QBuffer buffer;
    buffer.setData(gif);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    QVector<QImage> frames;
    while (reader.canRead()) {
        frames << reader.read().convertToFormat(QImage::Format_RGB32);
        if (delays)
            *delays << reader.nextImageDelay();
    }
    return frames;
}

}  // namespace

class TestGifEncoder : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void unchangedFrameKeepsItsDelay();
};

void TestGifEncoder::roundTrip_data()
{
    QTest::addColumn<int>("colourCount");
    QTest::addColumn<QSize>("size");
    QTest::newRow("two colours") << 2 << QSize(31, 17);
    QTest::newRow("many codes, table restarts") << 256 << QSize(169, 100);
    QTest::newRow("tall and thin") << 40 << QSize(1, 300);
}

void TestGifEncoder::roundTrip()
{
    QFETCH(int, colourCount);
    QFETCH(QSize, size);
    QVector<QRgb> colours;
    for (int i = 0; i < colourCount; ++i)
        colours << qRgb((i * 37) & 0xff, (i * 91) & 0xff, (i * 13 + 7) & 0xff);

    QVector<assets::GifFrame> frames;
    frames.append({noise(size, colours, 1), 50});
    // The second frame changes only a small rectangle of the first.
    QImage second = frames[0].image.copy();
    for (int y = size.height() / 3; y < size.height() / 2; ++y)
        for (int x = size.width() / 4; x <= size.width() / 2; ++x)
            second.setPixel(x, y, colours[(x + y) % colours.size()]);
    frames.append({second, 7});
    frames.append({noise(size, colours, 2), 120});

    QVector<int> delays;
    const QVector<QImage> decoded = decode(assets::encodeGif(frames), &delays);
    QCOMPARE(decoded.size(), frames.size());
    for (int i = 0; i < frames.size(); ++i)
        QVERIFY2(decoded[i] == frames[i].image.convertToFormat(QImage::Format_RGB32), qPrintable(QString::number(i)));
    QCOMPARE(delays, QVector<int>({500, 70, 1200}));
}

void TestGifEncoder::unchangedFrameKeepsItsDelay()
{
    const QImage still = noise(QSize(20, 10), {qRgb(255, 255, 255), qRgb(0, 0, 0)}, 3);
    const QVector<QImage> decoded = decode(assets::encodeGif({{still, 10}, {still, 20}, {still, 30}}));
    QCOMPARE(decoded.size(), 3);
    for (const QImage& f : decoded)
        QCOMPARE(f, still);
}

QTEST_GUILESS_MAIN(TestGifEncoder)
#include "tst_gifencoder.moc"
