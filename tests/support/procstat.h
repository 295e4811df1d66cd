#pragma once
// A running process as /proc/<pid>/stat tells it: its fields, and the CPU
// time it, or one of its threads, has used.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <unistd.h>

// The fields of /proc/<pid>/stat, numbered as in proc(5) from 1 (so f[13]
// is utime); the command name, which may hold spaces, is "comm". Empty
// when the process is gone. With a thread id, the fields of that thread
// (/proc/<pid>/task/<tid>/stat).
inline QList<QByteArray> procStatFields(qint64 pid, qint64 tid = 0)
{
    QFile file(tid ? QStringLiteral("/proc/%1/task/%2/stat").arg(pid).arg(tid)
                   : QStringLiteral("/proc/%1/stat").arg(pid));
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
// seconds; -1 when unknown. With a thread id, that thread's alone.
inline double processCpuSeconds(qint64 pid, qint64 tid = 0)
{
    const QList<QByteArray> f = procStatFields(pid, tid);
    return f.size() > 15 ? double(f[13].toLongLong() + f[14].toLongLong()) / double(sysconf(_SC_CLK_TCK)) : -1;
}

// The ids of the process's threads whose names (their "comm", at most 15
// characters) are among names.
inline QList<qint64> namedThreads(qint64 pid, const QList<QByteArray>& names)
{
    QList<qint64> ids;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/%1/task/%2/comm").arg(pid).arg(task));
        if (comm.open(QIODevice::ReadOnly) && names.contains(comm.readAll().trimmed()))
            ids << task.toLongLong();
    }
    return ids;
}

// The id of the process's first thread with this name; 0 when it has none.
inline qint64 namedThread(qint64 pid, const QByteArray& name)
{
    const QList<qint64> ids = namedThreads(pid, {name});
    return ids.isEmpty() ? 0 : ids.first();
}
