#include "app/errorlog.h"

#include <QDebug>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "core/ownfiles.h"

namespace errorlog {

namespace {
std::streambuf* g_originalBuffer = nullptr;

// Opens the error log, emptied, only when it is a regular file: a FIFO (or
// a link to one) there would hold the start in open() for good. Whatever
// else lies there is kept aside with a warning, and a new file is made.
void openKeepingAside(std::fstream& stream, const std::string& path)
{
    const QByteArray native(path.c_str());
    QString aside;
    QString error;
    const int fd = ownfiles::openRegularKeepingAside(native, O_WRONLY | O_CREAT, &aside, &error);
    if (!aside.isEmpty())
        qWarning().noquote() << "errorlog: not a regular file, kept aside as" << aside;
    else if (!error.isEmpty())
        qWarning().noquote() << "errorlog: not a regular file, not used:" << QFile::decodeName(native) << error;
    if (fd < 0) {
        stream.setstate(std::ios::failbit);  // what std::cerr gets is lost
        return;
    }
    // The stream opens the very file that was checked, through the
    // descriptor's own name.
    stream.open("/proc/self/fd/" + std::to_string(fd), std::ios::out | std::ios::trunc);
    ::close(fd);
}
}  // namespace

void redirect(std::fstream& stream, const std::string& path)
{
    openKeepingAside(stream, path);
    if (!g_originalBuffer)
        g_originalBuffer = std::cerr.rdbuf();
    std::cerr.rdbuf(stream.rdbuf());
}
bool restoreAndClose(std::fstream& stream)
{
    if (g_originalBuffer && std::cerr.rdbuf() == stream.rdbuf()) {
        std::cerr.rdbuf(g_originalBuffer);
    }
    if (!stream.is_open())
        return true;
    bool ok = true;
    stream.flush();
    if (stream.fail())
        ok = false;
    stream.close();
    if (stream.fail())
        ok = false;
    if (!ok)
        stream.setstate(std::ios::failbit);
    return ok;
}

}  // namespace errorlog
