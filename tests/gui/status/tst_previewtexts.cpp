// The real program's camera test on a scaled desktop with openbox and
// trayer and no camera: the engine's status text is drawn whole inside the
// preview, in each language, as the screen shows it.

#include <QtTest>

#include "tests/support/desktopwindows.h"

using namespace desktopwindows;

namespace {

bool isBlack(QRgb c)
{
    return qRed(c) < 16 && qGreen(c) < 16 && qBlue(c) < 16;
}

// The engine's text colour, RGB(0, 202, 255), also where antialiased.
bool isInk(QRgb c)
{
    return qBlue(c) > 90 && qBlue(c) > qRed(c) + 60;
}

// The bounding box of the runs of at least `run` pixels in a row of a grab
// that pass the test.
template <typename Test>
QRect boxOf(const QImage& image, const QRect& within, Test test, int run = 1)
{
    QRect box;
    for (int y = within.top(); y <= within.bottom(); ++y) {
        for (int x = within.left(); x <= within.right();) {
            int end = x;
            while (end <= within.right() && test(image.pixel(end, y)))
                ++end;
            if (end - x >= run)
                box |= QRect(x, y, end - x, 1);
            x = end + 1;
        }
    }
    return box;
}

QString text(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

}  // namespace

class TestPreviewTexts : public QObject
{
    Q_OBJECT

private slots:
    void statusTextInsidePreview_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "en_US";
        QTest::newRow("German") << "de_DE";
    }

    void statusTextInsidePreview()
    {
        QFETCH(QString, language);
        QTemporaryDir dir;
        Desktop desk;
        QVERIFY(startDesktop(desk, dir.path(), "1920x1080"));
        Program lumora(dir.path());
        lumora.set("QT_locale_name", language);
        QProcess* program = startProgram(lumora, desk, dir.path() + "/data", {{"QT_SCALE_FACTOR", "1.5"}});
        Log log(program);
        QVERIFY(Program::waitForInit(program, log.seen()));

        // Settings, then the camera test, through the title bar.
        QVERIFY(clickTitleBarButton(desk, log, 0, "titleBarSettings_clicked"));
        QVERIFY(clickTitleBarButton(desk, log, 1, "titleBarWebcam_clicked"));

        // The preview is the black picture (rows of black wider than any
        // letter); once the engine's status image has come, its text is
        // drawn in it away from its edges.
        QRect preview;
        QRect ink;
        QImage shot;
        const bool drawn = waitFor([&] {
            shot = grab(desk, desk.geometry(largestWindow(desk)));
            preview = boxOf(shot, shot.rect(), isBlack, 200);
            ink = preview.isValid() ? boxOf(shot, preview, isInk) : QRect();
            return preview.width() > 300 && ink.width() > 50;
        }, 15000);
        QVERIFY2(drawn, qPrintable(text(preview) + " ink " + text(ink)));
        qInfo().noquote() << "ink" << text(ink) << "in the preview" << text(preview);
        const QRect inside = preview.adjusted(2, 2, -2, -2);
        QVERIFY2(inside.contains(ink), qPrintable("ink " + text(ink) + " in the preview " + text(preview)));
    }
};

QTEST_GUILESS_MAIN(TestPreviewTexts)
#include "tst_previewtexts.moc"
