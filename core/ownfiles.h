#pragma once
// The program's own files (settings, logs, the error log, the measurements): opened without
// waiting and used only when they are regular files; a file the program
// cannot use is kept aside under a name that says why and when.
// Nothing here logs, so the log handler itself may use it.

#include <QByteArray>
#include <QString>

namespace ownfiles {

// open(2) with O_NONBLOCK and O_CLOEXEC added, so that a FIFO at the path
// never holds the caller; the opened descriptor must be a regular file
// (which also catches a link to something else) and is made blocking
// again. Returns -1 otherwise, with *notRegular true when something other
// than a regular file lies at the path. A file it creates gets mode (less
// the umask).
int openRegular(const QByteArray& path, int flags, bool* notRegular = nullptr, unsigned mode = 0666);

// openRegular(), and when something other than a regular file lies at the
// path, keeps it aside ("not-a-file") and creates a new file in its place
// (O_CREAT | O_EXCL). *aside gets the name it was kept under; when it
// cannot be kept aside, the result is -1 and *error says why.
int openRegularKeepingAside(const QByteArray& path, int flags, QString* aside, QString* error);

// Renames the file (or whatever lies there) to "<path>.<why>-<yyyyMMdd-HHmmss>",
// or with "-2", "-3", ... when that name is taken; an existing file is never
// replaced. Returns the new name, or an empty text and the reason in *error.
QString keepAside(const QString& path, const QString& why, QString* error);

// What tells one state of a file from another: device, inode, size and the
// modification and change times (a writer can set the modification time
// back, not the change time). Empty when the file cannot be examined.
QByteArray stampOf(const QByteArray& path);

}  // namespace ownfiles
