#pragma once
// The real program with the fake webcam (libfakewebcam.so) preloaded, on a
// desktop of its own (desktop.h: an X server and a session bus, no tray or
// window manager): started with chosen settings, its log read as it runs,
// its main window grabbed and clicked as a user would (the title bar's
// buttons lead to its pages), its measurements read from "statistics.json"
// and its CPU time from /proc; at its end the fake webcam's close lines are
// printed for a reader of the output. A test that includes it links
// lumora_cameraprogram (which defines LUMORA_EXE for desktop.h).

#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>

#include "tests/support/desktop.h"
#include "tests/support/fakewebcamclip.h"
#include "tests/support/procstat.h"

// The fake webcam's figures from its log: frames delivered and dropped over
// every opening, and the widest spread of the times between frames.
struct FakeWebcamFigures
{
    int delivered = 0;
    int dropped = 0;
    int opens = 0;  // every open of the device, the camera list's too
    int closes = 0;
    double intervalSdMs = 0;
    double intervalMaxMs = 0;
    double lateSdMs = 0;
    double lateMaxMs = 0;

    static FakeWebcamFigures read(const QString& logFile)
    {
        FakeWebcamFigures f;
        QFile log(logFile);
        if (!log.open(QIODevice::ReadOnly))
            return f;
        for (const QByteArray& line : log.readAll().split('\n')) {
            f.opens += line.startsWith("fakewebcam open ");
            if (!line.startsWith("fakewebcam close "))
                continue;
            ++f.closes;
            for (const QByteArray& field : line.split(' ')) {
                const int eq = field.indexOf('=');
                const QByteArray key = field.left(eq), value = field.mid(eq + 1);
                if (key == "delivered")
                    f.delivered += value.toInt();
                else if (key == "dropped")
                    f.dropped += value.toInt();
                else if (key == "interval_sd_ms")
                    f.intervalSdMs = qMax(f.intervalSdMs, value.toDouble());
                else if (key == "interval_max_ms")
                    f.intervalMaxMs = qMax(f.intervalMaxMs, value.toDouble());
                else if (key == "late_sd_ms")
                    f.lateSdMs = qMax(f.lateSdMs, value.toDouble());
                else if (key == "late_max_ms")
                    f.lateMaxMs = qMax(f.lateMaxMs, value.toDouble());
            }
        }
        return f;
    }
    QString text() const
    {
        return QStringLiteral("fake webcam: %1 frames delivered, %2 dropped, frame interval sd %3 ms, max %4 ms, "
                              "lateness sd %5 ms, max %6 ms")
            .arg(delivered)
            .arg(dropped)
            .arg(intervalSdMs, 0, 'f', 2)
            .arg(intervalMaxMs, 0, 'f', 1)
            .arg(lateSdMs, 0, 'f', 2)
            .arg(lateMaxMs, 0, 'f', 1);
    }
};

class CameraProgram
{
public:
    // dir holds the program's copy, home, settings, data and runtime
    // folders (a temporary folder of its own when none is given); the
    // program's landmark model is the one beside LUMORA_EXE.
    explicit CameraProgram(const QString& dir = QString())
        : m_ownDir(dir.isEmpty() ? std::make_unique<QTemporaryDir>() : nullptr),
          m_dir(m_ownDir ? m_ownDir->path() : dir),
          m_program(std::make_unique<Program>(m_dir, false, false))
    {
        QFile::copy(QFileInfo(QStringLiteral(LUMORA_EXE)).path() + "/data.dat", m_dir + "/bin/data.dat");
    }
    // Ends the program, then prints what the camera delivered and dropped.
    ~CameraProgram()
    {
        m_program.reset();
        QFile log(m_dir + "/fakewebcam.log");
        if (log.open(QIODevice::ReadOnly))
            for (const QByteArray& line : log.readAll().split('\n'))
                if (line.startsWith("fakewebcam close ") && !line.contains("delivered=0 dropped=0"))
                    qInfo().noquote() << line;
    }

    // A value of the user's settings (group "G"), before start().
    void setSetting(const QString& key, const QVariant& value) { m_program->set(key, value); }

    // Starts the program with the fake webcam playing clip (a file of
    // makeFakeWebcamClip) in format, and these other of its variables, on
    // a screen of this size (a window scaled up needs a larger one to lie
    // wholly on it); false when the X server, the bus or the program does
    // not come up.
    bool start(const QString& clip, const QString& format, const QMap<QString, QString>& camera = {},
               const QString& screen = QStringLiteral("1280x1024"))
    {
        if (!m_desk.start(m_dir, screen))
            return false;
        QProcessEnvironment env = m_desk.env;
        env.insert("XDG_DATA_HOME", m_dir + "/data");
        env.insert("LD_PRELOAD", fakeWebcamLibrary());
        env.insert("FAKEWEBCAM_CLIP", clip);
        env.insert("FAKEWEBCAM_FORMAT", format);
        env.insert("FAKEWEBCAM_LOG", m_dir + "/fakewebcam.log");
        for (auto it = camera.begin(); it != camera.end(); ++it)
            env.insert(it.key(), it.value());
        m_process = m_program->start(env, {});
        return running();
    }

    // The screen saver starting or stopping, as its service tells it on the
    // program's session bus.
    bool sendScreenSaverActive(bool active) const
    {
        return PrivateBus::send("--bus=" + m_desk.env.value("DBUS_SESSION_BUS_ADDRESS"),
                                "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver.ActiveChanged",
                                active ? "boolean:true" : "boolean:false");
    }

    FakeWebcamFigures webcamFigures() const { return FakeWebcamFigures::read(m_dir + "/fakewebcam.log"); }
    bool running() const { return m_process && m_process->state() == QProcess::Running; }
    qint64 pid() const { return m_process ? m_process->processId() : 0; }

    // Everything the program has written so far.
    const QString& log()
    {
        if (m_process) {
            m_process->waitForReadyRead(0);
            m_log += QString::fromLocal8Bit(m_process->readAll());
        }
        return m_log;
    }
    // Waits until one of the texts appears in the log after position
    // from; the first one's position, or -1 when none has come within ms
    // (or the program ended).
    int waitForLog(const QStringList& texts, int ms, int from = 0)
    {
        QElapsedTimer t;
        t.start();
        for (;;) {
            int first = -1;
            for (const QString& text : texts) {
                const int at = log().indexOf(text, from);
                if (at >= 0 && (first < 0 || at < first))
                    first = at;
            }
            if (first >= 0 || t.elapsed() > ms || !running())
                return first;
            m_process->waitForReadyRead(100);
        }
    }
    int waitForLog(const QString& text, int ms, int from = 0) { return waitForLog(QStringList{text}, ms, from); }
    // Reads the log for ms, so that the program's output never stalls.
    void idle(int ms) { waitForLog(QStringLiteral("\x01never"), ms); }
    // The settings are loaded: the start-up chain has run to its end.
    bool waitForInit() { return running() && Program::waitForInit(m_process, &m_log); }
    // The main window is on the screen (within ms).
    bool waitForWindow(int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (m_desk.visibleMainWindow().isEmpty()) {
            if (t.elapsed() > ms || !running())
                return false;
            idle(100);
        }
        return true;
    }

    // The measurements stored, oldest first.
    QJsonArray records() const
    {
        QFile f(m_dir + "/data/lumora/statistics.json");
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(f.readAll()).object().value("data").toArray();
    }

    // The bytes of all the program's log files.
    qint64 logFileBytes() const
    {
        qint64 bytes = 0;
        for (const QFileInfo& file : QDir(m_dir + "/data/lumora/logs").entryInfoList({"Log_*"}, QDir::Files))
            bytes += file.size();
        return bytes;
    }

    // CPU time of the whole process, all its threads, in seconds.
    double cpuSeconds() const { return processCpuSeconds(pid()); }

    // The main window's pixels as they are on the screen.
    QImage grab() { return m_desk.grab(m_desk.visibleMainWindow()); }
    // A left click at a point of the main window; then the pointer leaves
    // it, so that no hover colour stays on later grabs.
    bool click(const QPoint& at)
    {
        const QString window = m_desk.visibleMainWindow();
        if (window.isEmpty())
            return false;
        m_desk.click(m_desk.geometry(window).topLeft() + at, 1);
        m_desk.xdotool({"mousemove", "0", "0"});
        return true;
    }

    // Whether the window shows live video: it changes from one look to the
    // next, twice in a row (a picture replaced once does not count).
    bool showsLiveVideo()
    {
        QImage look[3];
        for (QImage& image : look)
            image = (idle(300), grab());
        return look[0] != look[1] && look[1] != look[2];
    }

    // The accent green of the title bar (and of the preview's face box).
    static inline const QColor kAccent{152, 200, 0};
    // Whether a pixel is within tolerance of a colour in each channel.
    static bool near(QRgb c, const QColor& want, int tolerance = 24)
    {
        return qAbs(qRed(c) - want.red()) <= tolerance && qAbs(qGreen(c) - want.green()) <= tolerance
               && qAbs(qBlue(c) - want.blue()) <= tolerance;
    }
    // The green band at the window's top on a grab.
    static QRect titleBar(const QImage& image)
    {
        int top = -1;
        for (int y = 0; y < image.height(); ++y) {
            // Between the icons and the title on both sides.
            const bool band = near(image.pixel(image.width() / 5, y), kAccent, 6)
                              || near(image.pixel(4 * image.width() / 5, y), kAccent, 6);
            if (band && top < 0)
                top = y;
            if (!band && top >= 0)
                return QRect(0, top, image.width(), y - top);
        }
        return QRect();
    }
    // The title bar's buttons are white icons on its green band, left to
    // right; the title text lies in the middle, apart from them.
    QVector<QRect> titleBarIcons()
    {
        const QImage image = grab();
        const QRect band = titleBar(image);
        QVector<QRect> icons;
        for (int x = 0; x < image.width() / 4 && !band.isEmpty(); ++x) {
            bool white = false;
            for (int y = band.top(); y <= band.bottom() && !white; ++y)
                white = qGray(image.pixel(x, y)) > 235;
            if (white && (icons.isEmpty() || x > icons.last().right() + 1))
                icons << QRect(x, band.top(), 1, band.height());
            else if (white)
                icons.last().setRight(x);
        }
        return icons;
    }
    // Settings, then the camera test (second icon on the settings page),
    // until its live preview starts.
    bool openCameraTestPage()
    {
        QVector<QRect> icons = titleBarIcons();
        if (icons.isEmpty())
            return false;
        click(icons.first().center());
        if (!QTest::qWaitFor([&] { return (icons = titleBarIcons()).size() >= 2; }, 5000))
            return false;
        click(icons.at(1).center());
        return waitForLog(QStringLiteral("Model: startLivePreview()"), 10000) >= 0;
    }

    // The status page's first-measurement button on a grab: the lowest line
    // of accent-green text in the window's lower half (the title bar, the
    // switches at the left edge and the other green buttons lie higher).
    // A null point when it is not shown.
    static QPoint firstMeasurementButton(const QImage& grab)
    {
        int top = -1, bottom = -1, left = grab.width(), right = -1;
        for (int y = grab.height() - 1; y >= grab.height() / 2; --y) {
            int n = 0, l = grab.width(), r = -1;
            for (int x = 60; x < grab.width(); ++x) {
                const QRgb c = grab.pixel(x, y);
                if (qGreen(c) > 170 && qGreen(c) > qRed(c) + 15 && qGreen(c) > qBlue(c) + 90) {
                    ++n;
                    l = qMin(l, x);
                    r = qMax(r, x);
                }
            }
            if (n > 0 && n < grab.width() / 2) {
                if (bottom < 0)
                    bottom = y;
                top = y;
                left = qMin(left, l);
                right = qMax(right, r);
            } else if (bottom >= 0 && top - y > 3) {
                break;
            }
        }
        return bottom < 0 ? QPoint() : QPoint((left + right) / 2, (top + bottom) / 2);
    }
    // The health graph's points on a grab: pixels of their blue.
    static int graphPointPixels(const QImage& grab)
    {
        int n = 0;
        for (int y = 0; y < grab.height(); ++y)
            for (int x = 0; x < grab.width(); ++x) {
                const QRgb c = grab.pixel(x, y);
                n += qRed(c) < 60 && qGreen(c) > 170 && qGreen(c) < 230 && qBlue(c) > 220;
            }
        return n;
    }
    // Clicks "TAKE FIRST MEASUREMENT" once the window shows it, until the
    // click shows: the message under the graph changes to "Measurement will
    // start shortly." A click on a window still being laid out can miss.
    bool takeFirstMeasurement()
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30000) {
            const QImage before = grab();
            const QPoint button = firstMeasurementButton(before);
            if (!button.isNull() && click(button)) {
                QElapsedTimer shown;
                shown.start();
                while (shown.elapsed() < 4000) {
                    idle(200);
                    if (grab() != before)
                        return true;
                }
            }
            idle(200);
        }
        return false;
    }

private:
    std::unique_ptr<QTemporaryDir> m_ownDir;
    QString m_dir;
    // The program ends before its desktop.
    Desktop m_desk;
    std::unique_ptr<Program> m_program;
    QProcess* m_process = nullptr;
    QString m_log;
};
