#pragma once
// The real program on a desktop of the test's own: an X server of a given
// size with openbox and trayer and a private session bus; the program copied
// beside a landmark model, with its own home, settings and data, its log and
// its CPU time read from /proc; its windows found, grabbed and clicked as a
// user sees them (xdotool and the X server's own pixels).

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSettings>
#include <QtTest>
#include <memory>
#include <signal.h>
#include <xcb/xcb.h>

#include "tests/support/sessionservers.h"
#include "tests/support/trivialmodel.h"

class RealDesktop
{
public:
    // Xvfb with a screen of this size ("1366x768"), openbox managing it and
    // trayer at its bottom right corner (clear of the windows' title bars,
    // which the program places at the top); false when one does not come up.
    bool start(const QString& dir, const QString& screen)
    {
        if (!m_x.start(screen + "x24") || !m_bus.start(dir))
            return false;
        m_size = QSize(screen.section('x', 0, 0).toInt(), screen.section('x', 1, 1).toInt());
        env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromLatin1(m_x.display()));
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_bus.address());
        env.insert("QT_QPA_PLATFORM", "xcb");
        if (!startHelper("openbox", {}) || !waitFor([this] {
                return m_x.run("sh", {"-c", "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window"});
            }))
            return false;
        return startHelper("trayer", {"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "100",
                                      "--heighttype", "pixel", "--height", "24"})
               && waitFor([this] { return !xdotool({"search", "--name", "^panel$"}).isEmpty(); });
    }
    ~RealDesktop()
    {
        for (auto& p : m_helpers) {
            p->kill();
            p->waitForFinished(3000);
        }
        if (m_conn)
            xcb_disconnect(m_conn);
    }

    QStringList xdotool(const QStringList& args) const { return m_x.output("xdotool", args); }
    QRect geometry(const QString& window) const { return m_x.geometry(window); }
    // The program's visible windows, largest first (the tray icon last).
    QStringList windows() const
    {
        QStringList found = xdotool({"search", "--onlyvisible", "--classname", "lumora"});
        std::stable_sort(found.begin(), found.end(), [this](const QString& a, const QString& b) {
            const QSize sa = geometry(a).size(), sb = geometry(b).size();
            return sa.width() * sa.height() > sb.width() * sb.height();
        });
        return found;
    }
    // The largest, once one wider than the tray's icons is shown; empty
    // when none comes.
    QString mainWindow() const
    {
        QString found;
        return waitFor([&] {
            found = windows().value(0);
            return geometry(found).width() > 200;
        }) ? found : QString();
    }

    // What the screen shows in this rectangle (screen pixels; black where
    // it passes the screen's edge).
    QImage grab(const QRect& r)
    {
        if (!m_conn)
            m_conn = xcb_connect(m_x.display().constData(), nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
        const QRect part = r & QRect(QPoint(0, 0), m_size);
        QImage image(r.size(), QImage::Format_RGB32);
        image.fill(Qt::black);
        xcb_get_image_reply_t* reply = part.isEmpty() ? nullptr : xcb_get_image_reply(
            m_conn,
            xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(part.x()), int16_t(part.y()),
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

    // Clicks there, then rests the pointer in the screen's bottom left
    // corner (away from the title bars and the tray: no hover look there, no
    // tooltip).
    void click(const QPoint& at)
    {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1", "mousemove", "0",
                 QString::number(m_size.height() - 1)});
    }
    // Clicks a mark of the window's title bar (see titleBarMarks; counted
    // from the right where negative) once it is drawn; false where it has
    // not that many.
    bool clickTitleBar(const QString& window, int mark)
    {
        QRect frame;
        QVector<QPoint> marks;
        const auto index = [&] { return mark >= 0 ? mark : marks.size() + mark; };
        if (!waitFor([&] {
                frame = geometry(window);
                marks = titleBarMarks(grab(frame));
                return index() >= 0 && index() < marks.size();
            }, 5000))
            return false;
        click(frame.topLeft() + marks.at(index()));
        return true;
    }
    QSize size() const { return m_size; }

    // The centres of the title bar's icons and letters in a window's grab,
    // left to right (in the grab's pixels): runs of columns that are not
    // wholly the bar's green. The page buttons come first and the about and
    // hide buttons last.
    static QVector<QPoint> titleBarMarks(const QImage& window)
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
        // The bar ends where its top row stops being green (a window may
        // pass the screen's edge by a pixel).
        int end = window.width();
        while (end > 0 && top < window.height() && !green(window.pixel(end - 1, top)))
            --end;
        QVector<QPoint> marks;
        const int from = top + 1, to = bottom - 1;
        int runStart = -1, lastMarked = -10;
        for (int x = 0; x <= end; ++x) {
            bool marked = false;
            for (int y = from; x < end && y < to && !marked; ++y)
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

    template <typename Check>
    static bool waitFor(Check check, int ms = 20000)
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

    QProcessEnvironment env;

private:
    bool startHelper(const QString& program, const QStringList& args)
    {
        m_helpers.push_back(std::make_unique<QProcess>());
        QProcess* p = m_helpers.back().get();
        p->setProcessEnvironment(env);
        p->start(program, args);
        return p->waitForStarted(5000);
    }

    PrivateXServer m_x;
    PrivateBus m_bus;
    std::vector<std::unique_ptr<QProcess>> m_helpers;
    xcb_connection_t* m_conn = nullptr;
    QSize m_size;
};

// The program (LUMORA_EXE) with a home, settings and data folder of its own
// under dir; stored settings and measurements are written before start().
class RealProgram
{
public:
    explicit RealProgram(const QString& dir) : m_dir(dir)
    {
        QDir().mkpath(dir + "/bin");
        QDir().mkpath(dir + "/home");
        QDir().mkpath(dir + "/data/lumora");
        QDir().mkpath(dir + "/run");
        QFile::setPermissions(dir + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::copy(LUMORA_EXE, dir + "/bin/lumora");
        writeTrivialLandmarkModel(dir + "/bin/data.dat");
        // No start-at-login entry.
        settings().setValue("G/WS", false);
    }
    ~RealProgram()
    {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_process.processId()), SIGTERM);
            if (!m_process.waitForFinished(10000))
                m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    QSettings settings() const { return QSettings(m_dir + "/config/Harnwick/lumora.conf", QSettings::IniFormat); }
    QString statisticsFile() const { return m_dir + "/data/lumora/statistics.json"; }

    // Starts it on the desktop (with extra variables, e.g. QT_SCALE_FACTOR)
    // and waits until its start-up chain has reached the window's init().
    bool start(const QProcessEnvironment& desktop, const QMap<QString, QString>& extra = {})
    {
        QProcessEnvironment env = desktop;
        env.insert("HOME", m_dir + "/home");
        env.insert("XDG_CONFIG_HOME", m_dir + "/config");
        env.insert("XDG_DATA_HOME", m_dir + "/data");
        env.insert("XDG_RUNTIME_DIR", m_dir + "/run");
        for (auto it = extra.begin(); it != extra.end(); ++it)
            env.insert(it.key(), it.value());
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(m_dir + "/bin/lumora", QStringList());
        if (!m_process.waitForStarted(10000))
            return false;
        return RealDesktop::waitFor([this] { return log().contains("load settings finished"); }, 30000);
    }
    bool running() const { return m_process.state() == QProcess::Running; }

    // Everything the program has written to its standard output so far.
    QString log()
    {
        m_log += QString::fromLocal8Bit(m_process.readAll());
        return m_log;
    }

    // The CPU time the process (all its threads) has used, in clock ticks.
    qint64 cpuTicks() const
    {
        QFile f(QStringLiteral("/proc/%1/stat").arg(m_process.processId()));
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray stat = f.readAll();
        // Fields after the command name, which ends with the last ')'.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        return fields.value(11).toLongLong() + fields.value(12).toLongLong();
    }

private:
    QString m_dir;
    QProcess m_process;
    QString m_log;
};

// Clicks a mark of the program's main window's title bar and waits for the
// log line of the button clicked.
inline bool clickTitleBarButton(RealDesktop& desk, RealProgram& lumora, int mark, const QString& logged)
{
    const int before = lumora.log().count(logged);
    return desk.clickTitleBar(desk.mainWindow(), mark)
           && RealDesktop::waitFor([&] { return lumora.log().count(logged) > before; }, 5000);
}
