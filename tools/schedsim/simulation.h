#pragma once
// A day at the desk in virtual time: the real scheduler against a fake camera
// engine, a fake user and fake reminder pop-ups. Every request the scheduler
// makes ("->") and every answer it gets ("<-") is printed with the virtual
// time since the start.

#include <QString>
#include <functional>

struct SimulationOptions
{
    qint64 durationMs = 8LL * 3600 * 1000;
};

void runSimulation(const SimulationOptions& options, const std::function<void(const QString&)>& print);
