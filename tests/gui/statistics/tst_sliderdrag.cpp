// The real program's history window over 3,000 stored measurements on a
// desktop with openbox and trayer: the lower handle of the range slider,
// dragged right with the pointer in equal steps, follows the pointer, so the
// lower value the window asks for only grows. The date labels beside the
// slider change with every step and must not move the slider under it.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

#include "tests/support/desktopwindows.h"

using namespace desktopwindows;

namespace {

// Three measurements a day for 1,000 days: dates of many widths.
bool writeHistory(const QString& path, int count)
{
    QJsonArray data;
    for (int i = 0; i < count; ++i) {
        QDateTime t = QDateTime(QDate(2023, 1, 1), QTime(9, 30)).addSecs(qint64(i) * 8 * 3600);
        t.setOffsetFromUtc(t.offsetFromUtc());
        data.append(QJsonObject{{"datetime", t.toString(Qt::ISODate)},
                                {"blinkrate", 6.0 + (i % 7) * 1.5},
                                {"note", QString()},
                                {"length", 150 + i % 50}});
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(QJsonDocument(QJsonObject{{"data", data}}).toJson()) > 0;
}

// The first pixel of this colour, top to bottom and left to right, or (-1, -1).
QPoint firstOf(const QImage& image, const QColor& colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return QPoint(x, y);
    return QPoint(-1, -1);
}

// The longest horizontal run of this colour that is at most `thin` pixels
// high (the slider's groove or its filled span), as a line of pixels.
QLine longestThinRun(const QImage& image, const QColor& colour, int thin)
{
    const auto is = [&](int x, int y) {
        return y >= 0 && y < image.height() && image.pixelColor(x, y) == colour;
    };
    QLine best;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width();) {
            int end = x;
            while (end < image.width() && is(end, y))
                ++end;
            const int middle = (x + end) / 2;
            if (end - x > best.dx() + 1 && !is(middle, y - thin) && !is(middle, y + thin))
                best = QLine(x, y, end - 1, y);
            x = end + 1;
        }
    }
    return best;
}

// The last span the window asked the store for, from its log line.
int lastLowerValue(const QString& log)
{
    static const QRegularExpression line(QStringLiteral("SGui: lower upper (\\d+) (\\d+)"));
    int lower = -1;
    for (auto it = line.globalMatch(log); it.hasNext();)
        lower = it.next().captured(1).toInt();
    return lower;
}

}  // namespace

class TestSliderDrag : public QObject
{
    Q_OBJECT

private slots:
    void lowerHandleFollowsPointer()
    {
        QTemporaryDir dir;
        Desktop desk;
        QVERIFY(startDesktop(desk, dir.path(), "1366x768"));
        Program lumora(dir.path());
        const QString data = dir.path() + "/data";
        QVERIFY(QDir().mkpath(data + "/lumora") && writeHistory(data + "/lumora/statistics.json", 3000));
        QProcess* program = startProgram(lumora, desk, data);
        Log log(program);
        QVERIFY(Program::waitForInit(program, log.seen()));
        const QString main = largestWindow(desk);
        QVERIFY(!main.isEmpty());

        // A click on the health graph's points opens the history window.
        QRect frame;
        QPoint point;
        QVERIFY(waitFor([&] {
            frame = desk.geometry(main);
            point = firstOf(grab(desk, frame), QColor(0, 202, 255));
            return point.x() >= 0;
        }));
        clickAndRest(desk, frame.topLeft() + point + QPoint(0, 2));
        QString history;
        QVERIFY(waitFor([&] {
            for (const QString& w : desk.visibleLumoraWindows())
                if (w != main && desk.geometry(w).width() > 300)
                    history = w;
            return !history.isEmpty() && lastLowerValue(log.text()) >= 0;
        }));
        QTest::qWait(500);

        // Maximised with its title bar's button, so the slider has room for
        // the steps.
        const QRect normal = desk.geometry(history);
        QVERIFY(clickTitleBar(desk, history, -2));
        QVERIFY(waitFor([&] { return desk.geometry(history).width() > normal.width(); }, 5000));
        QTest::qWait(500);

        // The keyboard takes the lower handle to the range's start.
        frame = desk.geometry(history);
        const QLine groove = longestThinRun(grab(desk, frame), QColor(0xd3, 0xd3, 0xd3), 4);
        QVERIFY2(groove.dx() > 300, qPrintable(QString::number(groove.dx())));
        clickAndRest(desk, frame.topLeft() + QPoint(groove.x1() + groove.dx() / 2, groove.y1()));
        desk.xdotool({"key", "Home"});
        QVERIFY(waitFor([&] { return lastLowerValue(log.text()) == 0; }, 5000));
        QTest::qWait(500);

        // The filled span now begins at the lower handle's centre: pressed
        // there and moved right in ten steps of 10 pixels.
        const QLine span = longestThinRun(grab(desk, frame), QColor(152, 200, 0), 4);
        QVERIFY2(span.dx() > 100, qPrintable(QString::number(span.dx())));
        const QPoint handle = frame.topLeft() + span.p1();
        desk.xdotool({"mousemove", QString::number(handle.x()), QString::number(handle.y()), "mousedown", "1"});
        QVector<int> lowers;
        for (int step = 1; step <= 10; ++step) {
            const int before = lastLowerValue(log.text());
            desk.xdotool({"mousemove", QString::number(handle.x() + 10 * step), QString::number(handle.y())});
            // The window logs the span it asks for, which on a busy machine
            // can take longer than a step; then the store's answer rewrites
            // the labels before the next step.
            waitFor([&] { return lastLowerValue(log.text()) != before; }, 5000);
            QTest::qWait(400);
            lowers << lastLowerValue(log.text());
        }
        desk.xdotool({"mouseup", "1"});
        QString values;
        for (int v : lowers)
            values += QString::number(v) + ' ';
        qInfo().noquote() << "lower values" << values;
        QVERIFY2(lowers.first() > 0, qPrintable(values));
        for (int i = 1; i < lowers.size(); ++i)
            QVERIFY2(lowers.at(i) > lowers.at(i - 1), qPrintable(values));
    }
};

QTEST_GUILESS_MAIN(TestSliderDrag)
#include "tst_sliderdrag.moc"
