#pragma once
// A running process as /proc/<pid>/stat tells it: its fields, and the CPU
// time it has used.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <unistd.h>

// The fields of /proc/<pid>/stat, numbered as in proc(5) from 1 (so f[13]
// is utime); the command name, which may hold spaces, is "comm". Empty
// when the process is gone.
inline QList<QByteArray> procStatFields(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray stat = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return {};
    QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    fields.prepend("comm");
    fields.prepend("pid");
    return fields;
}

// User and system CPU time of the whole process, all its threads, in
// seconds; -1 when unknown.
inline double processCpuSeconds(qint64 pid)
{
    const QList<QByteArray> f = procStatFields(pid);
    return f.size() > 15 ? double(f[13].toLongLong() + f[14].toLongLong()) / double(sysconf(_SC_CLK_TCK)) : -1;
}
