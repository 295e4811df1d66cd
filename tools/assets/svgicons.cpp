// The SVG icons: flat shapes on a 24-unit grid with round strokes, in the
// accent green, the disabled grey and the warning orange. Title-bar icons
// sit on the green bar, so they are white, with a dark-green "-dark" variant
// for hover and press.

#include <QDebug>
#include <QMap>
#include <QtMath>

#include "tools/assets/assets.h"

namespace assets {
namespace {

const QString kWhite = QStringLiteral("#ffffff");
const QString kHover = QStringLiteral("#3b4f00");  // dark green on the green title bar
const QString kInk = QStringLiteral("#404040");    // outlines and text of pictures

QString svg(const QString& viewBox, const QString& body, int width = 24, int height = 24)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" "
                          "width=\"%1\" height=\"%2\" viewBox=\"%3\">\n%4</svg>\n")
        .arg(width)
        .arg(height)
        .arg(viewBox, body);
}

QString icon(const QString& body)
{
    return svg(QStringLiteral("0 0 24 24"), body);
}

// A group that strokes its shapes with round ends and joins.
QString stroked(const QString& colour, double width, const QString& shapes)
{
    return QStringLiteral("  <g fill=\"none\" stroke=\"%1\" stroke-width=\"%2\" stroke-linecap=\"round\" "
                          "stroke-linejoin=\"round\">\n%3  </g>\n")
        .arg(colour)
        .arg(width)
        .arg(shapes);
}

QString num(double v)
{
    return QString::number(v, 'f', 2).remove(QRegExp(QStringLiteral("\\.?0+$")));
}

// ---- title-bar icons, drawn in one colour ----------------------------------

QString back(const QString& c)
{
    return icon(stroked(c, 2.4, QStringLiteral("    <path d=\"M19 12H5.5M11 6l-6 6 6 6\"/>\n")));
}

QString bar1(const QString& c)
{
    return icon(stroked(c, 2.6, QStringLiteral("    <path d=\"M5 17.5h14\"/>\n")));
}

QString closeIcon(const QString& c)
{
    return icon(stroked(c, 2.4, QStringLiteral("    <path d=\"M6 6l12 12M18 6L6 18\"/>\n")));
}

QString info(const QString& c)
{
    return icon(stroked(c, 2, QStringLiteral("    <circle cx=\"12\" cy=\"12\" r=\"9.5\"/>\n"
                                             "    <path d=\"M12 11v6\" stroke-width=\"2.4\"/>\n")) +
                QStringLiteral("  <circle cx=\"12\" cy=\"7.4\" r=\"1.45\" fill=\"%1\"/>\n").arg(c));
}

QString maxIcon(const QString& c)
{
    return icon(stroked(c, 2.2, QStringLiteral("    <rect x=\"5\" y=\"5\" width=\"14\" height=\"14\" rx=\"1.5\"/>\n"
                                               "    <path d=\"M5 8.5h14\"/>\n")));
}

QString normal(const QString& c)
{
    return icon(stroked(c, 2.2, QStringLiteral("    <rect x=\"4\" y=\"9\" width=\"11\" height=\"11\" rx=\"1.5\"/>\n"
                                               "    <path d=\"M9 5.5V5a1 1 0 0 1 1-1h9a1 1 0 0 1 1 1v9a1 1 0 0 1-1 1h-.5\"/>\n")));
}

// A gear of eight teeth with a round hole, as one even-odd path.
QString settings(const QString& c)
{
    const int teeth = 8;
    const double outer = 10.2, inner = 7.6, hole = 3.2;
    QString d;
    for (int i = 0; i < teeth; ++i) {
        const double a0 = 2 * M_PI * i / teeth;
        const double half = M_PI / teeth;
        // tooth: flank up, top, flank down, valley
        const double angles[4] = {a0 - half * 0.62, a0 - half * 0.38, a0 + half * 0.38, a0 + half * 0.62};
        const double radii[4] = {inner, outer, outer, inner};
        for (int k = 0; k < 4; ++k) {
            const double x = 12 + radii[k] * qCos(angles[k]);
            const double y = 12 + radii[k] * qSin(angles[k]);
            d += (i == 0 && k == 0 ? QStringLiteral("M") : QStringLiteral("L")) + num(x) + QLatin1Char(' ') + num(y);
        }
    }
    d += QStringLiteral("Z");
    d += QStringLiteral("M%1 12a%2 %2 0 1 0 %3 0a%2 %2 0 1 0 -%3 0Z").arg(num(12 - hole)).arg(num(hole)).arg(num(2 * hole));
    return icon(QStringLiteral("  <path fill=\"%1\" fill-rule=\"evenodd\" stroke=\"%1\" stroke-width=\"0.8\" "
                               "stroke-linejoin=\"round\" d=\"%2\"/>\n")
                    .arg(c, d));
}

// A desk webcam: round housing with its lens, on a small stand.
QString webcamShape(const QString& c, double stroke = 2.2)
{
    return stroked(c, stroke, QStringLiteral("    <circle cx=\"12\" cy=\"10\" r=\"7\"/>\n"
                                          "    <path d=\"M12 17v3.5M7.5 20.8h9\"/>\n")) +
           QStringLiteral("  <circle cx=\"12\" cy=\"10\" r=\"2.8\" fill=\"%1\"/>\n").arg(c);
}

QString webcam(const QString& c)
{
    return icon(webcamShape(c));
}

// ---- controls ---------------------------------------------------------------

QString webcamOff()
{
    // The slash has a white halo so it reads at 16 pixels on any background.
    return icon(webcamShape(QString::fromLatin1(kDisabled), 2.8) +
                stroked(kWhite, 5, QStringLiteral("    <path d=\"M4 3.5l16.5 17\"/>\n")) +
                stroked(QString::fromLatin1(kWarning), 2.4, QStringLiteral("    <path d=\"M4 3.5l16.5 17\"/>\n")));
}

QString checkmark()
{
    return icon(stroked(kWhite, 3.2, QStringLiteral("    <path d=\"M5 12.5l4.5 4.5L19 7.5\"/>\n")));
}

QString arrow(bool up, bool rounded)
{
    // Shown at 0.7em x 0.5em: a 14 x 10 box.
    const QString points = up ? QStringLiteral("2 8.5 7 2 12 8.5") : QStringLiteral("2 1.5 7 8 12 1.5");
    const QString shape =
        rounded ? QStringLiteral("  <polygon points=\"%1\" fill=\"%2\" stroke=\"%2\" stroke-width=\"2\" "
                                 "stroke-linejoin=\"round\"/>\n")
                : QStringLiteral("  <polygon points=\"%1\" fill=\"%2\"/>\n");
    return svg(QStringLiteral("0 0 14 10"), shape.arg(points, QString::fromLatin1(kAccent)), 14, 10);
}

QString exitIcon()
{
    return icon(stroked(QString::fromLatin1(kWarning), 2.4,
                        QStringLiteral("    <path d=\"M7.3 6.6a8 8 0 1 0 9.4 0\"/>\n"
                                       "    <path d=\"M12 3v8.5\"/>\n")));
}

QString onOff(bool on)
{
    const QString accent = QString::fromLatin1(kAccent);
    const QString grey = QString::fromLatin1(kDisabled);
    if (on)
        return icon(QStringLiteral("  <rect x=\"1\" y=\"6\" width=\"22\" height=\"12\" rx=\"6\" fill=\"%1\"/>\n"
                                   "  <circle cx=\"17\" cy=\"12\" r=\"4.3\" fill=\"#ffffff\"/>\n")
                        .arg(accent));
    return icon(QStringLiteral("  <rect x=\"1.75\" y=\"6.75\" width=\"20.5\" height=\"10.5\" rx=\"5.25\" "
                               "fill=\"#ffffff\" stroke=\"%1\" stroke-width=\"1.5\"/>\n"
                               "  <circle cx=\"7\" cy=\"12\" r=\"3.6\" fill=\"%1\"/>\n")
                    .arg(grey));
}

QString pause()
{
    return icon(QStringLiteral("  <rect x=\"6\" y=\"4.5\" width=\"4\" height=\"15\" rx=\"1.3\" fill=\"%1\"/>\n"
                               "  <rect x=\"14\" y=\"4.5\" width=\"4\" height=\"15\" rx=\"1.3\" fill=\"%1\"/>\n")
                    .arg(QString::fromLatin1(kAccent)));
}

QString play()
{
    return icon(QStringLiteral("  <path d=\"M7.5 4.8v14.4a1 1 0 0 0 1.5 .86l11.2-7.2a1 1 0 0 0 0-1.72L9 3.94a1 1 0 0 0-1.5 .86Z\" "
                               "fill=\"%1\"/>\n")
                    .arg(QString::fromLatin1(kAccent)));
}

QString slider()
{
    return icon(QStringLiteral("  <circle cx=\"12\" cy=\"12\" r=\"10.5\" fill=\"%1\"/>\n"
                               "  <circle cx=\"12\" cy=\"12\" r=\"4\" fill=\"#ffffff\"/>\n")
                    .arg(QString::fromLatin1(kAccent)));
}

QString point()
{
    return icon(QStringLiteral("  <circle cx=\"12\" cy=\"12\" r=\"6\" fill=\"%1\"/>\n").arg(QString::fromLatin1(kAccent)));
}

QString facebook()
{
    return icon(QStringLiteral("  <rect x=\"1\" y=\"1\" width=\"22\" height=\"22\" rx=\"5\" fill=\"%1\"/>\n")
                    .arg(QString::fromLatin1(kAccent)) +
                stroked(kWhite, 2.8, QStringLiteral("    <path d=\"M15.8 7.2h-1.6a2.4 2.4 0 0 0-2.4 2.4V23\"/>\n"
                                                    "    <path d=\"M9 13h6.4\"/>\n")));
}

// ---- pictures ---------------------------------------------------------------

// A steaming cup on its saucer, the break picture.
QString cup(const QString& body, const QString& ink)
{
    return svg(QStringLiteral("0 0 64 64"),
               stroked(ink, 2.6, QStringLiteral("    <path d=\"M23 6c-3 3 3 6 0 9s3 6 0 9\"/>\n"
                                                "    <path d=\"M32 4c-3 3 3 6 0 9s3 6 0 9\"/>\n"
                                                "    <path d=\"M41 6c-3 3 3 6 0 9s3 6 0 9\"/>\n")) +
                   QStringLiteral("  <path d=\"M12 28h40v10a16 16 0 0 1-16 16h-8a16 16 0 0 1-16-16Z\" fill=\"%1\"/>\n"
                                  "  <path d=\"M51 33h3.5a6 6 0 0 1 0 12H49\" fill=\"none\" stroke=\"%1\" stroke-width=\"4\"/>\n"
                                  "  <rect x=\"6\" y=\"56\" width=\"52\" height=\"4\" rx=\"2\" fill=\"%2\"/>\n"
                                  "  <path d=\"M18 34v4a10 10 0 0 0 6 9\" fill=\"none\" stroke=\"#ffffff\" stroke-width=\"2.6\" "
                                  "stroke-linecap=\"round\" opacity=\"0.75\"/>\n")
                       .arg(body, ink),
               64, 64);
}

// The almond eye of the product's marks.
QString eyeMark(double x, double y, double s, const QString& lid, const QString& iris, const QString& sclera)
{
    // s is the eye's width; the shape spans x..x+s.
    const double h = s * 0.42;
    return QStringLiteral("  <path d=\"M%1 %2Q%3 %4 %5 %2Q%3 %6 %1 %2Z\" fill=\"%7\" stroke=\"%8\" stroke-width=\"%9\" "
                          "stroke-linejoin=\"round\"/>\n")
               .arg(num(x), num(y), num(x + s / 2), num(y - h * 1.25), num(x + s), num(y + h * 1.25), sclera, lid,
                    num(s * 0.07)) +
           QStringLiteral("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"%4\"/>\n")
               .arg(num(x + s / 2), num(y), num(s * 0.2), iris) +
           QStringLiteral("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"%4\"/>\n")
               .arg(num(x + s / 2), num(y), num(s * 0.085), kInk) +
           QStringLiteral("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"#ffffff\"/>\n")
               .arg(num(x + s / 2 + s * 0.07), num(y - s * 0.07), num(s * 0.035));
}

// Product logo: the eye and the word "lumora" built from round strokes, so
// it needs no font. Shown 7em high and 35em wide.
QString logo()
{
    const QString accent = QString::fromLatin1(kAccent);
    QString letters;
    double x = 70;
    const double top = 16, base = 40, mid = 28, r = 12;
    auto advance = [&x](double w) { x += w + 9; };
    // l
    letters += QStringLiteral("M%1 4V%2").arg(num(x), num(base));
    advance(0);
    // u
    letters += QStringLiteral("M%1 %2V%3A%4 %4 0 0 0 %5 %3M%5 %2V%6")
                   .arg(num(x), num(top), num(mid + 1), num(r - 1), num(x + 2 * (r - 1)), num(base));
    advance(2 * (r - 1));
    // m
    letters += QStringLiteral("M%1 %2V%3M%1 %4A9 9 0 0 1 %5 %4V%3M%5 %4A9 9 0 0 1 %6 %4V%3")
                   .arg(num(x), num(top), num(base), num(top + 9), num(x + 18), num(x + 36));
    advance(36);
    // o
    letters += QStringLiteral("M%1 %2a%3 %3 0 1 0 %4 0a%3 %3 0 1 0 -%4 0").arg(num(x), num(mid), num(r), num(2 * r));
    advance(2 * r);
    // r
    letters += QStringLiteral("M%1 %2V%3M%1 %4A12 12 0 0 1 %5 %6").arg(num(x), num(top), num(base), num(mid + 1), num(x + 14), num(top + 0.5));
    advance(14);
    // a
    letters += QStringLiteral("M%1 %2a%3 %3 0 1 0 %4 0a%3 %3 0 1 0 -%4 0M%5 %6V%7")
                   .arg(num(x), num(mid), num(r), num(2 * r), num(x + 2 * r), num(top), num(base));
    advance(2 * r);
    const int width = int(x - 9 + 6);
    return svg(QStringLiteral("0 0 %1 48").arg(width),
               eyeMark(4, 24, 54, accent, accent, QStringLiteral("#ffffff")) +
                   QStringLiteral("  <path d=\"%1\" fill=\"none\" stroke=\"%2\" stroke-width=\"6\" stroke-linecap=\"round\" "
                                  "stroke-linejoin=\"round\"/>\n")
                       .arg(letters, kInk),
               width * 2, 96);
}

// ---- tray icons, 16 pixels: three shapes as well as three colours ---------

QString trayNormal()
{
    const QString accent = QString::fromLatin1(kAccent);
    return svg(QStringLiteral("0 0 16 16"),
               QStringLiteral("  <circle cx=\"8\" cy=\"8\" r=\"8\" fill=\"%1\"/>\n"
                              "  <path d=\"M1.8 8Q8 1.2 14.2 8Q8 14.8 1.8 8Z\" fill=\"#ffffff\"/>\n"
                              "  <circle cx=\"8\" cy=\"8\" r=\"2.7\" fill=\"%2\"/>\n")
                   .arg(accent, kInk),
               16, 16);
}

QString trayPaused()
{
    return svg(QStringLiteral("0 0 16 16"),
               QStringLiteral("  <circle cx=\"8\" cy=\"8\" r=\"8\" fill=\"%1\"/>\n"
                              "  <rect x=\"4.6\" y=\"4\" width=\"2.4\" height=\"8\" rx=\"0.6\" fill=\"#ffffff\"/>\n"
                              "  <rect x=\"9\" y=\"4\" width=\"2.4\" height=\"8\" rx=\"0.6\" fill=\"#ffffff\"/>\n")
                   .arg(QString::fromLatin1(kDisabled)),
               16, 16);
}

QString trayError()
{
    return svg(QStringLiteral("0 0 16 16"),
               QStringLiteral("  <path d=\"M8 0.6L15.6 14.2a1 1 0 0 1-.87 1.5H1.27a1 1 0 0 1-.87-1.5Z\" fill=\"%1\"/>\n"
                              "  <rect x=\"6.9\" y=\"5\" width=\"2.2\" height=\"6\" rx=\"1.1\" fill=\"#ffffff\"/>\n"
                              "  <circle cx=\"8\" cy=\"13.2\" r=\"1.25\" fill=\"#ffffff\"/>\n")
                   .arg(QString::fromLatin1(kWarning)),
               16, 16);
}

}  // namespace

QByteArray applicationIconSvg()
{
    const QString accent = QString::fromLatin1(kAccent);
    return svg(QStringLiteral("0 0 64 64"),
               QStringLiteral("  <rect x=\"2\" y=\"2\" width=\"60\" height=\"60\" rx=\"14\" fill=\"%1\"/>\n").arg(accent) +
                   eyeMark(9, 32, 46, QStringLiteral("#ffffff"), accent, QStringLiteral("#ffffff")),
               64, 64)
        .toUtf8();
}

bool writeSvgIcons(const QString& iconsDir)
{
    QMap<QString, QString> files;
    const QString accent = QString::fromLatin1(kAccent);
    const struct
    {
        const char* name;
        QString (*draw)(const QString&);
    } titleBar[] = {{"back", back},   {"bar1", bar1},     {"close", closeIcon},     {"info", info},
                    {"max", maxIcon}, {"normal", normal}, {"settings", settings}, {"webcam", webcam}};
    for (const auto& t : titleBar) {
        files.insert(QString::fromLatin1(t.name), t.draw(kWhite));
        files.insert(QString::fromLatin1(t.name) + QStringLiteral("-dark"), t.draw(kHover));
    }
    files.insert(QStringLiteral("checkmark"), checkmark());
    files.insert(QStringLiteral("downArrowGreen"), arrow(false, false));
    files.insert(QStringLiteral("upArrowGreen"), arrow(true, false));
    files.insert(QStringLiteral("downArrowGreenRadius"), arrow(false, true));
    files.insert(QStringLiteral("exit"), exitIcon());
    files.insert(QStringLiteral("off"), onOff(false));
    files.insert(QStringLiteral("on"), onOff(true));
    files.insert(QStringLiteral("pause"), pause());
    files.insert(QStringLiteral("play"), play());
    files.insert(QStringLiteral("slider"), slider());
    files.insert(QStringLiteral("point"), point());
    files.insert(QStringLiteral("webcamOn"), webcam(accent));
    files.insert(QStringLiteral("webcamOff"), webcamOff());
    files.insert(QStringLiteral("facebook"), facebook());
    files.insert(QStringLiteral("cup"), cup(accent, kInk));
    files.insert(QStringLiteral("cup-dark"), cup(QStringLiteral("#5f7d00"), QStringLiteral("#262626")));
    files.insert(QStringLiteral("logo"), logo());
    files.insert(QStringLiteral("icon16"), trayNormal());
    files.insert(QStringLiteral("grayIcon16"), trayPaused());
    files.insert(QStringLiteral("iconOrange16"), trayError());

    for (auto it = files.cbegin(); it != files.cend(); ++it)
        if (!writeFile(iconsDir + QLatin1Char('/') + it.key() + QStringLiteral(".svg"), it.value().toUtf8()))
            return false;
    qInfo() << "wrote" << files.size() << "SVG icons";
    return true;
}

}  // namespace assets
