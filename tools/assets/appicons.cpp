// The application icon in the macOS (.icns) and Windows (.ico) containers,
// rasterised from one drawing, and the partner's logo.

#include <QBuffer>
#include <QDataStream>
#include <QDebug>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include "tools/assets/assets.h"

namespace assets {
namespace {

QImage rasterise(const QByteArray& svg, int size)
{
    QSvgRenderer renderer(svg);
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p);
    return img;
}

QByteArray png(const QImage& img)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    return bytes;
}

// icns: big-endian "icns" header, then typed entries holding PNG data.
QByteArray icns(const QByteArray& svg)
{
    const struct
    {
        const char* type;
        int size;
    } entries[] = {{"icp4", 16}, {"icp5", 32}, {"icp6", 64}, {"ic07", 128}, {"ic08", 256}, {"ic09", 512}};
    QByteArray body;
    for (const auto& e : entries) {
        const QByteArray data = png(rasterise(svg, e.size));
        QDataStream s(&body, QIODevice::Append);
        s.writeRawData(e.type, 4);
        s << quint32(data.size() + 8);
        s.writeRawData(data.constData(), data.size());
    }
    QByteArray file;
    QDataStream s(&file, QIODevice::WriteOnly);
    s.writeRawData("icns", 4);
    s << quint32(body.size() + 8);
    s.writeRawData(body.constData(), body.size());
    return file;
}

// A 32-bit bottom-up DIB with its (empty) AND mask, as .ico entries hold it.
QByteArray dib(const QImage& source)
{
    const QImage img = source.convertToFormat(QImage::Format_ARGB32);
    const int n = img.width();
    QByteArray bytes;
    QDataStream s(&bytes, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s << quint32(40) << qint32(n) << qint32(2 * n) << quint16(1) << quint16(32) << quint32(0) << quint32(0)
      << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int y = n - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < n; ++x)
            s << quint8(qBlue(line[x])) << quint8(qGreen(line[x])) << quint8(qRed(line[x]))
              << quint8(qAlpha(line[x]));
    }
    const int maskRow = ((n + 31) / 32) * 4;
    for (int i = 0; i < maskRow * n; ++i)
        s << quint8(0);
    return bytes;
}

QByteArray ico(const QByteArray& svg)
{
    const int sizes[] = {16, 32, 48, 256};
    QVector<QByteArray> images;
    for (int size : sizes)
        images.append(size < 256 ? dib(rasterise(svg, size)) : png(rasterise(svg, size)));
    QByteArray file;
    QDataStream s(&file, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = 6 + 16 * quint32(images.size());
    for (int i = 0; i < images.size(); ++i) {
        const int size = sizes[i];
        s << quint8(size == 256 ? 0 : size) << quint8(size == 256 ? 0 : size) << quint8(0) << quint8(0)
          << quint16(1) << quint16(32) << quint32(images[i].size()) << offset;
        offset += quint32(images[i].size());
    }
    for (const QByteArray& img : images)
        s.writeRawData(img.constData(), img.size());
    return file;
}

}  // namespace

bool writeApplicationIcons(const QString& iconsDir)
{
    const QByteArray svg = applicationIconSvg();
    if (!writeFile(iconsDir + QStringLiteral("/lumora.icns"), icns(svg)))
        return false;
    if (!writeFile(iconsDir + QStringLiteral("/lumora.ico"), ico(svg)))
        return false;
    qInfo() << "wrote the application icons";
    return true;
}

// The partner shown on the About page, the Eyewell Foundation: a teardrop
// mark and its name, 600 x 140 pixels on a transparent ground.
bool writePartnerLogo(const QString& iconsDir, const QString& fontFile)
{
    const int id = QFontDatabase::addApplicationFont(fontFile);
    const QString family = id < 0 ? QStringLiteral("Sans") : QFontDatabase::applicationFontFamilies(id).value(0);
    QImage img(600, 140, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QColor teal(0x1f, 0x8a, 0xa8);
    QPainterPath drop(QPointF(70, 14));
    drop.cubicTo(QPointF(84, 42), QPointF(112, 62), QPointF(112, 88));
    drop.arcTo(QRectF(28, 46, 84, 84), 0, -180);
    drop.cubicTo(QPointF(28, 62), QPointF(56, 42), QPointF(70, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(teal);
    p.drawPath(drop);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(70, 92), 20, 13);
    p.setBrush(QColor(0x98, 0xC8, 0x00));
    p.drawEllipse(QPointF(70, 92), 9, 9);
    p.setBrush(QColor(0x40, 0x40, 0x40));
    p.drawEllipse(QPointF(70, 92), 4, 4);

    QFont name(family);
    name.setPixelSize(58);
    name.setBold(true);
    name.setLetterSpacing(QFont::PercentageSpacing, 104);
    p.setFont(name);
    p.setPen(teal);
    p.drawText(QPointF(140, 80), QStringLiteral("EYEWELL"));
    QFont sub(family);
    sub.setPixelSize(30);
    sub.setLetterSpacing(QFont::PercentageSpacing, 118);
    p.setFont(sub);
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawText(QPointF(143, 118), QStringLiteral("foundation for dry eyes"));
    p.end();

    if (!writeFile(iconsDir + QStringLiteral("/partner.png"), png(img)))
        return false;
    qInfo() << "wrote the partner logo";
    return true;
}

}  // namespace assets
