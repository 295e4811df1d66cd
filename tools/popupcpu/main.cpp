// Prints the share of one core the process uses in each phase: pop-ups
// created but hidden, the blink reminder animating, an eye exercise running,
// and everything hidden again.
//
//   xvfb-run lumora-popup-cpu [seconds per phase]

#include "gui/blinkreminderwidget.h"
#include "gui/breakreminderwidget.h"
#include "gui/exercisereminderwidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
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
    QWidget owner;
    auto* blink = new BlinkReminderWidget(&owner);
    auto* breakPopup = new BreakReminderWidget(&owner);
    auto* exercise = new ExerciseReminderWidget(&owner);

    measure(1000);  // start-up work out of the way
    report("hidden, after start", measure(ms));
    blink->rollOut(false);
    report("blink reminder animating", measure(ms));
    blink->rollIn();
    exercise->fadeIn();
    report("eye exercise animating", measure(qMin(ms, 9000)));
    exercise->stop();
    breakPopup->fadeIn();
    report("break pop-up shown", measure(ms));
    breakPopup->fadeOut();
    report("all hidden again", measure(ms));
    return 0;
}
