#pragma once
// The real program's windows on a Desktop (desktop.h) as its user sees them:
// the largest one, the screen's pixels, the title bar's buttons found on
// them and clicked, the program's log as it grows and its CPU time from
// /proc. A test that includes it also links Qt5::Gui.

#include <QImage>
#include <QPainter>
#include <QVector>

#include "tests/support/desktop.h"
#include "tests/support/procstat.h"

namespace desktopwindows {

template <typename Check>
bool waitFor(Check check, int ms = 20000)
{
    QElapsedTimer t;
    t.start();
    while (!check()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(100);
    }
    return true;
}

// The size of the desktop's screen.
inline QSize screenSize(Desktop& desk)
{
    if (!desk.conn)
        desk.conn = xcb_connect(desk.x.display().constData(), nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(desk.conn)).data;
    return QSize(screen->width_in_pixels, screen->height_in_pixels);
}

// What the screen shows in this rectangle (black where it passes the
// screen's edge).
inline QImage grab(Desktop& desk, const QRect& r)
{
    const QRect part = r & QRect(QPoint(0, 0), screenSize(desk));
    QImage image(r.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(desk.conn)).data->root;
    xcb_get_image_reply_t* reply =
        part.isEmpty() ? nullptr
                       : xcb_get_image_reply(desk.conn,
                                             xcb_get_image(desk.conn, XCB_IMAGE_FORMAT_Z_PIXMAP, root,
                                                           int16_t(part.x()), int16_t(part.y()),
                                                           uint16_t(part.width()), uint16_t(part.height()), ~0u),
                                             nullptr);
    if (!reply)
        return image;
    const QImage view(xcb_get_image_data(reply), part.width(), part.height(), part.width() * 4,
                      QImage::Format_RGB32);
    QPainter(&image).drawImage(part.topLeft() - r.topLeft(), view);
    free(reply);
    return image;
}

// The program's largest visible window (the main window, whatever its
// page's title), once one wider than the tray's icons is shown; empty when
// none comes.
inline QString largestWindow(const Desktop& desk)
{
    QString found;
    return waitFor([&] {
               int area = 0;
               for (const QString& w : desk.visibleLumoraWindows()) {
                   const QRect g = desk.geometry(w);
                   if (g.width() * g.height() > area) {
                       area = g.width() * g.height();
                       found = w;
                   }
               }
               return desk.geometry(found).width() > 200;
           })
               ? found
               : QString();
}

// The centres of the title bar's icons and letters in a window's grab, left
// to right: runs of columns that are not wholly the bar's green. The page
// buttons come first and the window's own buttons last.
inline QVector<QPoint> titleBarMarks(const QImage& window)
{
    const auto green = [](QRgb c) {
        return qAbs(qRed(c) - 0x98) < 24 && qAbs(qGreen(c) - 0xc8) < 24 && qBlue(c) < 40;
    };
    int top = 0;
    while (top < window.height() && !green(window.pixel(1, top)))
        ++top;
    int bottom = top;
    while (bottom < window.height() && green(window.pixel(1, bottom)))
        ++bottom;
    // The bar ends where its top row stops being green (a window may pass
    // the screen's edge by a pixel).
    int end = window.width();
    while (end > 0 && top < window.height() && !green(window.pixel(end - 1, top)))
        --end;
    QVector<QPoint> marks;
    int runStart = -1;
    int lastMarked = -10;
    for (int x = 0; x <= end; ++x) {
        bool marked = false;
        for (int y = top + 1; x < end && y < bottom - 1 && !marked; ++y)
            marked = !green(window.pixel(x, y));
        if (marked && x - lastMarked > 3) {
            if (runStart >= 0)
                marks << QPoint((runStart + lastMarked) / 2, (top + bottom) / 2);
            runStart = x;
        }
        if (marked)
            lastMarked = x;
    }
    if (runStart >= 0)
        marks << QPoint((runStart + lastMarked) / 2, (top + bottom) / 2);
    return marks;
}

// Clicks there, then rests the pointer in the screen's bottom left corner,
// away from the title bars and the tray (no hover look there, no tooltip).
inline void clickAndRest(Desktop& desk, const QPoint& at)
{
    desk.xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1", "mousemove", "0",
                  QString::number(screenSize(desk).height() - 1)});
}

// Clicks a mark of the window's title bar (counted from the right where
// negative) once it is drawn; false where it has not that many.
inline bool clickTitleBar(Desktop& desk, const QString& window, int mark)
{
    QRect frame;
    QVector<QPoint> marks;
    const auto index = [&] { return mark >= 0 ? mark : marks.size() + mark; };
    if (!waitFor(
            [&] {
                frame = desk.geometry(window);
                marks = titleBarMarks(grab(desk, frame));
                return index() >= 0 && index() < marks.size();
            },
            5000))
        return false;
    clickAndRest(desk, frame.topLeft() + marks.at(index()));
    return true;
}

// The program's log: what it has written to its output so far.
class Log
{
public:
    explicit Log(QProcess* program) : m_program(program) {}
    QString text()
    {
        m_text += QString::fromLocal8Bit(m_program->readAll());
        return m_text;
    }
    QString* seen() { return &m_text; }

private:
    QProcess* m_program;
    QString m_text;
};

// Clicks a mark of the main window's title bar and waits for the log line
// of the button clicked.
inline bool clickTitleBarButton(Desktop& desk, Log& log, int mark, const QString& logged)
{
    const int before = log.text().count(logged);
    return clickTitleBar(desk, largestWindow(desk), mark)
           && waitFor([&] { return log.text().count(logged) > before; }, 5000);
}

// The CPU time a process (all its threads) has used, in clock ticks.
inline qint64 cpuTicks(qint64 pid)
{
    const QList<QByteArray> f = procStatFields(pid);
    return f.size() > 15 ? f[13].toLongLong() + f[14].toLongLong() : -1;
}

// The desktop for these tests: a screen of this size ("1366x768"), openbox,
// and trayer at the bottom right (clear of the title bars, which the program
// places at the top).
inline bool startDesktop(Desktop& desk, const QString& dir, const QString& screen)
{
    return desk.start(dir, screen) && desk.startWindowManager() && desk.startTray("bottom", "right");
}

// The program with its own data folder (statistics.json there) and the
// settings given, on the desktop with the extra variables; its log once
// the start-up chain has reached the window's init(), else null.
inline QProcess* startProgram(Program& lumora, const Desktop& desk, const QString& dataDir,
                              const QMap<QString, QString>& extra = {})
{
    QDir().mkpath(dataDir + "/lumora");
    QProcessEnvironment env = desk.env;
    env.insert("XDG_DATA_HOME", dataDir);
    for (auto it = extra.begin(); it != extra.end(); ++it)
        env.insert(it.key(), it.value());
    // No window-title scan: nothing but the page may work.
    lumora.set("WTE", false);
    return lumora.start(env, {});
}

}  // namespace desktopwindows
