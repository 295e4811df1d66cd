#pragma once
// A full disk under a folder: a tiny file system of its own mounted over it
// in a mount namespace of this process (other processes keep seeing the
// folder as it was), filled to the last byte.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

// False where that is not allowed (not root, no mount namespaces).
inline bool mountSmallFileSystem(const QString& folder)
{
    return ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k,mode=0700") == 0;
}

inline void unmountSmallFileSystem(const QString& folder)
{
    ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
}

// Takes every free byte with the file filler in folder; true when the file
// system then reports itself full. Removing the file frees it again.
inline bool fillFileSystem(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder + "/filler").constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0)
        return false;
    const QByteArray block(4096, 'x');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    while (::write(fd, "x", 1) > 0) {
    }
    const bool full = errno == ENOSPC;
    ::close(fd);
    return full;
}
