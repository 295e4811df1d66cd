// The camera path end to end: the real program with the fake webcam
// preloaded (tests/support/fakewebcam.md) playing a recorded face, on an X
// server of the test's own, checked on grabs of its window: the camera list
// names the camera, the camera-test page's live preview marks the face and
// its eyes while its box keeps its drop shadow, and a camera that another
// program holds is still listed and ends the preview with the
// camera-occupied image and the error's text; the screen saver keeps the
// camera closed while it runs, a click during a measurement leaves its status
// line, and the page recovers from an unplug. A camera that stays unusable,
// or whose picture stands still, is tried again every 2 s with one error
// shown, a log that does not grow, and a window that does not move.

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <functional>

#include "app/appfonts.h"
#include "tests/support/boxedge.h"
#include "tests/support/cameraprogram.h"

namespace {

const QColor kMarks(0, 202, 255);   // eye circles and status texts
const QColor kWarning(212, 85, 0);  // the status line
// Text drawn here in the program's font differs from its own drawing of the
// same text by about 0.15 (smoothing), from another text by 0.6 or more.
constexpr double kSameText = 0.35;

// Bounding box of the pixels in area that accept() takes; empty if none.
template <typename Accept>
QRect inkBox(const QImage& image, QRect area, Accept accept, int* count = nullptr)
{
    area &= image.rect();
    QRect box;
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (accept(image.pixel(x, y))) {
                box |= QRect(x, y, 1, 1);
                ++n;
            }
    if (count)
        *count = n;
    return box;
}

// Whether a pixel is the ink of text drawn in one colour on another: at
// least halfway from the background to the text colour, and near the line
// between them (smoothed edges blend the two).
struct Ink
{
    QColor text, background;
    bool operator()(QRgb c) const
    {
        const double d[3] = {double(text.red() - background.red()), double(text.green() - background.green()),
                             double(text.blue() - background.blue())};
        const double p[3] = {double(qRed(c) - background.red()), double(qGreen(c) - background.green()),
                             double(qBlue(c) - background.blue())};
        const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        const double t = (p[0] * d[0] + p[1] * d[1] + p[2] * d[2]) / dd;
        double off = 0;
        for (int i = 0; i < 3; ++i)
            off += (p[i] - t * d[i]) * (p[i] - t * d[i]);
        return t >= 0.5 && off < 0.02 * dd;
    }
};

// How far the ink in area of a grab is from text drawn in family (at the
// pixel size that fits it best, scaled by scale without smoothing as the
// preview is): the share of ink pixels that differ, 0 for the same
// drawing, near 1 for another text.
double textMismatch(const QImage& grab, QRect area, const Ink& ink, const QString& text, const QString& family,
                    double scale = 1.0)
{
    const QRect found = inkBox(grab, area, ink);
    if (found.isEmpty())
        return 1.0;
    double best = 1.0;
    for (int px = 8; px <= 40; ++px) {
        QFont font(family);
        font.setPixelSize(px);
        const QSize size = QFontMetrics(font).size(0, text) + QSize(8, 8);
        QImage drawn(size, QImage::Format_RGB32);
        drawn.fill(ink.background);
        {
            QPainter painter(&drawn);
            painter.setFont(font);
            painter.setPen(ink.text);
            painter.drawText(drawn.rect(), Qt::AlignCenter, text);
        }
        if (scale != 1.0)
            drawn = drawn.scaled(qRound(size.width() * scale), qRound(size.height() * scale), Qt::IgnoreAspectRatio,
                                 Qt::FastTransformation);
        const QRect want = inkBox(drawn, drawn.rect(), ink);
        if (qAbs(want.width() - found.width()) > 4 || qAbs(want.height() - found.height()) > 4)
            continue;
        for (int dx = -2; dx <= 2; ++dx)
            for (int dy = -2; dy <= 2; ++dy) {
                int differ = 0, inked = 0;
                const QRect cover = found.united(want.translated(found.topLeft() - want.topLeft() + QPoint(dx, dy)));
                for (int y = cover.top() - 1; y <= cover.bottom() + 1; ++y)
                    for (int x = cover.left() - 1; x <= cover.right() + 1; ++x) {
                        const QPoint d(x - found.left() + want.left() - dx, y - found.top() + want.top() - dy);
                        const bool a = grab.rect().contains(x, y) && area.contains(x, y) && ink(grab.pixel(x, y));
                        const bool b = drawn.rect().contains(d) && ink(drawn.pixel(d));
                        differ += a != b;
                        inked += a || b;
                    }
                best = qMin(best, inked ? double(differ) / inked : 1.0);
            }
    }
    return best;
}

// The camera list: the text inside the combo box below the title bar,
// found by its green frame.
QRect cameraListText(const QImage& image, int titleBarBottom)
{
    const auto green = [](QRgb c) { return qGreen(c) > qRed(c) + 30 && qGreen(c) > qBlue(c) + 60; };
    QVector<int> frameColumns;
    int top = -1, bottom = -1;
    for (int x = 0; x < image.width(); ++x) {
        int run = 0, longest = 0, end = 0;
        for (int y = titleBarBottom + 2; y < qMin(image.height(), titleBarBottom + 70); ++y) {
            run = green(image.pixel(x, y)) ? run + 1 : 0;
            if (run > longest) {
                longest = run;
                end = y;
            }
        }
        if (longest >= 15) {
            frameColumns << x;
            top = end - longest + 1;
            bottom = end;
        }
    }
    if (frameColumns.isEmpty())
        return QRect();
    // Left of the arrow at the right end.
    return QRect(QPoint(frameColumns.first() + 2, top + 2), QPoint(frameColumns.last() - 30, bottom - 2));
}

// The longest run of consecutive numbers in a rising list.
QPair<int, int> longestRun(const QVector<int>& list)
{
    QPair<int, int> best(0, -1);
    for (int i = 0, start = 0; i < list.size(); ++i) {
        if (i > 0 && list[i] != list[i - 1] + 1)
            start = i;
        if (list[i] - list[start] > best.second - best.first)
            best = {list[start], list[i]};
    }
    return best;
}

// The preview: the rows under the camera list that are image nearly from
// edge to edge, and the columns that are image in them.
QRect previewArea(const QImage& image, int below)
{
    const auto painted = [](QRgb c) { return qRed(c) < 250 || qGreen(c) < 250 || qBlue(c) < 250; };
    const int x0 = image.width() / 5, x1 = 4 * image.width() / 5;
    QVector<int> rows, columns;
    for (int y = below; y < image.height(); ++y) {
        int n = 0;
        for (int x = x0; x < x1; ++x)
            n += painted(image.pixel(x, y));
        if (n > 0.9 * (x1 - x0))
            rows << y;
    }
    const QPair<int, int> r = longestRun(rows);
    for (int x = 0; x < image.width(); ++x) {
        int n = 0;
        for (int y = r.first; y <= r.second; ++y)
            n += painted(image.pixel(x, y));
        if (n > 0.9 * (r.second - r.first + 1))
            columns << x;
    }
    const QPair<int, int> c = longestRun(columns);
    return r.second - r.first < 100 ? QRect() : QRect(QPoint(c.first, r.first), QPoint(c.second, r.second));
}

}  // namespace

class TestCameraEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cameraListNamesCamera_data();
    void cameraListNamesCamera();
    void previewMarksFaceAndEyes_data();
    void previewMarksFaceAndEyes();
    void busyCameraListedWithOccupiedImageAndError_data();
    void busyCameraListedWithOccupiedImageAndError();
    void screenSaverKeepsCameraClosed();
    void clickDuringMeasurementKeepsStatus();
    void pageReturnsAfterReplug();
    void stillCameraShowsOneError_data();
    void stillCameraShowsOneError();
    void unusableCameraRetriesQuietly_data();
    void unusableCameraRetriesQuietly();
    void previewBoxKeepsItsShadow_data();
    void previewBoxKeepsItsShadow();

private:
    // The clip file for this format and size, made once.
    QString clip(const QString& format, QSize size = QSize());
    // The program started on the camera-test page, the camera playing the
    // clip in format at size, with more of its settings in camera.
    bool startOnCameraTestPage(CameraProgram& s, const QString& format, QSize size, QMap<QString, QString> camera = {},
                               const QString& screen = QStringLiteral("1280x1024"));
    // Waits until the area of the window that area() finds shows text in
    // ink; how far it stays from it.
    double mismatch(CameraProgram& s, const std::function<QRect(const QImage&)>& area, const Ink& ink,
                    const QString& text);
    double cameraListMismatch(CameraProgram& s, const QString& name)
    {
        const auto list = [](const QImage& i) { return cameraListText(i, CameraProgram::titleBar(i).bottom()); };
        return mismatch(s, list, Ink{Qt::black, Qt::white}, name);
    }
    // The main page's status line: in orange in the lower half.
    double statusLineMismatch(CameraProgram& s, const QString& text)
    {
        const auto lower = [](const QImage& i) { return QRect(0, i.height() / 2, i.width(), i.height() / 2); };
        return mismatch(s, lower, Ink{kWarning, Qt::white}, text);
    }

    QTemporaryDir m_clips;
    QMap<QString, QString> m_made;
    QString m_family;
};

void TestCameraEndToEnd::initTestCase()
{
    if (talkingFaceClip("cap13_edit2.webm").isEmpty())
        QSKIP("the talking-face clips are not fetched (scripts/fetch-clips.sh)");
    QVERIFY(m_clips.isValid());
    // The program's own faces, so that texts drawn here match its own.
    m_family = appfonts::install();
}

QString TestCameraEndToEnd::clip(const QString& format, QSize size)
{
    const QString key = format + QString("-%1x%2").arg(size.width()).arg(size.height());
    if (!m_made.contains(key)) {
        const QString out = m_clips.filePath(key + ".raw");
        const QString error = makeFakeWebcamClip(talkingFaceClip("cap13_edit2.webm"), out, format, size);
        if (!error.isEmpty()) {
            qWarning().noquote() << error;
            return QString();
        }
        m_made.insert(key, out);
    }
    return m_made.value(key);
}

bool TestCameraEndToEnd::startOnCameraTestPage(CameraProgram& s, const QString& format, QSize size,
                                               QMap<QString, QString> camera, const QString& screen)
{
    const QString file = clip(format, size);
    if (!camera.contains("FAKEWEBCAM_NAME"))
        camera.insert("FAKEWEBCAM_NAME", "Fake Webcam");
    return !file.isEmpty() && s.start(file, format, camera, screen) && s.waitForInit() && s.waitForWindow()
           && s.openCameraTestPage();
}

double TestCameraEndToEnd::mismatch(CameraProgram& s, const std::function<QRect(const QImage&)>& area,
                                    const Ink& ink, const QString& text)
{
    double mismatch = 1.0;
    const bool shown = QTest::qWaitFor(
        [&] {
            const QImage image = s.grab();
            mismatch = textMismatch(image, area(image), ink, text, m_family);
            return mismatch < kSameText;
        },
        10000);
    return shown ? mismatch : qMax(mismatch, kSameText);
}

// Both formats, each with a card name of its own.
void TestCameraEndToEnd::cameraListNamesCamera_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("name");
    QTest::newRow("yuyv") << "yuyv"
                          << "Fake Webcam";
    QTest::newRow("mjpeg") << "mjpeg"
                           << "HD Pro Webcam C920";
}

void TestCameraEndToEnd::cameraListNamesCamera()
{
    QFETCH(QString, format);
    QFETCH(QString, name);
    CameraProgram s;
    QVERIFY(startOnCameraTestPage(s, format, QSize(), {{"FAKEWEBCAM_NAME", name}}));
    const double mismatch = cameraListMismatch(s, name);
    QVERIFY2(mismatch < kSameText, qPrintable(QString("camera list text differs from \"%1\" by %2").arg(name).arg(mismatch)));
}

void TestCameraEndToEnd::previewMarksFaceAndEyes_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("device");
    QTest::newRow("yuyv") << "yuyv" << QSize() << "/dev/video0";
    QTest::newRow("mjpeg") << "mjpeg" << QSize() << "/dev/video0";
    QTest::newRow("yuyv 640x480") << "yuyv" << QSize(640, 480) << "/dev/video0";
    QTest::newRow("mjpeg 640x480") << "mjpeg" << QSize(640, 480) << "/dev/video0";
    // The only camera is not video0: the list's row leads to its number.
    QTest::newRow("yuyv video2") << "yuyv" << QSize() << "/dev/video2";
}

// The face in the clip sits about the middle of the picture, a little low:
// its rectangle holds that point and the two eye circles lie in its upper
// part, one each side.
void TestCameraEndToEnd::previewMarksFaceAndEyes()
{
    QFETCH(QString, format);
    QFETCH(QSize, size);
    QFETCH(QString, device);
    CameraProgram s;
    QVERIFY(startOnCameraTestPage(s, format, size, {{"FAKEWEBCAM_DEVICE", device}}));
    QString seen;
    const bool marked = QTest::qWaitFor(
        [&] {
            const QImage image = s.grab();
            const QRect preview = previewArea(image, CameraProgram::titleBar(image).bottom() + 70);
            if (preview.width() < 300) {
                seen = "no preview";
                return false;
            }
            // The rate text at the top left is of the same green.
            const QRect rate(preview.topLeft(), QSize(preview.width() / 4, preview.height() / 6));
            QRect faceOnly;
            for (int y = preview.top(); y <= preview.bottom(); ++y)
                for (int x = preview.left(); x <= preview.right(); ++x)
                    if (!rate.contains(x, y) && CameraProgram::near(image.pixel(x, y), CameraProgram::kAccent, 30))
                        faceOnly |= QRect(x, y, 1, 1);
            const QPointF at((faceOnly.center().x() - preview.left()) / double(preview.width()),
                             (faceOnly.center().y() - preview.top()) / double(preview.height()));
            const QPoint middle(preview.left() + preview.width() / 2, preview.top() + int(0.6 * preview.height()));
            int left = 0, right = 0;
            const QRect upper(faceOnly.topLeft(), QSize(faceOnly.width(), faceOnly.height() * 3 / 5));
            inkBox(image, QRect(upper.topLeft(), QSize(upper.width() / 2, upper.height())),
                   [](QRgb c) { return CameraProgram::near(c, kMarks, 40); }, &left);
            inkBox(image, QRect(upper.center().x(), upper.top(), upper.width() / 2, upper.height()),
                   [](QRgb c) { return CameraProgram::near(c, kMarks, 40); }, &right);
            seen = QString("face box %1,%2 %3x%4 in preview %5x%6 (centre at %7, %8), eye ink %9 and %10")
                       .arg(faceOnly.x())
                       .arg(faceOnly.y())
                       .arg(faceOnly.width())
                       .arg(faceOnly.height())
                       .arg(preview.width())
                       .arg(preview.height())
                       .arg(at.x(), 0, 'f', 2)
                       .arg(at.y(), 0, 'f', 2)
                       .arg(left)
                       .arg(right);
            return faceOnly.width() > preview.width() / 8 && faceOnly.width() < preview.width() / 2
                   && faceOnly.contains(middle) && left >= 15 && right >= 15;
        },
        20000);
    QVERIFY2(marked, qPrintable(seen));
}

void TestCameraEndToEnd::busyCameraListedWithOccupiedImageAndError_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("yuyv") << "yuyv";
    QTest::newRow("mjpeg") << "mjpeg";
}

// Another program holds the camera: the preview shows the camera-occupied
// image, the camera stays listed, and the main page's status line gives
// error 2's text.
void TestCameraEndToEnd::busyCameraListedWithOccupiedImageAndError()
{
    QFETCH(QString, format);
    CameraProgram s;
    QVERIFY(startOnCameraTestPage(s, format, QSize(), {{"FAKEWEBCAM_BUSY", "1"}}));

    double mismatch = 1.0;
    const bool occupied = QTest::qWaitFor(
        [&] {
            const QImage image = s.grab();
            const QRect preview = previewArea(image, CameraProgram::titleBar(image).bottom() + 70);
            if (preview.width() < 300)
                return false;
            int dark = 0;
            inkBox(image, preview, [](QRgb c) { return qGray(c) < 24; }, &dark);
            // One line of text across the middle, on black.
            const QRect text = inkBox(image, preview, Ink{kMarks, Qt::black});
            mismatch = textMismatch(image, preview, Ink{kMarks, Qt::black}, "camera is occupied or not connected",
                                    "Roboto", preview.width() / 400.0);
            return dark > 0.9 * preview.width() * preview.height() && qAbs(text.center().y() - preview.center().y()) < 10
                   && mismatch < kSameText;
        },
        15000);
    QVERIFY2(occupied, qPrintable(QString("no camera-occupied image (text mismatch %1)").arg(mismatch)));
    mismatch = cameraListMismatch(s, "Fake Webcam");
    QVERIFY2(mismatch < kSameText, qPrintable(QString("camera not listed after the error (mismatch %1)").arg(mismatch)));

    // Back on the main page: its status line shows the error in orange.
    s.click(s.titleBarIcons().first().center());
    const QString text = "Error: camera is used by other software.";
    mismatch = statusLineMismatch(s, text);
    QVERIFY2(mismatch < kSameText, qPrintable(QString("status line differs from \"%1\" by %2").arg(text).arg(mismatch)));
    QVERIFY(s.running());
}

// The screen saver pauses the program while the camera-test page is open:
// the camera is closed and stays so until the saver stops; then the preview
// runs again.
void TestCameraEndToEnd::screenSaverKeepsCameraClosed()
{
    CameraProgram s;
    QVERIFY(startOnCameraTestPage(s, "yuyv", QSize()));
    QVERIFY(QTest::qWaitFor([&] { return s.showsLiveVideo(); }, 10000) && s.sendScreenSaverActive(true));
    QVERIFY(QTest::qWaitFor([&] { return s.webcamFigures().closes == s.webcamFigures().opens; }, 5000));
    const int opens = s.webcamFigures().opens;
    s.idle(6000);
    QCOMPARE(s.webcamFigures().opens, opens);
    QVERIFY(s.sendScreenSaverActive(false) && QTest::qWaitFor([&] { return s.showsLiveVideo(); }, 10000));
}

// "TAKE FIRST MEASUREMENT" clicked while the measurement runs: the status
// line still says the measurement is in progress.
void TestCameraEndToEnd::clickDuringMeasurementKeepsStatus()
{
    CameraProgram s;
    s.setSetting("T", false);
    QVERIFY(s.start(clip("yuyv"), "yuyv") && s.waitForInit() && s.waitForWindow() && s.takeFirstMeasurement());
    // The line is small: it is told by which of the two texts it is nearer.
    const auto inProgress = [&] {
        const QImage image = s.grab();
        const QRect lower(0, image.height() / 2, image.width(), image.height() / 2);
        const auto away = [&](const QString& text) {
            return textMismatch(image, lower, Ink{kWarning, Qt::white}, text, m_family);
        };
        return away("Measurement in progress") < away("Measurement will start shortly.");
    };
    QVERIFY(QTest::qWaitFor(inProgress, 60000));
    QVERIFY(s.click(CameraProgram::firstMeasurementButton(s.grab())));
    s.idle(2000);
    QVERIFY(inProgress());
}

// The camera vanishes about 5 s into the preview: the picture stands still,
// and within 5 s of the camera's return (6 s later) it is live again without
// leaving the page. Back on the main page, the status line says what it
// said before the camera went, not the camera's error.
void TestCameraEndToEnd::pageReturnsAfterReplug()
{
    CameraProgram s;
    // Where the main page's status line has orange ink, and how much.
    const auto statusLine = [&] {
        const QImage image = s.grab();
        int n = 0;
        const QRect box = inkBox(image, QRect(0, image.height() / 2, image.width(), image.height() / 2),
                                 Ink{kWarning, Qt::white}, &n);
        return qMakePair(box, n);
    };
    QPair<QRect, int> before;
    const QMap<QString, QString> camera{{"FAKEWEBCAM_UNPLUG_AFTER", "125"}, {"FAKEWEBCAM_REPLUG_AFTER_S", "6"}};
    QVERIFY(s.start(clip("yuyv"), "yuyv", camera));
    QVERIFY(s.waitForInit() && s.waitForWindow());
    QVERIFY(QTest::qWaitFor(
        [&] { return (before = statusLine()).second > 0 && before == (s.idle(300), statusLine()); }, 10000));
    QVERIFY(s.openCameraTestPage());
    QVERIFY(s.waitForLog("LumoraGUI::showError", 30000) >= 0 && !s.showsLiveVideo());
    QVERIFY(QTest::qWaitFor([&] { return s.showsLiveVideo(); }, 10000));
    QVERIFY(s.click(s.titleBarIcons().first().center()));
    QVERIFY2(QTest::qWaitFor([&] { return statusLine() == before; }, 5000),
             "the status line still shows the camera's error");
}

void TestCameraEndToEnd::stillCameraShowsOneError_data()
{
    QTest::addColumn<int>("dark");  // black frames before the still face
    QTest::newRow("still face") << 0;
    QTest::newRow("dark, then a still face") << 75;
}

// A face that stands still (a camera showing a photo), after a dark start
// or not, ends the preview at every retry: for 30 s the error is shown once,
// with one balloon (dropped here, for want of a tray), the page keeps its
// picture (at most one grab a second differs from the one before in over
// 2 % of its pixels), and the window keeps its size whichever picture it
// shows.
void TestCameraEndToEnd::stillCameraShowsOneError()
{
    QFETCH(int, dark);
    const QString still = m_clips.filePath(QString("still-%1.raw").arg(dark));
    // A picture of 5:4, taller than the status picture's 4:3, on a screen
    // that the page with it just overflows (the pages then scroll).
    QVERIFY(QFile::copy(clip("yuyv", QSize(500, 400)), still) &&
            (!dark || darkenFakeWebcamClip(still, dark).isEmpty()) &&
            freezeFakeWebcamClip(still, dark + 1, 100, "repeat").isEmpty());
    CameraProgram s;
    QVERIFY(s.start(still, "yuyv", {}, "1280x760") && s.waitForInit() && s.waitForWindow() && s.openCameraTestPage());
    QVERIFY(s.waitForLog("LumoraGUI::showError", 30000) >= 0);
    QImage last = s.grab();
    int changed = 0;
    QElapsedTimer t;
    for (t.start(); t.elapsed() < 30000; s.idle(1000)) {
        const QImage now = s.grab();  // null while another window comes or goes
        QCOMPARE(now.isNull() ? last.size() : now.size(), last.size());
        int differ = 0;
        for (int y = 0; y < now.height(); ++y)
            for (int x = 0; x < now.width(); ++x)
                differ += now.pixel(x, y) != last.pixel(x, y);
        changed += differ > 0.02 * now.width() * now.height();
        last = now.isNull() ? last : now;
    }
    QVERIFY2(changed <= 1, qPrintable(QString("%1 grabs changed").arg(changed)));
    QCOMPARE(s.log().count("LumoraGUI::showError"), 1);
    QCOMPARE(s.log().count("balloon dropped"), 1);
}

void TestCameraEndToEnd::unusableCameraRetriesQuietly_data()
{
    QTest::addColumn<QString>("camera");  // a variable of the fake webcam
    QTest::addColumn<QString>("status");
    QTest::newRow("busy") << "FAKEWEBCAM_BUSY=1" << "Error: camera is used by other software.";
    QTest::newRow("unplugged") << "FAKEWEBCAM_UNPLUG_AFTER=25" << "Error: camera is not connected.";
}

// The camera-test page on a camera that stays unusable retries every 2 s:
// over 40 s the log grows by at most 100 bytes a second. Back on the main
// page, the status line tells why the camera cannot be used.
void TestCameraEndToEnd::unusableCameraRetriesQuietly()
{
    QFETCH(QString, camera);
    QFETCH(QString, status);
    CameraProgram s;
    QVERIFY(startOnCameraTestPage(s, "yuyv", QSize(), {{camera.section('=', 0, 0), camera.section('=', 1)}}));
    QVERIFY(s.waitForLog("LumoraGUI::showError", 15000) >= 0);
    s.idle(5000);
    const qint64 before = s.logFileBytes();
    s.idle(40000);
    const qint64 grown = s.logFileBytes() - before;
    qInfo() << grown << "bytes in 40 s";
    QVERIFY2(grown <= 4000, qPrintable(QString("%1 bytes in 40 s: %2").arg(grown).arg(s.log().right(3000))));

    QVERIFY(s.click(s.titleBarIcons().first().center()));
    const double mismatch = statusLineMismatch(s, status);
    QVERIFY2(mismatch < kSameText, qPrintable(QString("status line differs from \"%1\" by %2").arg(status).arg(mismatch)));
    // The log says what the status line says.
    const QString logged = s.log().section("LumoraGUI::showError", -1).section('\n', 0, 0);
    QVERIFY2(logged.contains(status), qPrintable(logged));
}

void TestCameraEndToEnd::previewBoxKeepsItsShadow_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QVector<int>>("strip");
    // Grabbed from the program whose boxes had Qt's own drop-shadow effect.
    const auto white = [](int n) { return QVector<int>(n, 255); };
    QTest::newRow("scale 1") << "1"
                             << "1280x1024" << white(49) + QVector<int>{173, 202, 232, 248, 252, 254} + white(3);
    QTest::newRow("scale 1.5") << "1.5"
                               << "2560x1920"
                               << white(73) + QVector<int>{144, 173, 202, 232, 248, 252, 254} + white(6);
}

// The grey levels right of the live picture up to the window's edge, each
// the mean over the picture's rows: the box's white inside, the drop shadow
// along its right edge, the page's white margin.
void TestCameraEndToEnd::previewBoxKeepsItsShadow()
{
    QFETCH(QString, scale);
    QFETCH(QString, screen);
    QFETCH(QVector<int>, strip);
    CameraProgram s;
    QVERIFY(startOnCameraTestPage(s, "mjpeg", QSize(), {{"QT_SCALE_FACTOR", scale}}, screen));
    // The box's own last column, just before the shadow's darkest one, may
    // blend with the shadow under it where the scale puts its edge between
    // two pixels.
    const int edge = int(std::min_element(strip.begin(), strip.end()) - strip.begin()) - 1;
    QVector<int> seen;
    const bool same = QTest::qWaitFor(
        [&] {
            const QImage image = s.grab();
            const QRect preview = previewArea(image, CameraProgram::titleBar(image).bottom() + 70);
            if (preview.width() < 300)
                return false;
            // Up to the window's right edge, which the picture's edge at a
            // fractional scale may not keep its distance to.
            seen.clear();
            for (int x = qMax(preview.right() + 1, image.width() - strip.size()); x < image.width(); ++x) {
                int sum = 0;
                for (int y = preview.top(); y <= preview.bottom(); ++y)
                    sum += qGray(image.pixel(x, y));
                seen << qRound(double(sum) / preview.height());
            }
            if (seen.size() != strip.size())
                return false;
            for (int i = 0; i < seen.size(); ++i)
                if (i != edge && qAbs(seen[i] - strip[i]) > 2)
                    return false;
            return true;
        },
        15000);
    QVERIFY2(same, qPrintable(QString("beside the picture %1, want %2").arg(greyText(seen), greyText(strip))));
}

QTEST_MAIN(TestCameraEndToEnd)
#include "tst_cameraendtoend.moc"
