#pragma once
// Programs that a test runs as another local user, in a place that user
// can reach. The checkout, and the build in it, may lie in a folder that
// other users cannot pass through (cloned as root into /root): there the
// other user can run none of its programs nor read the sanitizer's
// suppressions. A ReachableCopy copies the programs, the files they read
// beside them and the files the sanitizer options name into a temporary
// folder that every user may read and run, and points the options there.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/otheruser.h"

class ReachableCopy
{
public:
    // /tmp itself, not the test's temporary folder, which is closed.
    ReachableCopy() : m_dir(QStringLiteral("/tmp/lumora-reachable-XXXXXX"))
    {
        m_ok = m_dir.isValid() && ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755) == 0;
    }

    QString path() const { return m_dir.path(); }

    // Copies program, with the files of its folder named in besides, into
    // a folder of its own here (so that files the program finds beside
    // itself are there too); the copy's path, or an empty one.
    QString addProgram(const QString& program, const QStringList& besides = {})
    {
        const QString folder = m_dir.path() + QLatin1Char('/') + QString::number(m_next++);
        if (!m_ok || !QDir().mkpath(folder) || ::chmod(QFile::encodeName(folder).constData(), 0755) != 0)
            return fail();
        const QString copy = folder + QLatin1Char('/') + QFileInfo(program).fileName();
        if (!copyOpen(program, copy, 0755))
            return fail();
        for (const QString& name : besides)
            if (!copyOpen(QFileInfo(program).dir().filePath(name), folder + QLatin1Char('/') + name, 0755))
                return fail();
        m_programs << copy;
        return copy;
    }

    // env with every file that a sanitizer's options name ("suppressions=")
    // copied here and named by its copy.
    QProcessEnvironment environment(QProcessEnvironment env)
    {
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
            const QString variable = QString::fromLatin1(name);
            if (!env.contains(variable))
                continue;
            QStringList options = env.value(variable).split(QLatin1Char(':'));
            for (QString& option : options) {
                const QString key = option.section(QLatin1Char('='), 0, 0);
                const QString file = option.section(QLatin1Char('='), 1);
                if (key != QLatin1String("suppressions") || file.isEmpty())
                    continue;
                const QString copy = m_dir.path() + QStringLiteral("/%1-%2").arg(m_next++).arg(QFileInfo(file).fileName());
                if (!copyOpen(file, copy, 0644))
                    fail();
                option = key + QLatin1Char('=') + copy;
            }
            env.insert(variable, options.join(QLatin1Char(':')));
        }
        return env;
    }

    // Empty when uid can run every program copied here; else why not, for
    // the test's skip message.
    QString unreachableBy(uid_t uid) const
    {
        if (!m_ok)
            return QStringLiteral("a copy of the programs could not be made in %1").arg(m_dir.path());
        for (const QString& program : m_programs) {
            const QByteArray file = QFile::encodeName(program);
            if (!asUser(uid, [&file] { return ::access(file.constData(), X_OK) == 0; }))
                return QStringLiteral("user %1 cannot run %2 even from /tmp").arg(uid).arg(program);
        }
        return QString();
    }

private:
    QString fail()
    {
        m_ok = false;
        return QString();
    }

    static bool copyOpen(const QString& from, const QString& to, mode_t mode)
    {
        return QFile::copy(from, to) && ::chmod(QFile::encodeName(to).constData(), mode) == 0;
    }

    QTemporaryDir m_dir;
    QStringList m_programs;
    int m_next = 0;
    bool m_ok = false;
};
