// The user's own processes from /proc. The kernel keeps a program name of at
// most 15 characters ("comm"); where a name is that long it may be cut, so
// the whole name is taken from the command line or the executable when one
// of those begins with the cut name.

#include "app/platform/linux/processlist.h"

#include <QByteArray>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kCutNameLength = 15;

// Reads at most maxBytes of a small /proc file relative to dirFd.
QByteArray readSmallFile(int dirFd, const char* name, int maxBytes)
{
    QByteArray data;
    const int fd = openat(dirFd, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return data;
    data.resize(maxBytes);
    int total = 0;
    while (total < maxBytes) {
        const ssize_t n = read(fd, data.data() + total, size_t(maxBytes - total));
        if (n <= 0)
            break;
        total += int(n);
    }
    close(fd);
    data.truncate(total);
    return data;
}

QByteArray baseName(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

// The whole name for a name the kernel may have cut.
QByteArray wholeName(int pidFd, const QByteArray& cut)
{
    // argv[0] for ordinary programs, a later argument for scripts started
    // through their interpreter.
    const QList<QByteArray> args = readSmallFile(pidFd, "cmdline", 4096).split('\0');
    for (const QByteArray& arg : args) {
        const QByteArray name = baseName(arg);
        if (name.size() > cut.size() && name.startsWith(cut))
            return name;
    }
    char target[4096];
    const ssize_t n = readlinkat(pidFd, "exe", target, sizeof target - 1);
    if (n > 0) {
        QByteArray name = baseName(QByteArray(target, int(n)));
        if (name.endsWith(" (deleted)"))
            name.chop(10);
        if (name.size() > cut.size() && name.startsWith(cut))
            return name;
    }
    return cut;
}

}  // namespace

namespace SystemSession {

QStringList getAllProcesses(const QString& procRoot)
{
    QStringList names;
    DIR* dir = opendir(QFile::encodeName(procRoot).constData());
    if (!dir)
        return names;
    const uid_t uid = getuid();
    const int rootFd = dirfd(dir);
    while (dirent* entry = readdir(dir)) {
        const char* p = entry->d_name;
        bool numeric = *p != '\0';
        for (; *p; ++p)
            numeric = numeric && *p >= '0' && *p <= '9';
        if (!numeric)
            continue;
        const int pidFd = openat(rootFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (pidFd < 0)
            continue;  // ended meanwhile
        struct stat st;
        if (fstat(pidFd, &st) == 0 && st.st_uid == uid) {
            QByteArray name = readSmallFile(pidFd, "comm", 64);
            if (name.endsWith('\n'))
                name.chop(1);
            if (name.size() == kCutNameLength)
                name = wholeName(pidFd, name);
            if (!name.isEmpty())
                names.append(QString::fromUtf8(name).toLower());
        }
        close(pidFd);
    }
    closedir(dir);
    return names;
}

}  // namespace SystemSession
