#include "app/logutils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "core/ownfiles.h"

namespace LOGUTILS {

namespace {
QString g_logDir;
QString g_logPath;
QMutex g_logMutex;

QString labelled(QtMsgType type, const QString& message)
{
    switch (type) {
    case QtDebugMsg: return QStringLiteral("Debug: %1").arg(message);
    case QtWarningMsg: return QStringLiteral("Warning: %1").arg(message);
    case QtCriticalMsg: return QStringLiteral("Critical: %1").arg(message);
    case QtFatalMsg: return QStringLiteral("Fatal: %1").arg(message);
    case QtInfoMsg: return QStringLiteral("Info: %1").arg(message);
    }
    return QString();
}

// ----------------------------------------------------------- standard output
// Lines for standard output go through a queue to a thread of their own, so
// that a full pipe or a stopped terminal never holds a thread that logs (nor
// the log lock). While the queue is full, lines are left out of standard
// output (the log file has them); once it takes lines again, a note says
// how many were left out. The descriptor's own flags are not touched: the
// shell or terminal shares them.
class StandardOutput
{
public:
    static StandardOutput& instance()
    {
        // Never destroyed: the thread may still wait on the pipe at exit.
        static StandardOutput* output = new StandardOutput;
        return *output;
    }

    void post(const QByteArray& line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return;
        if (m_queuedBytes + size_t(line.size()) > kQueueBytes) {
            ++m_leftOut;
            return;
        }
        if (m_leftOut > 0) {
            enqueue(QStringLiteral("[%1 log lines left out of standard output here; the log file has them]\n")
                        .arg(m_leftOut)
                        .toLocal8Bit());
            m_leftOut = 0;
        }
        enqueue(line);
        if (!m_thread) {
            try {
                std::thread(&StandardOutput::run, this).detach();
                m_thread = true;
            } catch (const std::system_error&) {
                m_closed = true;  // no thread: standard output gets nothing
            }
        }
        m_wake.notify_one();
    }

    // Waits until the queue is written, at most ms milliseconds.
    void flush(int ms)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_drained.wait_for(lock, std::chrono::milliseconds(ms),
                           [this] { return m_closed || (m_queue.empty() && !m_writing); });
    }

private:
    static constexpr size_t kQueueBytes = 64 * 1024;

    void enqueue(const QByteArray& line)
    {
        m_queue.push_back(line);
        m_queuedBytes += size_t(line.size());
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return !m_queue.empty(); });
            const QByteArray line = m_queue.front();
            m_queue.pop_front();
            m_writing = true;
            lock.unlock();
            const bool written = writeAll(line);
            lock.lock();
            m_writing = false;
            m_queuedBytes -= size_t(line.size());
            if (!written) {
                // Nobody reads standard output any more (or it is closed):
                // it gets nothing from now on.
                m_closed = true;
                m_queue.clear();
                m_queuedBytes = 0;
            }
            m_drained.notify_all();
        }
    }

    static bool writeAll(const QByteArray& line)
    {
        qint64 done = 0;
        while (done < line.size()) {
            const ssize_t n = ::write(STDOUT_FILENO, line.constData() + done, size_t(line.size() - done));
            if (n > 0) {
                done += n;
            } else if (n < 0 && errno == EINTR) {
            } else if (n < 0 && errno == EAGAIN) {
                // Another program made the shared descriptor non-blocking.
                pollfd ready{STDOUT_FILENO, POLLOUT, 0};
                ::poll(&ready, 1, 1000);
            } else {
                return false;  // EPIPE (SIGPIPE does not end the program), EBADF, ...
            }
        }
        return true;
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained;
    std::deque<QByteArray> m_queue;
    size_t m_queuedBytes = 0;
    quint64 m_leftOut = 0;
    bool m_writing = false;
    bool m_closed = false;
    bool m_thread = false;
};

// ------------------------------------------------- repeated library warnings
// A library that warns again and again (the sound back end without a sound
// server, three lines every reminder) would roll the useful lines out of
// the log. Its warnings are written once, then at most once a period with a
// count of those left out. Our own lines (they carry their source file, or
// start with "Class::") are never held back.
qint64 g_repeatPeriodMs = 10 * 60 * 1000;

struct Repeat {
    qint64 writtenAt = 0;  // ms on the monotonic clock
    quint64 heldBack = 0;
};
QHash<QString, Repeat> g_repeats;

qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool isLibraryWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    static const QRegularExpression ownPrefix(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*::"));
    return (type == QtWarningMsg || type == QtCriticalMsg) && !context.file
           && !ownPrefix.match(message).hasMatch();
}

// Whether a library warning is written now, and its text. Called under the
// log lock.
bool throttled(QtMsgType type, const QMessageLogContext& context, const QString& message, QString* text)
{
    const QString key = QString::number(int(type)) + QLatin1Char('|')
                        + QLatin1String(context.category ? context.category : "") + QLatin1Char('|') + message;
    const qint64 now = monotonicMs();
    auto it = g_repeats.find(key);
    if (it == g_repeats.end()) {
        if (g_repeats.size() >= 1000) {
            // Forget warnings seen long ago, so the table stays small.
            for (auto old = g_repeats.begin(); old != g_repeats.end();)
                old = now - old->writtenAt >= g_repeatPeriodMs ? g_repeats.erase(old) : std::next(old);
        }
        g_repeats.insert(key, Repeat{now, 0});
        *text = message;
        return true;
    }
    if (now - it->writtenAt < g_repeatPeriodMs) {
        ++it->heldBack;
        return false;
    }
    const quint64 heldBack = it->heldBack;
    *it = Repeat{now, 0};
    *text = heldBack == 0 ? message
                          : QStringLiteral("%1 (and %2 more times since it was last written)").arg(message).arg(heldBack);
    return true;
}

// -------------------------------------------------------------- the log file
// Appends one line to the current log file, opened for this line alone. A
// log file must be a regular file: whatever else lies at its name (a FIFO
// would hold every thread that logs) is kept aside, noted in the log, and a
// new file takes its place. Called under the log lock.
void appendToLogFile(const QByteArray& line)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QByteArray path = QFile::encodeName(g_logPath);
        bool notRegular = false;
        const int fd = ownfiles::openRegular(path, O_WRONLY | O_APPEND | O_CREAT, &notRegular);
        if (fd >= 0) {
            QByteArray text = line;
            if (attempt > 0)
                text.prepend((QDateTime::currentDateTimeUtc().toString(Qt::ISODate)
                              + labelled(QtWarningMsg, QStringLiteral("LOGUTILS: the log file was not a regular "
                                                                      "file, kept aside"))
                              + QLatin1Char('\n'))
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
            return;
        }
        if (!notRegular || ownfiles::keepAside(g_logPath, QStringLiteral("not-a-file"), nullptr).isEmpty())
            return;
    }
}

qint64 logFileSize()
{
    struct stat st {};
    return ::stat(QFile::encodeName(g_logPath).constData(), &st) == 0 ? qint64(st.st_size) : 0;
}
}  // namespace

bool initLogging(QString logDir)
{
    g_logDir = logDir;
    QDir dir(logDir);
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));
    deleteOldLogs();
    initLogFileName();
    const int fd = ownfiles::openRegular(QFile::encodeName(g_logPath), O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0)
        return false;
    ::close(fd);
    qInstallMessageHandler(myMessageHandler);
    // What is still queued for standard output gets a moment at exit.
    static bool flushAtExit = false;
    if (!flushAtExit) {
        flushAtExit = true;
        std::atexit([] { flushStandardOutput(200); });
    }
    return true;
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

// The names initLogFileName() gives: Log_<date>__<time>.txt.
static bool isLogFileName(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^Log_\\d{4}_\\d{2}_\\d{2}__\\d{2}_\\d{2}_\\d{2}_\\d{3}\\.txt$"));
    return pattern.match(name).hasMatch();
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

void myMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    {
        QMutexLocker lock(&g_logMutex);
        QString shown = message;
        if (isLibraryWarning(type, context, message) && !throttled(type, context, message, &shown))
            return;
        if (logFileSize() >= kRollOverSize) {
            deleteOldLogs();
            initLogFileName();
        }
        const QString text = labelled(type, shown);
        appendToLogFile((QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + text).toUtf8() + '\n');
        StandardOutput::instance().post(text.toLocal8Bit() + '\n');
    }
    // The process ends after a fatal message: give its line a moment.
    if (type == QtFatalMsg)
        flushStandardOutput(1000);
}

void flushStandardOutput(int ms)
{
    StandardOutput::instance().flush(ms);
}

void setRepeatPeriodForTesting(qint64 ms)
{
    QMutexLocker lock(&g_logMutex);
    g_repeatPeriodMs = ms;
    g_repeats.clear();
}

}  // namespace LOGUTILS
