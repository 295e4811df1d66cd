#pragma once
// Rolling log files: one message handler for the whole process writes each
// labelled line to standard output and to the current file in the "logs"
// folder, and holds back a library's warning that repeats. Its parts:
// loglabel.h (the line's label), logstdout.h (standard output, which never
// holds a thread that logs), logfile.h (the files), warninglimiter.h
// (repeated library warnings).

#include <QString>
#include <QtGlobal>

namespace LOGUTILS {

bool initLogging(QString logDir);
void myMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Library warnings remembered at the most, to hold back their repeats.
constexpr int kRepeatsKept = 1000;

// How long a repeated library warning is held back (ten minutes); forgets
// the warnings seen so far.
void setRepeatPeriodForTesting(qint64 ms);
// How many library warnings are remembered now.
int repeatTableSizeForTesting();

}  // namespace LOGUTILS
