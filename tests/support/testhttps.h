#pragma once
// Local HTTPS for network tests: a test authority made by openssl at test
// time, a server certificate for "localhost" and 127.0.0.1 signed by it, and
// a Python server script of the test's own started on a free loopback port.

#include <QProcess>
#include <QString>
#include <QStringList>

struct TestAuthority
{
    QString caFile;    // the authority's certificate (PEM)
    QString certFile;  // the server's certificate, signed by the authority
    QString keyFile;   // the server's key
};

// Makes the authority and a server certificate in dir; false with a reason.
bool makeTestAuthority(const QString& dir, TestAuthority* out, QString* error);

class TestServerProcess
{
public:
    ~TestServerProcess() { stop(); }
    // Starts `python3 script --port-file F args...` and waits until the
    // script has written its port; 0 on failure.
    int start(const QString& script, const QStringList& args);
    void stop();

private:
    QProcess m_process;
};
