#pragma once
// Standard output of the log handler: lines go through a queue to a thread
// of their own, so that a full pipe or a stopped terminal never holds a
// thread that logs (nor the log lock). While the queue is full, lines are
// left out of standard output (the log file has them); once it takes lines
// again, a note says how many were left out.

#include <QByteArray>

namespace LOGUTILS {

// Queues one line (with its end of line) for standard output, or leaves it
// out (counted) while the queue is full.
void postStandardOutput(const QByteArray& line);

// Waits until the lines queued for standard output are written, at most ms
// milliseconds (standard output may be a pipe nobody reads).
void flushStandardOutput(int ms);

}  // namespace LOGUTILS
