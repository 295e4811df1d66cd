#pragma once
// Servers of the test's own: an X server and a D-Bus daemon that only this
// test talks to, so nothing it does (screen saver, key presses, grabs, bus
// signals) reaches other tests or the machine's own buses.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QThread>

class PrivateXServer
{
public:
    // Starts Xvfb on a free display; false if it does not come up.
    bool start(const QString& screen = QStringLiteral("640x480x24"))
    {
        m_server.setProgram(QStringLiteral("Xvfb"));
        m_server.setArguments({"-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0", screen});
        m_server.start();
        if (!m_server.waitForStarted(5000))
            return false;
        while (!m_server.canReadLine() && m_server.waitForReadyRead(10000)) {
        }
        const QByteArray number = m_server.readLine().trimmed();
        if (number.isEmpty())
            return false;
        m_display = ":" + number;
        return true;
    }
    ~PrivateXServer()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(3000))
                m_server.kill();
            m_server.waitForFinished(3000);
        }
    }
    QByteArray display() const { return m_display; }

    // Runs an X client (xset, xdotool) against this server.
    bool run(const QString& program, const QStringList& args) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
        p.setProcessEnvironment(env);
        p.start(program, args);
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    // Waits until a window manager (just started) manages the screen: it
    // has set its check window on the root. A window mapped before that is
    // taken over without the focus.
    bool waitForWindowManager(int ms = 20000) const
    {
        QElapsedTimer t;
        t.start();
        while (!run("sh", {"-c", "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window"})) {
            if (t.elapsed() > ms)
                return false;
            QThread::msleep(200);
        }
        return true;
    }

private:
    QProcess m_server;
    QByteArray m_display;
};

class PrivateBus
{
public:
    // Starts a dbus-daemon listening in dir; false if it does not come up.
    bool start(const QString& dir)
    {
        const QString config = dir + "/bus.conf";
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write(QStringLiteral(
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig>\n"
            "  <type>session</type>\n"
            "  <listen>unix:path=%1/bus</listen>\n"
            "  <auth>EXTERNAL</auth>\n"
            "  <policy context=\"default\">\n"
            "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
            "    <allow eavesdrop=\"true\"/>\n"
            "    <allow own=\"*\"/>\n"
            "  </policy>\n"
            "</busconfig>\n").arg(dir).toUtf8());
        f.close();
        m_daemon.start(QStringLiteral("dbus-daemon"), {"--config-file=" + config, "--nofork", "--print-address=1"});
        if (!m_daemon.waitForStarted(5000))
            return false;
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
        }
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
        return !m_address.isEmpty();
    }
    ~PrivateBus()
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }
    QString address() const { return m_address; }

    // Sends a signal with dbus-send, as another program on the bus would.
    static bool send(const QString& bus, const QString& path, const QString& member, const QString& arg)
    {
        return QProcess::execute(QStringLiteral("dbus-send"), {bus, "--type=signal", path, member, arg}) == 0;
    }

private:
    QProcess m_daemon;
    QString m_address;
};
