#include "tests/support/testhttps.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

namespace {

bool run(const QString& dir, const QStringList& args, QString* error)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QStringLiteral("openssl %1: %2").arg(args.join(QLatin1Char(' ')), QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

}  // namespace

bool makeTestAuthority(const QString& dir, TestAuthority* out, QString* error)
{
    QFile ext(dir + QStringLiteral("/server.ext"));
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n"
              "basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n");
    ext.close();
    const QStringList ca = {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                            "/CN=Lumora Test Authority", "-keyout", "ca.key", "-out", "ca.pem"};
    const QStringList csr = {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                             "-keyout", "server.key", "-out", "server.csr"};
    const QStringList sign = {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                              "-CAcreateserial", "-days", "2", "-extfile", "server.ext", "-out", "server.pem"};
    if (!run(dir, ca, error) || !run(dir, csr, error) || !run(dir, sign, error))
        return false;
    out->caFile = dir + QStringLiteral("/ca.pem");
    out->certFile = dir + QStringLiteral("/server.pem");
    out->keyFile = dir + QStringLiteral("/server.key");
    return true;
}

int TestServerProcess::start(const QString& script, const QStringList& args)
{
    const QString portFile = QDir::tempPath() + QStringLiteral("/server-port-%1").arg(reinterpret_cast<quintptr>(this));
    QFile::remove(portFile);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(QStringLiteral("python3"), QStringList{script, QStringLiteral("--port-file"), portFile} + args);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000 && m_process.state() != QProcess::NotRunning) {
        QFile f(portFile);
        if (f.open(QIODevice::ReadOnly)) {
            const int port = f.readAll().trimmed().toInt();
            if (port > 0)
                return port;
        }
        QThread::msleep(20);
    }
    return 0;
}

void TestServerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}
