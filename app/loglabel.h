#pragma once
// The label of a log line's type, the same in the log file and on standard
// output.

#include <QString>
#include <QtGlobal>

namespace LOGUTILS {

// The message with its type's label ("Debug: %1", "Warning: %1", ...); an
// unknown type gives an empty text.
QString labelled(QtMsgType type, const QString& message);

}  // namespace LOGUTILS
