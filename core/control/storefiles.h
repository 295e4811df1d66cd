#pragma once
// The file steps under the measurement store: its lock, the reading of a
// regular file and the replacing of a file in one step. They know nothing
// of measurements.

#include <QByteArray>
#include <QString>

namespace storefiles {

// What a read found. readRegularFile() gives Blank for a missing file,
// Unchanged, History for text read (not parsed yet), Unusable for
// something that is not our file (a FIFO, a folder, another user's file)
// and Failed for a reason that may pass (EIO, EMFILE, ...); the store
// parses the text into History, Blank or Damaged.
enum class Reading { Blank, Unchanged, History, Damaged, Unusable, Failed };

// Reads a file that must be a regular one. Anything else at the path is
// never read from: opening does not wait for a writer. A file that holds
// known is compared piece by piece, not read whole, and is Unchanged.
Reading readRegularFile(const QString& path, const QByteArray& known, QByteArray* text, QString* error);

// Writes a temporary file (prefix plus six random letters) beside the
// target and renames it over the target only once every byte reached the
// disk, so the target is always whole; a link is followed, its target
// replaced. A file it makes is mode 0644 (less the umask), an existing
// one keeps its mode. On failure the target is as it was: *openError says
// why the temporary file could not be made, else *writeError why the write
// failed, in the system's words ("No space left on device").
bool saveAtomically(const QString& path, const QString& prefix, const QByteArray& bytes, QString* openError,
                    QString* writeError);

// An exclusive lock on a file of the data folder. The wait is spent in the
// kernel's queue for the lock, so processes that keep taking it cannot
// shut a waiter out, and it ends at the bound. A lock path that no process
// can lock (a folder, a FIFO, a link, another user's file) is kept aside
// and made anew.
class StoreLock
{
public:
    enum State {
        Held,
        Busy,     // another process held it for the whole wait
        NoLocks,  // the file system gives no locks at all (ENOLCK)
        Failed    // the lock file cannot be opened
    };
    StoreLock(const QString& path, int waitMs);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    State state() const { return m_state; }
    const QString& error() const { return m_error; }

private:
    int m_fd = -1;
    State m_state = Failed;
    QString m_error;
};

}  // namespace storefiles
