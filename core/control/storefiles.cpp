#include "core/control/storefiles.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/ownfiles.h"

namespace storefiles {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(strerror(error));
}

bool samePlace(int fd, const QByteArray& path)
{
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

// Opens the lock file. What no process can lock (a folder, a FIFO, a link,
// a file of another user) is kept aside and made anew.
int openLockFile(const QByteArray& path, QString* error)
{
    const int flags = O_RDWR | O_CREAT | O_NOFOLLOW;
    bool notRegular = false;
    int fd = ownfiles::openRegular(path, flags, &notRegular, 0600);
    if (fd >= 0 || (!notRegular && errno != ELOOP && errno != EACCES && errno != EPERM)) {
        if (fd < 0)
            *error = systemError(errno);
        return fd;
    }
    const bool notAFile = notRegular || errno == ELOOP;
    const QString aside = ownfiles::keepAside(
        QFile::decodeName(path), notAFile ? QStringLiteral("not-a-file") : QStringLiteral("not-ours"), error);
    if (aside.isEmpty())
        return -1;
    qWarning() << "StatisticsController: unusable statistics.json lock kept aside as" << aside;
    fd = ownfiles::openRegular(path, flags | O_EXCL, nullptr, 0600);
    if (fd < 0 && errno == EEXIST)  // another process made it anew first
        fd = ownfiles::openRegular(path, flags, nullptr, 0600);
    if (fd < 0)
        *error = systemError(errno);
    return fd;
}

// The signal that ends a wait for the lock at its bound: its handler does
// nothing, and being installed without SA_RESTART it makes flock() return.
int wakeSignal()
{
    static const int signal = [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGRTMIN + 5, &action, nullptr);
        return SIGRTMIN + 5;
    }();
    return signal;
}

// flock(LOCK_EX) that waits in the kernel's queue until the deadline. A
// timer of this thread sends the wake signal at the deadline and every
// 20 ms after it, so a signal that comes just before flock() blocks is
// followed by another. Returns 0, or -1 with errno (EWOULDBLOCK at the bound).
int lockBefore(int fd, const QDeadlineTimer& deadline)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return 0;
    if (errno != EWOULDBLOCK || deadline.hasExpired())
        return -1;
    const int signal = wakeSignal();
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, signal);
    sigset_t previous;
    pthread_sigmask(SIG_UNBLOCK, &wake, &previous);
    struct sigevent event {};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = signal;
    event._sigev_un._tid = ::gettid();
    timer_t timer;
    if (::timer_create(CLOCK_MONOTONIC, &event, &timer) != 0) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        errno = EWOULDBLOCK;
        return -1;
    }
    const qint64 ns = qMax<qint64>(deadline.remainingTimeNSecs(), 1);
    struct itimerspec when {};
    when.it_value = {time_t(ns / 1000000000), long(ns % 1000000000)};
    when.it_interval = {0, 20 * 1000 * 1000};
    ::timer_settime(timer, 0, &when, nullptr);
    int result;
    int error = 0;
    while ((result = ::flock(fd, LOCK_EX)) != 0 && (error = errno) == EINTR && !deadline.hasExpired()) {
    }
    if (result != 0)
        error = error == EINTR ? EWOULDBLOCK : error;
    // No wake signal is left to interrupt what the thread does next.
    pthread_sigmask(SIG_BLOCK, &wake, nullptr);
    ::timer_delete(timer);
    const struct timespec now {};
    while (::sigtimedwait(&wake, nullptr, &now) == signal) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return result;
}

}  // namespace

Reading readRegularFile(const QString& path, const QByteArray& known, QByteArray* text, QString* error)
{
    bool notRegular = false;
    const int fd = ownfiles::openRegular(QFile::encodeName(path), O_RDONLY, &notRegular);
    if (fd < 0 && notRegular) {
        *error = QStringLiteral("not a regular file");
        return Reading::Unusable;
    }
    if (fd < 0) {
        // Another user's file (left by a run as root) stays unreadable; the
        // other reasons (EIO, EMFILE, ...) may pass.
        const int reason = errno;
        *error = systemError(reason);
        return reason == ENOENT                      ? Reading::Blank
               : reason == EACCES || reason == EPERM ? Reading::Unusable
                                                     : Reading::Failed;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString();
        return Reading::Failed;
    }
    if (!known.isEmpty() && file.size() == known.size()) {
        char piece[1 << 16];
        qint64 at = 0;
        qint64 n = 0;
        while (at < known.size() && (n = file.read(piece, qMin<qint64>(sizeof piece, known.size() - at))) > 0 &&
               std::memcmp(piece, known.constData() + at, size_t(n)) == 0)
            at += n;
        if (at == known.size() && file.read(piece, 1) == 0)
            return Reading::Unchanged;
        file.seek(0);
    }
    *text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return Reading::Failed;
    }
    return Reading::History;
}

bool saveAtomically(const QString& path, const QString& prefix, const QByteArray& bytes, QString* openError,
                    QString* writeError)
{
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    QTemporaryFile file(QFileInfo(target).absolutePath() + QLatin1Char('/') + prefix + QStringLiteral("XXXXXX"));
    if (!file.open()) {
        *openError = file.errorString();
        return false;
    }
    file.setPermissions(QFileInfo::exists(target)
                            ? QFile::permissions(target)
                            : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                  QFileDevice::ReadOther);
    // Written by hand, not through QFile's buffer, whose failure reads
    // "Unknown error" where the system says what went wrong.
    for (qint64 at = 0; at < bytes.size();) {
        const ssize_t n = ::write(file.handle(), bytes.constData() + at, size_t(bytes.size() - at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *writeError = systemError(n < 0 ? errno : ENOSPC);
            return false;  // the temporary file is removed, the target stays
        }
        at += n;
    }
    if (::fsync(file.handle()) != 0) {
        *writeError = systemError(errno);
        return false;
    }
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target).constData()) != 0) {
        *writeError = systemError(errno);
        return false;
    }
    file.setAutoRemove(false);
    return true;
}

StoreLock::StoreLock(const QString& path, int waitMs)
{
    const QByteArray name = QFile::encodeName(path);
    const QDeadlineTimer deadline(waitMs);
    while ((m_fd = openLockFile(name, &m_error)) >= 0) {
        const int error = lockBefore(m_fd, deadline) == 0 ? 0 : errno;
        // A lock file kept aside meanwhile locks nobody out.
        if (error == 0 && samePlace(m_fd, name)) {
            m_state = Held;
            return;
        }
        ::close(m_fd);
        m_fd = -1;
        if (error == EWOULDBLOCK || (error == 0 && deadline.hasExpired())) {
            m_state = Busy;
            m_error = QStringLiteral("another process holds it");
            return;
        }
        if (error != 0) {
            // NFS without its lock service, or a file system without locks.
            m_state = error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS ? NoLocks : Failed;
            m_error = systemError(error);
            return;
        }
    }
}

StoreLock::~StoreLock()
{
    if (m_fd >= 0)
        ::close(m_fd);  // releases the lock
}

}  // namespace storefiles
