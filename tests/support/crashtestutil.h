#pragma once
// Shared helpers of the crash client tests.

#include <QProcess>
#include <QString>
#include <QStringList>

struct ProbeRun {
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
    qint64 pid = 0;
};

inline ProbeRun runProbe(const QStringList& args, int timeoutMs = 30000)
{
    ProbeRun run;
    QProcess p;
    p.start(QStringLiteral(PROBE), args);
    if (!p.waitForStarted())
        return run;
    run.pid = p.processId();
    p.waitForFinished(timeoutMs);
    run.crashed = p.exitStatus() == QProcess::CrashExit;
    run.exitCode = p.exitCode();
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}
