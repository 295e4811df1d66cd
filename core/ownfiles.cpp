#include "core/ownfiles.h"

#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ownfiles {

int openRegular(const QByteArray& path, int flags, bool* notRegular, unsigned mode)
{
    if (notRegular)
        *notRegular = false;
    int fd;
    do {
        fd = ::open(path.constData(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode_t(mode));
    } while (fd < 0 && errno == EINTR);
    struct stat st {};
    if (fd < 0) {
        // A FIFO without a reader refuses a non-blocking writer (ENXIO), a
        // folder any writer (EISDIR): say what lies there.
        const int error = errno;
        if (notRegular && ::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode))
            *notRegular = true;
        errno = error;
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (notRegular)
            *notRegular = true;
        errno = EINVAL;
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status != -1)
        ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

int openRegularKeepingAside(const QByteArray& path, int flags, QString* aside, QString* error)
{
    bool notRegular = false;
    const int fd = openRegular(path, flags, &notRegular);
    if (fd >= 0 || !notRegular)
        return fd;
    QString why;
    const QString name = keepAside(QFile::decodeName(path), QStringLiteral("not-a-file"), &why);
    if (name.isEmpty()) {
        if (error)
            *error = why;
        return -1;
    }
    if (aside)
        *aside = name;
    return openRegular(path, flags | O_CREAT | O_EXCL);
}

QString keepAside(const QString& path, const QString& why, QString* error)
{
    const QString base =
        path + QLatin1Char('.') + why + QLatin1Char('-') + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray from = QFile::encodeName(path);
    for (int i = 1; i <= 1000; ++i) {
        const QString aside = i == 1 ? base : base + QLatin1Char('-') + QString::number(i);
        const QByteArray to = QFile::encodeName(aside);
        // Only a plain rename: whatever lies at the path (a FIFO too) is
        // moved as it is, never opened or copied.
        int result = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        if (result != 0 && errno == EINVAL) {
            // A file system without the no-replace rename.
            struct stat st {};
            if (::lstat(to.constData(), &st) == 0)
                continue;
            result = ::rename(from.constData(), to.constData());
        }
        if (result == 0)
            return aside;
        if (errno != EEXIST) {
            if (error)
                *error = QString::fromLocal8Bit(std::strerror(errno));
            return QString();
        }
    }
    if (error)
        *error = QStringLiteral("no free name");
    return QString();
}

QByteArray stampOf(const QByteArray& path)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return QByteArray();
    const qint64 fields[] = {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size), qint64(st.st_mtim.tv_sec),
                             qint64(st.st_mtim.tv_nsec), qint64(st.st_ctim.tv_sec), qint64(st.st_ctim.tv_nsec)};
    return QByteArray(reinterpret_cast<const char*>(fields), sizeof fields);
}

}  // namespace ownfiles
