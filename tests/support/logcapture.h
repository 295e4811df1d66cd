#pragma once
// The log lines the test's own process writes while a LogCapture lives (the
// window's, in tests that run it in process); they still go on to the
// handler that was there before, so the test's output shows them too.

#include <QString>
#include <QStringList>
#include <QtGlobal>

class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        s_previous = qInstallMessageHandler(keep);
    }
    ~LogCapture() { qInstallMessageHandler(s_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The lines so far, oldest first.
    static const QStringList& lines() { return s_lines; }

private:
    static void keep(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        s_lines << text;
        if (s_previous)
            s_previous(type, context, text);
    }
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};
