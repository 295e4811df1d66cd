// The animated pictures of the reminders: a pair of eyes that blink, squeeze,
// look from side to side and roll, and an eye that looks out of a window.
// Frames are drawn with QPainter on white and written as looping GIFs.

#include <QDebug>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <functional>

#include "tools/assets/assets.h"

namespace assets {
namespace {

const QColor kAccentColour(0x98, 0xC8, 0x00);
const QColor kIrisRing(0x6f, 0x93, 0x00);
const QColor kInkColour(0x40, 0x40, 0x40);
const QColor kGuide(0x80, 0x80, 0x80);

struct EyeState
{
    double open = 1;     // 1 open, 0 closed
    double gazeX = 0;    // -1 left .. 1 right
    double gazeY = 0;    // -1 up .. 1 down
    double squeeze = 0;  // 0 relaxed .. 1 lids squeezed shut
};

QPointF quadPoint(QPointF a, QPointF c, QPointF b, double t)
{
    return (1 - t) * (1 - t) * a + 2 * (1 - t) * t * c + t * t * b;
}

QPointF quadNormal(QPointF a, QPointF c, QPointF b, double t)
{
    const QPointF d = 2 * (1 - t) * (c - a) + 2 * t * (b - c);
    const double len = qSqrt(d.x() * d.x() + d.y() * d.y());
    return QPointF(d.y() / len, -d.x() / len);
}

// One eye centred at c, w wide. outerLeft: the eye's outer corner is its
// left one (the viewer's left eye), where the squeeze creases go.
void drawEye(QPainter& p, QPointF c, double w, const EyeState& s, bool outerLeft)
{
    const double width = w * (1 - 0.1 * s.squeeze);
    const QPointF left(c.x() - width / 2, c.y());
    const QPointF right(c.x() + width / 2, c.y());
    const double upperOpen = -0.44 * w;
    const double lowerY = 0.34 * w * (1 - 0.75 * s.squeeze);
    const QPointF lowerCtrl(c.x(), c.y() + lowerY);
    const QPointF upperCtrl(c.x(), c.y() + lowerY + (upperOpen - lowerY) * s.open);

    QPainterPath almond(left);
    almond.quadTo(upperCtrl, right);
    almond.quadTo(lowerCtrl, left);

    p.setPen(Qt::NoPen);
    if (s.open > 0.03) {
        p.setBrush(Qt::white);
        p.drawPath(almond);
        p.save();
        p.setClipPath(almond);
        const double ir = w * 0.2;
        const QPointF iris(c.x() + s.gazeX * w * 0.23, c.y() + s.gazeY * w * 0.09 - 0.02 * w);
        p.setBrush(kAccentColour);
        p.setPen(QPen(kIrisRing, w * 0.03));
        p.drawEllipse(iris, ir, ir);
        p.setPen(Qt::NoPen);
        p.setBrush(kInkColour);
        p.drawEllipse(iris, w * 0.09, w * 0.09);
        p.setBrush(Qt::white);
        p.drawEllipse(iris + QPointF(ir * 0.32, -ir * 0.36), w * 0.035, w * 0.035);
        p.restore();
    }

    // Lids: a thin lower line and a strong upper one with three lashes.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kInkColour, w * 0.035, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath lower(left);
    lower.quadTo(lowerCtrl, right);
    p.drawPath(lower);
    p.setPen(QPen(kInkColour, w * 0.06, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath upper(left);
    upper.quadTo(upperCtrl, right);
    p.drawPath(upper);
    p.setPen(QPen(kInkColour, w * 0.035, Qt::SolidLine, Qt::RoundCap));
    const bool lashesUp = s.open > 0.35;
    for (double t : {0.28, 0.5, 0.72}) {
        const QPointF at = quadPoint(left, upperCtrl, right, t);
        QPointF n = quadNormal(left, upperCtrl, right, t);
        if ((n.y() < 0) != lashesUp)
            n = -n;
        const QPointF tilt((t - 0.5) * 0.8, 0);
        p.drawLine(at, at + (n + tilt) * w * 0.1);
    }

    // Eyebrow, pulled down while squeezing.
    const double browY = c.y() - 0.46 * w + 0.12 * w * s.squeeze;
    QPainterPath brow(QPointF(c.x() - 0.42 * w, browY + 0.05 * w));
    brow.quadTo(QPointF(c.x(), browY - 0.14 * w + 0.08 * w * s.squeeze), QPointF(c.x() + 0.42 * w, browY + 0.05 * w));
    p.setPen(QPen(kInkColour, w * 0.07, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(brow);

    // Creases beside the outer corner of a squeezed eye.
    if (s.squeeze > 0.05) {
        QColor crease = kInkColour;
        crease.setAlphaF(qMin(1.0, s.squeeze));
        p.setPen(QPen(crease, w * 0.035, Qt::SolidLine, Qt::RoundCap));
        const double dir = outerLeft ? -1 : 1;
        const QPointF corner = outerLeft ? left : right;
        for (int i = -1; i <= 1; ++i) {
            const QPointF a = corner + QPointF(dir * w * 0.08, i * w * 0.08);
            p.drawLine(a, a + QPointF(dir * w * 0.1, i * w * 0.07));
        }
    }
}

QImage blankFrame(int w, int h, QPainter& p)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    p.begin(&img);
    p.setRenderHint(QPainter::Antialiasing);
    return img;
}

// A pair of eyes on a 169 x 100 picture; with a guide, the eyes move up to
// leave it room below.
QImage eyesFrame(const EyeState& s, const std::function<void(QPainter&)>& guide = {})
{
    QPainter p;
    QImage img = blankFrame(169, 100, p);
    const double y = guide ? 48 : 56;
    drawEye(p, QPointF(46.5, y), 56, s, true);
    drawEye(p, QPointF(122.5, y), 56, s, false);
    if (guide)
        guide(p);
    p.end();
    return img;
}

void arrowHead(QPainter& p, QPointF tip, QPointF direction, double size)
{
    const QPointF n(-direction.y(), direction.x());
    QPolygonF head;
    head << tip << tip - direction * size + n * size * 0.6 << tip - direction * size - n * size * 0.6;
    p.setPen(Qt::NoPen);
    p.setBrush(kGuide);
    p.drawPolygon(head);
}

QVector<GifFrame> blinkFrames()
{
    QVector<GifFrame> frames;
    const struct
    {
        double open;
        int delay;
    } steps[] = {{1, 150}, {0.66, 3}, {0.33, 3}, {0, 10}, {0.33, 3}, {0.66, 3}};
    for (const auto& st : steps) {
        EyeState s;
        s.open = st.open;
        frames.append({eyesFrame(s), st.delay});
    }
    return frames;
}

QVector<GifFrame> squeezeFrames()
{
    QVector<GifFrame> frames;
    const struct
    {
        double open, squeeze;
        int delay;
    } steps[] = {{1, 0, 90}, {0.5, 0.2, 4}, {0, 0.6, 4}, {0, 1, 80}, {0, 0.6, 4}, {0.5, 0.2, 4}};
    for (const auto& st : steps) {
        EyeState s;
        s.open = st.open;
        s.squeeze = st.squeeze;
        frames.append({eyesFrame(s), st.delay});
    }
    return frames;
}

QVector<GifFrame> leftRightFrames()
{
    QVector<GifFrame> frames;
    const int n = 32;
    for (int i = 0; i < n; ++i) {
        EyeState s;
        // A sine pushed into plateaus: the eyes rest a moment at each side.
        s.gazeX = qBound(-1.0, 1.3 * qSin(2 * M_PI * i / n), 1.0);
        frames.append({eyesFrame(s,
                                 [&s](QPainter& p) {
                                     p.setPen(QPen(kGuide, 2.2, Qt::SolidLine, Qt::RoundCap));
                                     p.drawLine(QPointF(58, 88), QPointF(111, 88));
                                     arrowHead(p, QPointF(50, 88), QPointF(-1, 0), 7);
                                     arrowHead(p, QPointF(119, 88), QPointF(1, 0), 7);
                                     p.setBrush(kAccentColour);
                                     p.drawEllipse(QPointF(84.5 + s.gazeX * 30, 88), 4.5, 4.5);
                                 }),
                       6});
    }
    return frames;
}

QVector<GifFrame> rotateFrames()
{
    QVector<GifFrame> frames;
    const int n = 36;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / n - M_PI / 2;  // start looking up, turn clockwise
        EyeState s;
        s.gazeX = qCos(a);
        s.gazeY = qSin(a);
        frames.append({eyesFrame(s,
                                 [a](QPainter& p) {
                                     const QPointF c(84.5, 86);
                                     const double r = 9;
                                     p.setBrush(Qt::NoBrush);
                                     p.setPen(QPen(kGuide, 2, Qt::SolidLine, Qt::RoundCap));
                                     p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 100 * 16, -320 * 16);
                                     arrowHead(p, c + QPointF(-r * qSin(M_PI / 18) - 1, -r), QPointF(1, 0.15), 6);
                                     p.setBrush(kAccentColour);
                                     p.setPen(Qt::NoPen);
                                     p.drawEllipse(c + QPointF(r * qCos(a), r * qSin(a)), 3.8, 3.8);
                                 }),
                       6});
    }
    return frames;
}

// An eye on the left looks far away through a window on the right; the
// dashes of its gaze march towards a mountain top.
QVector<GifFrame> windowFrames()
{
    QVector<GifFrame> frames;
    const int n = 20;
    const QRectF window(66, 8, 80, 84);
    const QPointF peak(118, 45);
    for (int i = 0; i < n; ++i) {
        QPainter p;
        QImage img = blankFrame(153, 100, p);

        p.save();
        p.setClipRect(window);
        p.fillRect(window, QColor(0xea, 0xf4, 0xfb));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xf6, 0xc0, 0x8e));
        p.drawEllipse(QPointF(132, 24), 7, 7);
        // A bird crossing the sky.
        const double bx = window.left() - 8 + (window.width() + 16) * i / n;
        p.setPen(QPen(kInkColour, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const double by = 30 + 3 * qSin(2 * M_PI * i / n);
        QPainterPath bird(QPointF(bx - 4, by));
        bird.quadTo(QPointF(bx - 2, by - 3), QPointF(bx, by + 0.5));
        bird.quadTo(QPointF(bx + 2, by - 3), QPointF(bx + 4, by));
        p.drawPath(bird);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xcf, 0xe3, 0x94));
        p.drawPolygon(QPolygonF({QPointF(60, 80), QPointF(96, 52), QPointF(108, 60), peak, QPointF(150, 80)}));
        p.setBrush(kAccentColour);
        QPainterPath hills(QPointF(60, 92));
        hills.lineTo(60, 74);
        hills.quadTo(QPointF(84, 62), QPointF(106, 72));
        hills.quadTo(QPointF(128, 80), QPointF(150, 68));
        hills.lineTo(150, 92);
        p.drawPath(hills);
        p.restore();

        // Window frame and its cross.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kGuide, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.drawRect(window);
        p.setPen(QPen(kGuide, 2));
        p.drawLine(QPointF(window.center().x(), window.top()), QPointF(window.center().x(), window.bottom()));
        p.drawLine(QPointF(window.left(), 52), QPointF(window.right(), 52));
        p.setPen(QPen(kGuide, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(window.left() - 4, window.bottom() + 3), QPointF(window.right() + 4, window.bottom() + 3));

        // The eye and its gaze.
        EyeState s;
        s.gazeX = 1;
        s.gazeY = -0.2;
        drawEye(p, QPointF(30, 52), 44, s, true);
        QPen gaze(kAccentColour, 2, Qt::CustomDashLine, Qt::RoundCap);
        gaze.setDashPattern({2, 3});
        gaze.setDashOffset(-5.0 * i / 4);
        p.setPen(gaze);
        const QPointF from(44, 50);
        p.drawLine(from, peak + QPointF(-4, 1.5));
        const double pulse = 3 + 2.5 * (0.5 + 0.5 * qSin(2 * M_PI * i / n));
        p.setPen(QPen(kAccentColour, 1.8));
        p.drawEllipse(peak, pulse, pulse);
        p.end();
        frames.append({img, 10});
    }
    return frames;
}

}  // namespace

bool writeAnimations(const QString& iconsDir)
{
    const struct
    {
        const char* name;
        QVector<GifFrame> (*frames)();
    } animations[] = {{"blinkNotify", blinkFrames},
                      {"squeeze", squeezeFrames},
                      {"leftRight", leftRightFrames},
                      {"rotate", rotateFrames},
                      {"LookingIntoWindow", windowFrames}};
    for (const auto& a : animations) {
        const QVector<GifFrame> frames = a.frames();
        const QByteArray gif = encodeGif(frames);
        if (!writeFile(iconsDir + QLatin1Char('/') + QLatin1String(a.name) + QStringLiteral(".gif"), gif))
            return false;
        qInfo() << "wrote" << a.name << frames.size() << "frames" << gif.size() << "bytes";
    }
    return true;
}

}  // namespace assets
