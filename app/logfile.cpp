#include "app/logfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/loglabel.h"
#include "core/ownfiles.h"

namespace LOGUTILS {

namespace {
QString g_logDir;
QString g_logPath;

// Appends one line to the current log file, opened for this line alone. A
// log file must be a regular file: whatever else lies at its name (a FIFO
// would hold every thread that logs) is kept aside, noted in the log, and a
// new file takes its place.
void appendToLogFile(const QByteArray& line)
{
    QString aside;
    const int fd = ownfiles::openRegularKeepingAside(QFile::encodeName(g_logPath), O_WRONLY | O_APPEND | O_CREAT,
                                                     &aside, nullptr);
    if (fd < 0)
        return;
    QByteArray text = line;
    if (!aside.isEmpty())
        text.prepend(
            (QDateTime::currentDateTimeUtc().toString(Qt::ISODate) +
             labelled(QtWarningMsg, QStringLiteral("LOGUTILS: the log file was not a regular file, kept aside")) +
             QLatin1Char('\n'))
                .toUtf8());
    qint64 done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;  // this line is lost for the file
        done += n;
    }
    ::close(fd);
}

qint64 logFileSize()
{
    struct stat st {};
    return ::stat(QFile::encodeName(g_logPath).constData(), &st) == 0 ? qint64(st.st_size) : 0;
}

// The names initLogFileName() gives: Log_<date>__<time>.txt.
bool isLogFileName(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^Log_\\d{4}_\\d{2}_\\d{2}__\\d{2}_\\d{2}_\\d{2}_\\d{3}\\.txt$"));
    return pattern.match(name).hasMatch();
}
}  // namespace

void setLogDirectory(const QString& dir)
{
    g_logDir = dir;
    QDir folder(dir);
    if (!folder.exists())
        folder.mkpath(QStringLiteral("."));
}

bool createLogFile()
{
    const int fd = ownfiles::openRegular(QFile::encodeName(g_logPath), O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

void writeLogFileLine(const QString& text)
{
    if (logFileSize() >= kRollOverSize) {
        deleteOldLogs();
        initLogFileName();
    }
    appendToLogFile((QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + text).toUtf8() + '\n');
}

void initLogFileName()
{
    const QDateTime now = QDateTime::currentDateTime();
    g_logPath = g_logDir + QStringLiteral("/Log_%1__%2.txt")
                               .arg(now.toString(QStringLiteral("yyyy_MM_dd")),
                                    now.toString(QStringLiteral("hh_mm_ss_zzz")));
}

QString getLogPath()
{
    return g_logPath;
}

void deleteOldLogs()
{
    QDir dir(g_logDir);
    QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                                            QDir::Time | QDir::Reversed);
    // Only the program's own log files are candidates. The folder may hold
    // other files (or be a link to a folder of the user's documents), and
    // the open error log would lose what the running program writes there.
    for (int i = files.size() - 1; i >= 0; --i) {
        if (!isLogFileName(files.at(i).fileName()))
            files.removeAt(i);
    }
    const int excess = files.size() - kFilesKept;
    for (int i = 0; i < excess; ++i)
        QFile::remove(files.at(i).absoluteFilePath());
}

}  // namespace LOGUTILS
