#include "app/logutils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <cstdio>

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
}  // namespace

bool initLogging(QString logDir)
{
    g_logDir = logDir;
    QDir dir(logDir);
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));
    deleteOldLogs();
    initLogFileName();
    QFile file(g_logPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    file.close();
    qInstallMessageHandler(myMessageHandler);
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

void myMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    QMutexLocker lock(&g_logMutex);
    if (QFileInfo(g_logPath).size() >= kRollOverSize) {
        deleteOldLogs();
        initLogFileName();
    }
    const QString text = labelled(type, message);
    QFile file(g_logPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        const QByteArray line = (QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + text)
                                    .toUtf8() + '\n';
        file.write(line);
        file.close();
    }
    const QByteArray out = text.toLocal8Bit() + '\n';
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
}

}  // namespace LOGUTILS
