#pragma once
// Rolling log files: one message handler for the whole process writes each
// line to standard output and to the current file in the "logs" folder.
// Standard output never holds a thread that logs: a line it cannot take now
// is left out of it (the file has it) and counted. A library's warning that
// repeats is held back. The handler's parts: logstdout.h (standard output),
// logfile.h (the files), warninglimiter.h (repeated library warnings).

#include <QString>
#include <QtGlobal>

namespace LOGUTILS {

// Bytes at which the current file is closed and a new one started.
constexpr qint64 kRollOverSize = 512001;
// Files kept in the log folder.
constexpr int kFilesKept = 10;

bool initLogging(QString logDir);
void initLogFileName();
QString getLogPath();
// Deletes the oldest of the program's own log files beyond the newest ten;
// no other file of the folder is touched.
void deleteOldLogs();
void myMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Waits until the lines queued for standard output are written, at most ms
// milliseconds (standard output may be a pipe nobody reads).
void flushStandardOutput(int ms);

// Library warnings remembered at the most, to hold back their repeats.
constexpr int kRepeatsKept = 1000;

// How long a repeated library warning is held back (ten minutes); forgets
// the warnings seen so far.
void setRepeatPeriodForTesting(qint64 ms);
// How many library warnings are remembered now.
int repeatTableSizeForTesting();

}  // namespace LOGUTILS
