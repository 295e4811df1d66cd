#pragma once
// Standard output of the log handler: lines go through a queue to a thread
// of their own, so that a full pipe or a stopped terminal never holds a
// thread that logs (nor the log lock).

#include <QByteArray>

namespace LOGUTILS {

// Queues one line (with its end of line) for standard output, or leaves it
// out (counted) while the queue is full.
void postStandardOutput(const QByteArray& line);

}  // namespace LOGUTILS
