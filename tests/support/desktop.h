#pragma once
// The real program on a desktop of the test's own: an X server with a real
// tray (trayer) and/or a window manager (openbox), a private session bus,
// driven with xdotool and checked on the screen's pixels. A test that
// includes it defines LUMORA_EXE (the program to run) and links
// lumora_testsupport, Qt5::Gui and PkgConfig::XCB.

#ifndef LUMORA_EXE
#error "LUMORA_EXE names the program the desktop runs"
#endif

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QSettings>
#include <QtTest>
#include <memory>
#include <signal.h>
#include <xcb/xcb.h>

#include "tests/support/sessionservers.h"
#include "tests/support/trivialmodel.h"

// The crossed-out camera and the error icon share the warning orange.
enum class Look { Normal, Grey, Orange, Unknown };

class Desktop
{
public:
    bool start(const QString& dir, const QString& screen = QStringLiteral("1280x1024"))
    {
        if (!x.start(screen + "x24") || !bus.start(dir))
            return false;
        env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromLatin1(x.display()));
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        env.insert("QT_QPA_PLATFORM", "xcb");
        return true;
    }
    ~Desktop()
    {
        for (QProcess* p : helpers) {
            p->kill();
            p->waitForFinished(3000);
            delete p;
        }
        if (conn)
            xcb_disconnect(conn);
    }
    bool startHelper(const QString& program, const QStringList& args)
    {
        auto* p = new QProcess;
        p->setProcessEnvironment(env);
        p->start(program, args);
        helpers << p;
        return p->waitForStarted(5000);
    }
    // trayer at an edge of the screen (the top right corner unless told),
    // once its panel is mapped.
    bool startTray(const QString& edge = QStringLiteral("top"), const QString& align = QStringLiteral("right"))
    {
        if (!startHelper("trayer", {"--edge", edge, "--align", align, "--widthtype", "pixel", "--width", "100",
                                    "--heighttype", "pixel", "--height", "24"}))
            return false;
        QElapsedTimer t;
        t.start();
        while (xdotool({"search", "--name", "^panel$"}).isEmpty() && t.elapsed() < 10000)
            QTest::qWait(100);
        return !xdotool({"search", "--name", "^panel$"}).isEmpty();
    }
    // openbox, once it manages the screen.
    bool startWindowManager()
    {
        return startHelper("openbox", {}) && x.waitForWindowManager();
    }
    QStringList xdotool(const QStringList& args) const
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start("xdotool", args);
        p.waitForFinished(10000);
        return QString::fromLatin1(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }
    QRect geometry(const QString& window) const
    {
        QMap<QString, int> v;
        for (const QString& line : xdotool({"getwindowgeometry", "--shell", window}))
            v.insert(line.section('=', 0, 0), line.section('=', 1).toInt());
        return QRect(v.value("X"), v.value("Y"), v.value("WIDTH"), v.value("HEIGHT"));
    }
    QStringList visibleLumoraWindows() const { return xdotool({"search", "--onlyvisible", "--classname", "lumora"}); }
    QString visibleMainWindow() const
    {
        const QStringList w = xdotool({"search", "--onlyvisible", "--name", "^lumora$"});
        return w.isEmpty() ? QString() : w.first();
    }
    // A visible dialog window of the program (a box, the downloader) with
    // this title; the tray's balloons are not dialogs.
    QString visibleDialog(const QString& title) const
    {
        for (const QString& w : visibleLumoraWindows())
            if (xdotool({"getwindowname", w}).value(0) == title
                && x.run("sh", {"-c", "xprop -id " + w + " _NET_WM_WINDOW_TYPE | grep -q _DIALOG"}))
                return w;
        return QString();
    }
    // A dialog with this title seen on two looks in a row: one look can
    // miss a window that is being mapped or managed, and a check repeated
    // at once must not see it vanish. Empty when none settles within ms.
    QString settledDialog(const QString& title, int ms) const
    {
        return settled([&] { return visibleDialog(title); }, ms);
    }
    // Presses keys in a window as its user would, once it has the focus.
    void keys(const QString& window, const QStringList& keys)
    {
        xdotool(QStringList{"windowactivate", "--sync", window, "key", "--clearmodifiers"} + keys);
    }
    QString trayIcon() const
    {
        for (const QString& w : visibleLumoraWindows())
            if (geometry(w).width() <= 48 && geometry(w).height() <= 48)
                return w;
        return QString();
    }
    // The tray icon once the tray has embedded it: the same small window
    // seen on two looks in a row (while being embedded it is briefly
    // unmapped). Empty when none settles within ms.
    QString settledTrayIcon(int ms = 10000) const
    {
        return settled([this] { return trayIcon(); }, ms);
    }
    // The window a look finds, once two looks in a row find the same one;
    // empty when none settles within ms.
    template <typename Look>
    static QString settled(Look look, int ms)
    {
        QElapsedTimer t;
        t.start();
        QString last;
        while (t.elapsed() < ms) {
            const QString now = look();
            if (!now.isEmpty() && now == last)
                return now;
            last = now;
            QTest::qWait(100);
        }
        return QString();
    }
    void click(const QPoint& at, int button)
    {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", QString::number(button)});
    }
    // The open tray menu: a lumora window that is neither the icon, the main
    // window nor the (wider) tray balloon.
    QString visibleMenu(const QString& icon) const
    {
        for (const QString& w : visibleLumoraWindows()) {
            const QRect g = geometry(w);
            if (w != icon && w != visibleMainWindow() && g.height() > 40 && g.width() < 400)
                return w;
        }
        return QString();
    }
    // Opens the icon's menu and returns its height; the menu stays open.
    int openMenu(const QString& icon)
    {
        QElapsedTimer t;
        t.start();
        while (!visibleMenu(icon).isEmpty() && t.elapsed() < 3000)
            QTest::qWait(100);
        // A menu that has just closed may let the pointer go a moment later
        // and miss a click: try again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            QTest::qWait(300);
            click(geometry(icon).center(), 3);
            t.restart();
            while (t.elapsed() < 2000) {
                const QString menu = visibleMenu(icon);
                if (!menu.isEmpty())
                    return geometry(menu).height();
                QTest::qWait(100);
            }
        }
        for (const QString& w : visibleLumoraWindows())
            qWarning() << "visible" << w << geometry(w) << "icon" << icon << geometry(icon);
        return -1;
    }
    int menuHeight(const QString& icon)
    {
        const int h = openMenu(icon);
        xdotool({"key", "Escape"});
        QTest::qWait(300);
        return h;
    }
    // Picks a menu entry with the keyboard: Down n times (or Up for the last).
    void chooseFromMenu(const QString& icon, int n)
    {
        openMenu(icon);
        QStringList keys{"key"};
        for (int i = 0; i < qAbs(n); ++i)
            keys << (n > 0 ? "Down" : "Up");
        keys << "Return";
        xdotool(keys);
    }
    // A window's pixels as they are on the screen; null when it is gone.
    QImage grab(const QString& window)
    {
        if (window.isEmpty())
            return {};
        if (!conn)
            conn = xcb_connect(x.display().constData(), nullptr);
        const xcb_window_t id = window.toUInt();
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> g(
            xcb_get_geometry_reply(conn, xcb_get_geometry(conn, id), nullptr), &free);
        if (!g)
            return {};
        std::unique_ptr<xcb_get_image_reply_t, decltype(&free)> img(
            xcb_get_image_reply(
                conn, xcb_get_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, id, 0, 0, g->width, g->height, ~0u), nullptr),
            &free);
        if (!img || xcb_get_image_data_length(img.get()) < g->width * g->height * 4)
            return {};
        return QImage(xcb_get_image_data(img.get()), g->width, g->height, QImage::Format_RGB32).copy();
    }
    // The tray icon's look from its pixels: the accent green, the warning
    // orange of the crossed-out camera, or neither (the grey icon).
    Look look(const QString& icon)
    {
        const QImage image = grab(icon);
        if (image.isNull())
            return Look::Unknown;
        int green = 0, orange = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                const int r = qRed(c), gr = qGreen(c), b = qBlue(c);
                green += (gr > 150 && gr > r + 30 && gr > b + 80);
                orange += (r > 170 && gr > 60 && gr < 130 && b < 60);
            }
        return green > 10 ? Look::Normal : orange > 5 ? Look::Orange : Look::Grey;
    }

    PrivateXServer x;
    PrivateBus bus;
    QProcessEnvironment env;
    QList<QProcess*> helpers;
    xcb_connection_t* conn = nullptr;
};

class Program
{
public:
    explicit Program(const QString& dir, bool startAtLogin = false, bool withModel = true) : m_dir(dir)
    {
        QDir().mkpath(dir + "/bin");
        QFile::copy(LUMORA_EXE, dir + "/bin/lumora");
        if (withModel)
            writeTrivialLandmarkModel(dir + "/bin/data.dat");
        QSettings conf(dir + "/config/Harnwick/lumora.conf", QSettings::IniFormat);
        // A listed window title pauses camera use; no autostart entry.
        conf.setValue("G/WTE", true);
        conf.setValue("G/WTEL", "zzqtitle");
        conf.setValue("G/WS", startAtLogin);
    }
    QString path() const { return m_dir + "/bin/lumora"; }
    QProcessEnvironment environment(const QProcessEnvironment& desktop) const
    {
        QProcessEnvironment env = desktop;
        env.insert("HOME", m_dir + "/home");
        env.insert("XDG_CONFIG_HOME", m_dir + "/config");
        env.insert("XDG_RUNTIME_DIR", m_dir + "/run");
        QDir().mkpath(m_dir + "/run");
        QFile::setPermissions(m_dir + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return env;
    }
    QProcess* start(const QProcessEnvironment& desktop, const QStringList& args)
    {
        return launch(path(), args, desktop);
    }
    // Started in a mount namespace of its own whose system certificate
    // folder holds the test authority alone: the program trusts the test's
    // servers as it trusts real ones, with nothing set in the program.
    QProcess* startTrusting(const QString& caDir, const QProcessEnvironment& desktop, const QStringList& args)
    {
        return launch("unshare",
                      QStringList{"-m", "sh", "-c", "mount --bind \"$0\" /etc/ssl/certs && exec \"$@\"", caDir,
                                  path()} + args,
                      desktop);
    }
    // A setting in group "G" of the program's store, before it starts.
    void set(const QString& key, const QVariant& value) const
    {
        QSettings(m_dir + "/config/Harnwick/lumora.conf", QSettings::IniFormat).setValue("G/" + key, value);
    }
    // Waits until the start-up chain has reached the window's init(); what
    // the program wrote so far is added to out.
    static bool waitForInit(QProcess* p, QString* seen = nullptr)
    {
        QString own;
        QString& out = seen ? *seen : own;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30000 && p->state() == QProcess::Running) {
            p->waitForReadyRead(100);
            out += QString::fromLocal8Bit(p->readAll());
            if (out.contains("load settings finished"))
                return true;
        }
        qWarning().noquote() << p->errorString() << out.right(3000);
        return false;
    }
    ~Program()
    {
        for (QProcess* p : m_processes) {
            if (p->state() != QProcess::NotRunning) {
                ::kill(pid_t(p->processId()), SIGTERM);
                if (!p->waitForFinished(10000))
                    p->kill();
                p->waitForFinished(3000);
            }
            delete p;
        }
    }

private:
    QProcess* launch(const QString& program, const QStringList& args, const QProcessEnvironment& desktop)
    {
        auto* p = new QProcess;
        p->setProcessEnvironment(environment(desktop));
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(program, args);
        p->waitForStarted(10000);
        m_processes << p;
        return p;
    }

    QString m_dir;
    QList<QProcess*> m_processes;
};
