// lumora-picturesheet: draws every icon of the resource tree and every frame
// of its animations onto one PNG, so a person can judge them at a glance.
//   lumora-picturesheet [output.png]   (default: tools/picturesheet/sheet.png)

#include <QDebug>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

namespace {

const QColor kAccent(0x98, 0xC8, 0x00);

class Sheet
{
public:
    Sheet() : image(1300, 4000, QImage::Format_ARGB32)
    {
        image.fill(QColor(0xf4, 0xf4, 0xf4));
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }

    void heading(const QString& text)
    {
        newRow();
        y += 10;
        QFont f = painter.font();
        f.setPixelSize(22);
        f.setBold(true);
        painter.setFont(f);
        painter.setPen(QColor(0x40, 0x40, 0x40));
        painter.drawText(QPointF(16, y + 22), text);
        y += 34;
    }

    // A tile with the picture and its caption; the ground shows the picture
    // on the colour it is used on.
    void tile(const QImage& picture, const QString& caption, const QColor& ground = Qt::white)
    {
        const int w = qMax(picture.width(), 90) + 16;
        const int h = picture.height() + 34;
        if (x + w > image.width() - 16)
            newRow();
        painter.fillRect(QRect(x, y, w, h - 18), ground);
        painter.drawImage(QPoint(x + (w - picture.width()) / 2, y + 8), picture);
        QFont f = painter.font();
        f.setPixelSize(11);
        f.setBold(false);
        painter.setFont(f);
        painter.setPen(QColor(0x40, 0x40, 0x40));
        painter.drawText(QRect(x, y + h - 16, w, 16), Qt::AlignCenter, caption);
        x += w + 8;
        rowHeight = qMax(rowHeight, h);
    }

    void newRow()
    {
        if (rowHeight > 0)
            y += rowHeight + 8;
        x = 16;
        rowHeight = 0;
    }

    bool save(const QString& path)
    {
        newRow();
        painter.end();
        return image.copy(0, 0, image.width(), y + 16).save(path);
    }

private:
    QImage image;
    QPainter painter;
    int x = 16;
    int y = 0;
    int rowHeight = 0;
};

QImage svgImage(const QString& path, QSize size)
{
    QSvgRenderer renderer(path);
    QImage img(size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    renderer.render(&p);
    return img;
}

// The icon at its size of use and at 48 pixels (wide ones keep their shape).
void svgTiles(Sheet& sheet, const QString& name, int small, const QColor& ground = Qt::white)
{
    const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
    const QSize def = QSvgRenderer(path).defaultSize();
    const double aspect = def.height() > 0 ? double(def.width()) / def.height() : 1.0;
    sheet.tile(svgImage(path, QSize(qRound(small * aspect), small)), name + QStringLiteral(" ") + QString::number(small), ground);
    sheet.tile(svgImage(path, QSize(qRound(48 * aspect), 48)), name + QStringLiteral(" 48"), ground);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int font = QFontDatabase::addApplicationFont(QStringLiteral(":/font/Roboto-Regular.ttf"));
    if (font >= 0)
        QGuiApplication::setFont(QFont(QFontDatabase::applicationFontFamilies(font).value(0)));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                 : QStringLiteral(LUMORA_SOURCE_DIR "/tools/picturesheet/sheet.png");

    Sheet sheet;
    sheet.heading(QStringLiteral("Tray icons (16 px and 48 px)"));
    for (const char* name : {"icon16", "grayIcon16", "iconOrange16", "webcamOff"})
        svgTiles(sheet, QLatin1String(name), 16);
    for (const char* name : {"icon16", "grayIcon16", "iconOrange16", "webcamOff"})
        svgTiles(sheet, QLatin1String(name), 16, QColor(0x30, 0x30, 0x30));

    sheet.heading(QStringLiteral("Title-bar buttons on the title bar (20 px and 48 px; -dark is the hover image)"));
    for (const char* name : {"settings", "back", "webcam", "info", "bar1", "close", "max", "normal"}) {
        svgTiles(sheet, QLatin1String(name), 20, kAccent);
        svgTiles(sheet, QLatin1String(name) + QStringLiteral("-dark"), 20, kAccent);
    }

    sheet.heading(QStringLiteral("Controls and menu icons"));
    for (const char* name : {"pause", "play", "webcamOn", "webcamOff", "exit", "on", "off", "slider", "point",
                             "facebook", "downArrowGreen", "upArrowGreen", "downArrowGreenRadius"})
        svgTiles(sheet, QLatin1String(name), 16);
    svgTiles(sheet, QStringLiteral("checkmark"), 16, kAccent);

    sheet.heading(QStringLiteral("Pictures and application icon"));
    sheet.tile(svgImage(QStringLiteral(":/icons/cup.svg"), QSize(96, 96)), QStringLiteral("cup"));
    sheet.tile(svgImage(QStringLiteral(":/icons/cup-dark.svg"), QSize(96, 96)), QStringLiteral("cup-dark"));
    const QIcon appIcon(QStringLiteral(":/icons/lumora.icns"));
    for (int s : {16, 32, 64, 128})
        sheet.tile(appIcon.pixmap(s, s).toImage(), QStringLiteral("lumora.icns %1").arg(s));
    const QIcon winIcon(QStringLiteral(":/icons/lumora.ico"));
    for (int s : {16, 32, 48})
        sheet.tile(winIcon.pixmap(s, s).toImage(), QStringLiteral("lumora.ico %1").arg(s));
    sheet.newRow();
    const QSize logoSize = QSvgRenderer(QStringLiteral(":/icons/logo.svg")).defaultSize();
    sheet.tile(svgImage(QStringLiteral(":/icons/logo.svg"), logoSize), QStringLiteral("logo"));
    sheet.tile(QImage(QStringLiteral(":/icons/partner.png")).scaledToHeight(105, Qt::SmoothTransformation),
               QStringLiteral("partner.png"));

    for (const char* name : {"blinkNotify", "squeeze", "leftRight", "rotate", "LookingIntoWindow"}) {
        QImageReader reader(QStringLiteral(":/icons/%1.gif").arg(QLatin1String(name)));
        sheet.heading(QStringLiteral("%1.gif  %2 x %3, %4 frames")
                          .arg(QLatin1String(name))
                          .arg(reader.size().width())
                          .arg(reader.size().height())
                          .arg(reader.imageCount()));
        for (int i = 0; reader.canRead(); ++i) {
            const QImage frame = reader.read();
            sheet.tile(frame, QStringLiteral("%1 (%2 ms)").arg(i).arg(reader.nextImageDelay()));
        }
    }

    if (!sheet.save(out)) {
        qCritical() << "cannot write" << out;
        return 1;
    }
    qInfo() << "wrote" << out;
    return 0;
}
