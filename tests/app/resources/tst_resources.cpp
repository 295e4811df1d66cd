// The compiled-in resource tree: every path the program reads is there, in
// the format and size its reader expects.

#include <QDirIterator>
#include <QFontDatabase>
#include <QIcon>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <QTranslator>
#include <QtTest>

int qInitResources_resources();
int qCleanupResources_resources();

namespace {

const QStringList kSvgNames = {
    "back", "bar1", "close", "info", "max", "normal", "settings", "webcam",
    "back-dark", "bar1-dark", "close-dark", "info-dark", "max-dark", "normal-dark", "settings-dark", "webcam-dark",
    "checkmark", "downArrowGreen", "exit", "off", "on", "pause", "play", "slider", "upArrowGreen", "webcamOff",
    "webcamOn", "facebook", "downArrowGreenRadius", "point", "cup", "cup-dark", "logo", "icon16", "grayIcon16",
    "iconOrange16"};

QStringList expectedPaths()
{
    QStringList paths = {":/font/Roboto-Medium.ttf", ":/font/Roboto-Bold.ttf", ":/font/Roboto-Regular.ttf",
                         ":/audio/marimba12.wav", ":/audio/marimba2500ms.wav", ":/icons/lumora.icns",
                         ":/icons/lumora.ico", ":/icons/partner.png", ":/icons/LookingIntoWindow.gif",
                         ":/icons/leftRight.gif", ":/icons/rotate.gif", ":/icons/squeeze.gif",
                         ":/icons/blinkNotify.gif"};
    for (const QString& n : kSvgNames)
        paths << ":/icons/" + n + ".svg";
    for (const char* l : {"cs_CZ", "de_DE", "sk_SK"})
        paths << QStringLiteral(":/lumora_%1.qm").arg(QLatin1String(l)) << QStringLiteral(":/qtbase_%1.qm").arg(QLatin1String(l));
    return paths;
}

// Our part of the tree (Qt's libraries register resources of their own).
QStringList ourFiles()
{
    QStringList files;
    for (const char* dir : {":/font", ":/audio", ":/icons"}) {
        QDirIterator it(QLatin1String(dir), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    for (const QString& f : QDir(QStringLiteral(":/")).entryList({"*.qm"}, QDir::Files))
        files << ":/" + f;
    files.sort();
    return files;
}

QImage render(const QString& svg, int size)
{
    QSvgRenderer r(svg);
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    r.render(&p);
    return img;
}

// Share of the picture's visible pixels whose colour lies near c.
double shareNear(const QImage& img, QColor c)
{
    int visible = 0, near = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            if (qAlpha(p) < 200)
                continue;
            ++visible;
            if (qAbs(qRed(p) - c.red()) + qAbs(qGreen(p) - c.green()) + qAbs(qBlue(p) - c.blue()) < 60)
                ++near;
        }
    return visible ? double(near) / visible : 0;
}

struct Wav
{
    quint16 format = 0, channels = 0, bits = 0;
    quint32 rate = 0, dataBytes = 0;
    int peak = 0;
    int lastSample = 0;
};

Wav readWav(const QString& path)
{
    QFile f(path);
    Wav w;
    if (!f.open(QIODevice::ReadOnly))
        return w;
    const QByteArray b = f.readAll();
    if (b.size() < 44 || b.left(4) != "RIFF" || b.mid(8, 4) != "WAVE")
        return w;
    QDataStream s(b);
    s.setByteOrder(QDataStream::LittleEndian);
    s.skipRawData(12);
    while (!s.atEnd()) {
        char id[4];
        quint32 size = 0;
        s.readRawData(id, 4);
        s >> size;
        if (QByteArray(id, 4) == "fmt ") {
            quint32 byteRate;
            quint16 align;
            s >> w.format >> w.channels >> w.rate >> byteRate >> align >> w.bits;
            s.skipRawData(int(size) - 16);
        } else if (QByteArray(id, 4) == "data") {
            w.dataBytes = size;
            for (quint32 i = 0; i < size / 2; ++i) {
                qint16 v;
                s >> v;
                w.peak = qMax(w.peak, qAbs(int(v)));
                w.lastSample = v;
            }
        } else {
            s.skipRawData(int(size));
        }
    }
    return w;
}

}  // namespace

class TestResources : public QObject
{
    Q_OBJECT
private slots:
    void treeHoldsExactlyTheProgramsPaths();
    void registrationCanBeUndoneAndRedone();
    void fontsAreRoboto();
    void everySvgRenders();
    void trayIconsAreDistinctAtSixteenPixels();
    void titleBarIconsHaveAHoverVariant();
    void animations_data();
    void animations();
    void sounds_data();
    void sounds();
    void applicationIconsAndPartnerLogo();
    void catalogues();
};

void TestResources::treeHoldsExactlyTheProgramsPaths()
{
    QStringList expected = expectedPaths();
    expected.sort();
    QCOMPARE(expected.size(), 55);
    for (const QString& p : expected)
        QVERIFY2(QFile::exists(p), qPrintable(p));
    QCOMPARE(ourFiles(), expected);
    // Style sheets that name PNG variants of the close icon find nothing.
    QVERIFY(!QFile::exists(":/icons/close.png"));
    QVERIFY(!QFile::exists(":/icons/close-dark.png"));
}

void TestResources::registrationCanBeUndoneAndRedone()
{
    QVERIFY(QFile::exists(":/icons/icon16.svg"));
    QCOMPARE(qCleanupResources_resources(), 1);
    QVERIFY(!QFile::exists(":/icons/icon16.svg"));
    QCOMPARE(qInitResources_resources(), 1);
    QVERIFY(QFile::exists(":/icons/icon16.svg"));
}

void TestResources::fontsAreRoboto()
{
    QStringList styles;
    for (const char* path : {":/font/Roboto-Medium.ttf", ":/font/Roboto-Bold.ttf", ":/font/Roboto-Regular.ttf"}) {
        const int id = QFontDatabase::addApplicationFont(QLatin1String(path));
        QVERIFY2(id >= 0, path);
        QCOMPARE(QFontDatabase::applicationFontFamilies(id).value(0), QStringLiteral("Roboto"));
    }
    styles = QFontDatabase().styles(QStringLiteral("Roboto"));
    for (const char* style : {"Regular", "Medium", "Bold"})
        QVERIFY2(styles.contains(QLatin1String(style)), qPrintable(styles.join(',')));
}

void TestResources::everySvgRenders()
{
    for (const QString& name : kSvgNames) {
        const QString path = ":/icons/" + name + ".svg";
        QSvgRenderer r(path);
        QVERIFY2(r.isValid(), qPrintable(path));
        QVERIFY2(!r.defaultSize().isEmpty(), qPrintable(path));
        const QImage img = render(path, 48);
        int opaque = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x)
                opaque += qAlpha(img.pixel(x, y)) > 128;
        QVERIFY2(opaque > 20, qPrintable(path));
    }
}

void TestResources::trayIconsAreDistinctAtSixteenPixels()
{
    const QImage normal = render(":/icons/icon16.svg", 16);
    const QImage paused = render(":/icons/grayIcon16.svg", 16);
    const QImage error = render(":/icons/iconOrange16.svg", 16);
    // Each state in its own colour ...
    QVERIFY(shareNear(normal, QColor("#98C800")) > 0.3);
    QVERIFY(shareNear(paused, QColor("#808080")) > 0.3);
    QVERIFY(shareNear(error, QColor("#d45500")) > 0.3);
    QVERIFY(shareNear(normal, QColor("#d45500")) < 0.05);
    QVERIFY(shareNear(paused, QColor("#98C800")) < 0.05);
    // ... and in its own shape: compare where each is coloured, white or empty.
    auto shape = [](const QImage& img) {
        QVector<int> cells;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb p = img.pixel(x, y);
                cells << (qAlpha(p) < 128 ? 0 : qGray(p) > 230 ? 2 : 1);
            }
        return cells;
    };
    const QVector<int> shapes[3] = {shape(normal), shape(paused), shape(error)};
    for (int a = 0; a < 3; ++a)
        for (int b = a + 1; b < 3; ++b) {
            int differing = 0;
            for (int i = 0; i < shapes[a].size(); ++i)
                differing += shapes[a][i] != shapes[b][i];
            QVERIFY2(differing >= 25, qPrintable(QString("%1/%2: %3").arg(a).arg(b).arg(differing)));
        }
}

void TestResources::titleBarIconsHaveAHoverVariant()
{
    // White on the green title bar; the hover image is darker.
    for (const char* name : {"back", "bar1", "close", "info", "max", "normal", "settings", "webcam"}) {
        const QImage normal = render(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)), 24);
        const QImage dark = render(QStringLiteral(":/icons/%1-dark.svg").arg(QLatin1String(name)), 24);
        QVERIFY2(shareNear(normal, Qt::white) > 0.8, name);
        QVERIFY2(shareNear(dark, Qt::white) < 0.05, name);
    }
}

void TestResources::animations_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("window") << ":/icons/LookingIntoWindow.gif" << QSize(153, 100);
    QTest::newRow("leftRight") << ":/icons/leftRight.gif" << QSize(169, 100);
    QTest::newRow("rotate") << ":/icons/rotate.gif" << QSize(169, 100);
    QTest::newRow("squeeze") << ":/icons/squeeze.gif" << QSize(169, 100);
    QTest::newRow("blink") << ":/icons/blinkNotify.gif" << QSize(169, 100);
}

void TestResources::animations()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("gif"));
    QCOMPARE(reader.size(), size);
    QVERIFY(reader.supportsAnimation());
    QVERIFY(reader.imageCount() >= 5);
    QCOMPARE(reader.loopCount(), -1);  // for ever
    QVector<QImage> frames;
    int total = 0;
    while (reader.canRead()) {
        const QImage f = reader.read();
        QVERIFY2(!f.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(f.size(), size);
        frames << f.convertToFormat(QImage::Format_RGB32);
        total += reader.nextImageDelay();
    }
    QCOMPARE(frames.size(), reader.imageCount());
    QVERIFY(total >= 1000 && total <= 4000);
    // It moves: some frames differ from the first.
    int changed = 0;
    for (const QImage& f : frames)
        changed += f != frames.first();
    QVERIFY(changed >= frames.size() / 2);
}

void TestResources::sounds_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<double>("seconds");
    QTest::newRow("blink tick") << ":/audio/marimba12.wav" << 0.85;
    QTest::newRow("reminder") << ":/audio/marimba2500ms.wav" << 2.5;
}

void TestResources::sounds()
{
    QFETCH(QString, path);
    QFETCH(double, seconds);
    const Wav w = readWav(path);
    QCOMPARE(w.format, quint16(1));  // PCM
    QCOMPARE(w.channels, quint16(2));
    QCOMPARE(w.rate, quint32(44100));
    QCOMPARE(w.bits, quint16(16));
    QVERIFY(qAbs(w.dataBytes / 4.0 / 44100 - seconds) < 0.001);
    QVERIFY(w.peak > 16000);              // audible
    QVERIFY(qAbs(w.lastSample) < 200);    // ends quietly, no click when looped
}

void TestResources::applicationIconsAndPartnerLogo()
{
    QImageReader icns(":/icons/lumora.icns");
    QVERIFY2(icns.canRead(), "the icns image plugin (qt5-image-formats-plugins) is missing");
    const QIcon icon(":/icons/lumora.icns");
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
    QVERIFY(icon.availableSizes().contains(QSize(512, 512)));
    QImage big = icon.pixmap(128, 128).toImage();
    QVERIFY(shareNear(big, QColor("#98C800")) > 0.4);

    QImageReader ico(":/icons/lumora.ico");
    QCOMPARE(ico.format(), QByteArray("ico"));
    QVERIFY(ico.imageCount() >= 3);

    const QImage partner(":/icons/partner.png");
    QVERIFY(!partner.isNull());
    QVERIFY(partner.width() > 2 * partner.height());
}

void TestResources::catalogues()
{
    for (const char* l : {"cs_CZ", "de_DE", "sk_SK"}) {
        QTranslator program;
        QVERIFY2(program.load(QStringLiteral(":/lumora_%1.qm").arg(QLatin1String(l))), l);
        QTranslator qt;
        QVERIFY2(qt.load(QStringLiteral(":/qtbase_%1.qm").arg(QLatin1String(l))), l);
        QVERIFY(!qt.isEmpty());
        QVERIFY(qt.language().startsWith(QLatin1String(l).left(2)));
    }
    QTranslator de;
    QVERIFY(de.load(":/qtbase_de_DE.qm"));
    QCOMPARE(de.translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
