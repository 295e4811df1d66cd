#pragma once
// The log files of the log handler: the folder, the current file's name,
// trimming the folder to the newest files, and appending lines.

#include <QString>
#include <QtGlobal>

namespace LOGUTILS {

// Bytes at which the current file is closed and a new one started.
constexpr qint64 kRollOverSize = 512001;
// Files kept in the log folder.
constexpr int kFilesKept = 10;

// Takes dir as the log folder, created when missing.
void setLogDirectory(const QString& dir);
// Names a new current log file after the present date and time.
void initLogFileName();
QString getLogPath();
// Deletes the oldest of the program's own log files beyond the newest ten;
// no other file of the folder is touched.
void deleteOldLogs();
// Creates the current log file; false when it cannot be opened.
bool createLogFile();
// Appends the UTC date-time, text and an end of line to the current log
// file, starting a new file first when the current one has reached the
// roll-over size. Called under the log lock.
void writeLogFileLine(const QString& text);

}  // namespace LOGUTILS
