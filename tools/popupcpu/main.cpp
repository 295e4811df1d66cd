// Prints the share of one core the process uses in each phase: the main
// window (hidden) with its pop-ups, the blink reminder animating, an eye
// exercise running, the break pop-up shown, and everything hidden again. The
// scheduler's requests are made as the window's slots receive them.
//
//   xvfb-run lumora-popup-cpu [seconds per phase]

#include "gui/lumoragui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for the given time; the processor share it took, in percent.
double measure(int ms)
{
    QEventLoop loop;
    QElapsedTimer wall;
    const double before = cpuSeconds();
    wall.start();
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return 100.0 * (cpuSeconds() - before) / (wall.nsecsElapsed() / 1e9);
}

void report(const char* phase, double percent)
{
    std::printf("%-32s %6.2f %% of one core\n", phase, percent);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int ms = (argc > 1 ? QByteArray(argv[1]).toInt() : 8) * 1000;
    LumoraGUI gui;

    measure(1000);  // start-up work out of the way
    report("hidden, after start", measure(ms));
    gui.showReminder();
    report("blink reminder animating", measure(ms));
    gui.responceToBlink();
    gui.showExercise();
    report("eye exercise animating", measure(qMin(ms, 9000)));
    gui.hideExerciseReminder();
    gui.showBreakReminder();
    report("break pop-up shown", measure(ms));
    gui.hideBreakReminder();
    report("all hidden again", measure(ms));
    return 0;
}
