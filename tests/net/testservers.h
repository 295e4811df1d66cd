#pragma once
// Servers of the test's own, all on loopback: a test certificate authority
// made with openssl, the maker's services (testservice.py) over HTTPS with
// its certificates, and tinyproxy with basic authentication in front of a
// relay that alone knows the services' name.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// The name under which the proxy reaches the services. The client cannot
// resolve it: Qt never sends loopback traffic through a proxy, so only a
// request that really went through tinyproxy and its relay arrives.
inline const char ServiceName[] = "lumora-service.test";

inline bool runTool(const QString& program, const QStringList& args, const QString& dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning() << program << args << p.readAll();
        return false;
    }
    return true;
}

class TestAuthority
{
public:
    // Makes the authority in dir and trusts it in this process only.
    bool create(const QString& dir)
    {
        m_dir = dir;
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        if (!runTool("openssl",
                     QStringList{"req", "-x509"} + ec
                         + QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj",
                                       "/CN=Lumora Test Authority", "-addext", "basicConstraints=critical,CA:TRUE",
                                       "-addext", "keyUsage=critical,keyCertSign,cRLSign"},
                     dir))
            return false;
        QSslConfiguration c = QSslConfiguration::defaultConfiguration();
        if (!c.addCaCertificates(dir + "/ca.pem"))
            return false;
        QSslConfiguration::setDefaultConfiguration(c);
        return true;
    }

    // A server certificate for the given subject alternative names, signed
    // by the authority, or self-signed.
    bool issue(const QString& name, const QString& altNames, bool selfSigned = false)
    {
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        if (selfSigned)
            return runTool("openssl",
                           QStringList{"req", "-x509"} + ec
                               + QStringList{"-keyout", name + ".key", "-out", name + ".pem", "-days", "2", "-subj",
                                             "/CN=" + name, "-addext", "subjectAltName=" + altNames},
                           m_dir);
        QFile ext(m_dir + "/" + name + ".ext");
        if (!ext.open(QIODevice::WriteOnly))
            return false;
        ext.write(("basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=" + altNames + "\n")
                      .toLatin1());
        ext.close();
        return runTool("openssl",
                       QStringList{"req"} + ec
                           + QStringList{"-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name},
                       m_dir)
               && runTool("openssl",
                          {"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                           "-out", name + ".pem", "-days", "2", "-extfile", name + ".ext"},
                          m_dir);
    }
    QString cert(const QString& name) const { return m_dir + "/" + name + ".pem"; }
    QString key(const QString& name) const { return m_dir + "/" + name + ".key"; }

private:
    QString m_dir;
};

class TestService
{
public:
    ~TestService()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    // tls: pairs of certificate and key, one HTTPS server each.
    bool start(const QList<QPair<QString, QString>>& tls, const QString& credential, const QString& lastDateTime)
    {
        QStringList args{QStringLiteral(LUMORA_SOURCE_DIR "/tests/net/testservice.py"), "--credential", credential,
                         "--last-datetime", lastDateTime, "--relay-name", ServiceName};
        for (const auto& p : tls)
            args << "--tls" << p.first << p.second;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("python3"), args);
        if (!m_process.waitForStarted(5000))
            return false;
        while (!m_ready && m_process.waitForReadyRead(10000))
            readLines();
        return m_ready;
    }

    quint16 httpsPort(int index) const { return m_https.value(index); }
    quint16 relayPort() const { return m_relay; }

    // The requests received so far, waiting up to 10 s for at least count.
    QList<QJsonObject> requests(int count)
    {
        QElapsedTimer t;
        t.start();
        while (m_requests.size() < count && t.elapsed() < 10000) {
            QTest::qWait(20);
            readLines();
        }
        readLines();
        return m_requests;
    }
    void clear()
    {
        readLines();
        m_requests.clear();
    }

private:
    void readLines()
    {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            const QList<QByteArray> parts = line.split(' ');
            if (line.startsWith("REQUEST "))
                m_requests << QJsonDocument::fromJson(line.mid(8)).object();
            else if (parts.value(0) == "HTTPS")
                m_https[parts.value(1).toInt()] = quint16(parts.value(2).toUInt());
            else if (parts.value(0) == "RELAY")
                m_relay = quint16(parts.value(1).toUInt());
            else if (line == "READY")
                m_ready = true;
        }
    }

    QProcess m_process;
    QHash<int, quint16> m_https;
    quint16 m_relay = 0;
    bool m_ready = false;
    QList<QJsonObject> m_requests;
};

class TestProxy
{
public:
    ~TestProxy()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    // tinyproxy on loopback, asking for user and password, forwarding
    // everything to the relay at upstreamPort.
    bool start(const QString& dir, const QString& user, const QString& password, quint16 upstreamPort)
    {
        const QString program = QStandardPaths::findExecutable("tinyproxy", {"/usr/bin", "/usr/sbin"});
        if (program.isEmpty()) {
            qWarning() << "tinyproxy is not installed (scripts/install-deps.sh installs it)";
            return false;
        }
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        QFile conf(dir + "/tinyproxy.conf");
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        conf.write(QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nLogLevel Info\n"
                                  "LogFile \"%2/tinyproxy.log\"\nMaxClients 20\nAllow 127.0.0.1\n"
                                  "BasicAuth %3 %4\nUpstream http 127.0.0.1:%5\n")
                       .arg(m_port)
                       .arg(dir, user, password)
                       .arg(upstreamPort)
                       .toLatin1());
        conf.close();
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(program, {"-d", "-c", dir + "/tinyproxy.conf"});
        if (!m_process.waitForStarted(5000))
            return false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, m_port);
            if (s.waitForConnected(500))
                return true;
            QTest::qWait(50);
        }
        return false;
    }
    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};
