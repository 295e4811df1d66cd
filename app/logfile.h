#pragma once
// The log files of the log handler: the folder, the current file's name,
// trimming the folder to the newest files, and appending lines.

#include <QString>
#include <QtGlobal>

namespace LOGUTILS {

// The message with its type's label ("Debug: %1", "Warning: %1", ...); an
// unknown type gives an empty text.
QString labelled(QtMsgType type, const QString& message);

// Takes dir as the log folder, created when missing.
void setLogDirectory(const QString& dir);
// Creates the current log file; false when it cannot be opened.
bool createLogFile();
// Appends the UTC date-time, text and an end of line to the current log
// file, starting a new file first when the current one has reached the
// roll-over size. Called under the log lock.
void writeLogFileLine(const QString& text);

}  // namespace LOGUTILS
