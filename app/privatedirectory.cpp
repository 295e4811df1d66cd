#include "app/privatedirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool makePrivateDirectory(const QString& path)
{
    const QString clean = QDir::cleanPath(path);  // a trailing "/" would follow a link
    QDir().mkpath(QFileInfo(clean).path());
    const QByteArray encoded = QFile::encodeName(clean);
    ::mkdir(encoded.constData(), 0700);
    // The checks and the change go through one descriptor of the folder
    // itself, so nothing can be swapped in between.
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    if (ok && (st.st_mode & 077) != 0)
        ok = ::fchmod(fd, st.st_mode & 07700) == 0;
    ::close(fd);
    return ok;
}
