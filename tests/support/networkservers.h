#pragma once
// Servers of the test's own, all on loopback: a certificate authority made
// with openssl and trusted by this process only, the maker's services
// (testservice.py) over HTTPS, the update feed and its downloads
// (updateserver.py) over HTTPS, and tinyproxy with basic authentication in
// front of a relay that alone knows the services' name.

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// The name under which the proxy reaches the services. Qt never sends
// loopback traffic through a proxy, and the client cannot resolve this
// name: only a request that went through tinyproxy and the relay arrives.
inline const char ServiceName[] = "lumora-service.test";

// In dir: ca.pem, good.pem (localhost and ServiceName), otherhost.pem (for
// another name), self.pem (self-signed for localhost), with their keys.
inline bool makeCertificates(const QString& dir)
{
    const QString script = QStringLiteral(R"(set -e
key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
openssl req -x509 $key -days 2 -keyout ca.key -out ca.pem -subj "/CN=Lumora Test Authority" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
issue() {
  printf 'basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=%s\n' "$2" > $1.ext
  openssl req $key -keyout $1.key -out $1.csr -subj /CN=$1
  openssl x509 -req -in $1.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out $1.pem -extfile $1.ext
}
issue good DNS:localhost,DNS:%1
issue otherhost DNS:other-host.test
openssl req -x509 $key -days 2 -keyout self.key -out self.pem -subj /CN=localhost -addext subjectAltName=DNS:localhost
)").arg(ServiceName);
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start("sh", {"-c", script});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return false;
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    if (!c.addCaCertificates(dir + "/ca.pem"))
        return false;
    QSslConfiguration::setDefaultConfiguration(c);
    return true;
}

// Peak resident memory of this process (VmHWM), in kB, and its reset, so
// that a measurement sees only what follows it.
inline qint64 peakResidentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

inline bool resetPeakResident()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

inline void stop(QProcess& p)
{
    p.terminate();
    if (!p.waitForFinished(3000))
        p.kill();
    p.waitForFinished(3000);
}

class TestService
{
public:
    ~TestService() { stop(m_process); }

    // One HTTPS server per certificate name of makeCertificates, in order.
    bool start(const QString& dir, const QStringList& certs, const QString& credential, const QString& lastDateTime)
    {
        QStringList args{LUMORA_SOURCE_DIR "/tests/support/testservice.py", "--credential", credential,
                         "--last-datetime", lastDateTime, "--relay-name", ServiceName};
        for (const QString& c : certs)
            args << "--tls" << dir + "/" + c + ".pem" << dir + "/" + c + ".key";
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start("python3", args);
        while (!m_ready && m_process.waitForReadyRead(10000))
            readLines();
        return m_ready;
    }
    quint16 httpsPort(int index) const { return m_https.value(index); }
    quint16 relayPort() const { return m_relay; }

    // The requests received since the last clear(), waiting up to 10 s for count.
    QList<QJsonObject> requests(int count)
    {
        QElapsedTimer t;
        t.start();
        for (readLines(); m_requests.size() < count && t.elapsed() < 10000; readLines())
            QTest::qWait(20);
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
            const QList<QByteArray> w = line.split(' ');
            if (w[0] == "REQUEST")
                m_requests << QJsonDocument::fromJson(line.mid(8)).object();
            else if (w[0] == "HTTPS")
                m_https[w.value(1).toInt()] = quint16(w.value(2).toUInt());
            else if (w[0] == "RELAY")
                m_relay = quint16(w.value(1).toUInt());
            m_ready = m_ready || w[0] == "READY";
        }
    }

    QProcess m_process;
    QHash<int, quint16> m_https;
    quint16 m_relay = 0;
    bool m_ready = false;
    QList<QJsonObject> m_requests;
};

// The update feed's and the downloads' server (updateserver.py documents
// its paths): HTTPS for localhost with the certificates makeCertificates put
// in dir, the files of root under /feed/, every request line logged to
// dir/requests.log.
class UpdateServer
{
public:
    ~UpdateServer() { stop(); }

    bool start(const QString& dir, const QString& root)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start("python3", {LUMORA_SOURCE_DIR "/tests/support/updateserver.py", "--cert",
                                    dir + "/good.pem", "--key", dir + "/good.key", "--root", root, "--log",
                                    dir + "/requests.log"});
        if (!m_process.waitForReadyRead(20000))
            return false;
        m_port = m_process.readLine().trimmed().toInt();
        return m_port > 0;
    }
    void stop() { ::stop(m_process); }
    // https://localhost:port, to which the paths are added.
    QString base() const { return QStringLiteral("https://localhost:%1").arg(m_port); }

private:
    QProcess m_process;
    int m_port = 0;
};

class TestProxy
{
public:
    ~TestProxy() { stop(m_process); }

    // tinyproxy on loopback asking for user and password, forwarding every
    // request to the relay at upstreamPort.
    bool start(const QString& dir, const QString& user, const QString& password, quint16 upstreamPort)
    {
        const QString program = QStandardPaths::findExecutable("tinyproxy", {"/usr/bin", "/usr/sbin"});
        if (program.isEmpty())
            qWarning() << "tinyproxy is not installed (scripts/install-deps.sh installs it)";
        QTcpServer free;
        free.listen(QHostAddress::LocalHost, 0);
        m_port = free.serverPort();
        free.close();
        QFile conf(dir + "/tinyproxy.conf");
        if (program.isEmpty() || !conf.open(QIODevice::WriteOnly))
            return false;
        conf.write(QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nLogFile \"%2/tinyproxy.log\"\n"
                                  "Allow 127.0.0.1\nBasicAuth %3 %4\nUpstream http 127.0.0.1:%5\n")
                       .arg(m_port)
                       .arg(dir, user, password)
                       .arg(upstreamPort)
                       .toLatin1());
        conf.close();
        m_process.start(program, {"-d", "-c", conf.fileName()});
        for (int i = 0; i < 100; ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, m_port);
            if (s.waitForConnected(100))
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
