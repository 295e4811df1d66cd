#pragma once
// Turns every signal of the scheduler into one line of text, such as
// "breakRequested()" or "measurementCompleted(12.3, \"Exer;\", 250)", and hands
// it to a sink. Used by the simulator and by the scheduler's tests.

#include <QObject>
#include <QString>
#include <functional>

class ApplicationController;

class RequestLog : public QObject
{
public:
    using Sink = std::function<void(const QString&)>;
    RequestLog(ApplicationController* controller, Sink sink, QObject* parent = nullptr);

private:
    Sink m_sink;
};
