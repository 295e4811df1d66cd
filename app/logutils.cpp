#include "app/logutils.h"

#include <QMutex>
#include <QMutexLocker>
#include <cstdlib>

#include "app/logfile.h"
#include "app/loglabel.h"
#include "app/logstdout.h"
#include "app/warninglimiter.h"

namespace LOGUTILS {

namespace {
// Serialises the handler: the limiter, the log file and the order of the
// lines on standard output.
QMutex g_logMutex;
WarningLimiter g_limiter(kRepeatsKept);
}  // namespace

bool initLogging(QString logDir)
{
    setLogDirectory(logDir);
    deleteOldLogs();
    initLogFileName();
    if (!createLogFile())
        return false;
    qInstallMessageHandler(myMessageHandler);
    // What is still queued for standard output gets a moment at exit.
    static bool flushAtExit = false;
    if (!flushAtExit) {
        flushAtExit = true;
        std::atexit([] { flushStandardOutput(200); });
    }
    return true;
}

void myMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    {
        QMutexLocker lock(&g_logMutex);
        QString shown = message;
        if (WarningLimiter::isLibraryWarning(type, context) &&
            !g_limiter.letThrough(type, context, message, &shown))
            return;
        const QString text = labelled(type, shown);
        writeLogFileLine(text);
        postStandardOutput(text.toLocal8Bit() + '\n');
    }
    // The process ends after a fatal message: give its line a moment.
    if (type == QtFatalMsg)
        flushStandardOutput(1000);
}

void setRepeatPeriodForTesting(qint64 ms)
{
    QMutexLocker lock(&g_logMutex);
    g_limiter.setPeriod(ms);
}

int repeatTableSizeForTesting()
{
    QMutexLocker lock(&g_logMutex);
    return g_limiter.size();
}

}  // namespace LOGUTILS
