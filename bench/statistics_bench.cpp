// The statistics history window over a store of 20,000 measurements (about a
// year of them), connected directly: opening it as the health graph's click
// does (the store's answer shows the window, the slider asks again, the
// answer is drawn and the window painted), and one slider step with its
// redraw, at the opening's eight points and across the whole history; and a
// drag step over 3,000 measurements drawn as on screen.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QSignalBlocker>
#include <QTemporaryDir>

#include "bench/history.h"
#include "core/control/statisticscontroller.h"
#include "gui/spanslider.h"
#include "gui/widgetstatistics.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Silences the window's and the store's log lines for its lifetime.
struct Quiet
{
    QtMessageHandler old = qInstallMessageHandler(quiet);
    ~Quiet() { qInstallMessageHandler(old); }
};

// A widgets application; a plain core application left by an earlier
// benchmark is replaced. Without a display the window is drawn off screen.
bool ensureWidgets()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        return true;
    delete QCoreApplication::instance();
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "lumora-bench";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    return true;
}

struct Fixture
{
    QTemporaryDir dir;
    QScopedPointer<StatisticsController> store;
    QScopedPointer<WidgetStatistics> window;
    SpanSlider* slider = nullptr;

    bool make(int count)
    {
        QFile f(dir.filePath("statistics.json"));
        if (!dir.isValid() || !f.open(QIODevice::WriteOnly))
            return false;
        f.write(historyBytes(count));
        f.close();
        store.reset(new StatisticsController(dir.path() + "/"));
        store->init();
        window.reset(new WidgetStatistics(nullptr));
        QObject::connect(window.data(), &WidgetStatistics::sliderIntervalChanged, store.data(),
                         &StatisticsController::updateStatistics);
        QObject::connect(store.data(), &StatisticsController::statisticsChanged, window.data(),
                         &WidgetStatistics::updateStatistics);
        slider = window->findChild<SpanSlider*>("spanSlider");
        return slider != nullptr;
    }

    // Draws what is pending, as the event loop would.
    void paint()
    {
        window->repaint();
        QCoreApplication::processEvents();
    }
};

void StatisticsWindowOpen(benchmark::State& state)
{
    ensureWidgets();
    const Quiet quiet;
    Fixture f;
    if (!f.make(int(state.range(0)))) {
        state.SkipWithError("cannot set up the store and the window");
        return;
    }
    for (auto _ : state) {
        f.store->createStatistics();
        f.paint();
        state.PauseTiming();
        if (!f.window->isVisible() || f.slider->maximum() != state.range(0))
            state.SkipWithError("the window did not open on the store's answer");
        f.window->hide();
        {
            // Each opening then moves the slider and asks the store again.
            const QSignalBlocker quietSlider(f.slider);
            f.slider->setSpan(0, 0);
        }
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

// One slider step with the store's answer drawn, the shown range being the
// given number of measurements.
void StatisticsWindowSlide(benchmark::State& state)
{
    ensureWidgets();
    const Quiet quiet;
    Fixture f;
    const int count = 20000;
    const int shown = int(state.range(0));
    if (!f.make(count)) {
        state.SkipWithError("cannot set up the store and the window");
        return;
    }
    f.store->createStatistics();
    f.slider->setSpan(count - shown, count);
    f.paint();
    bool down = true;
    for (auto _ : state) {
        // The upper handle one step down and back up.
        f.slider->setUpperValue(f.slider->upperValue() + (down ? -1 : 1));
        f.paint();
        down = !down;
    }
    if (f.window->findChild<QWidget*>("customPlot") == nullptr)
        state.SkipWithError("no graph");
}

// One step of a drag of the slider's upper handle over the whole history of
// the given size, drawn as the event loop draws it: only what the step
// changed (the slider, the graph, the date labels) inside the shadowed boxes.
void StatisticsWindowDrag(benchmark::State& state)
{
    ensureWidgets();
    const Quiet quiet;
    Fixture f;
    const int count = int(state.range(0));
    if (!f.make(count)) {
        state.SkipWithError("cannot set up the store and the window");
        return;
    }
    f.store->createStatistics();
    f.slider->setSpan(0, count);
    f.paint();
    bool down = true;
    for (auto _ : state) {
        f.slider->setUpperValue(f.slider->upperValue() + (down ? -1 : 1));
        QCoreApplication::processEvents();
        down = !down;
    }
    if (!f.window->isVisible())
        state.SkipWithError("the window is not shown");
}

}  // namespace

BENCHMARK(StatisticsWindowOpen)->Name("StatisticsWindow/open")->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(StatisticsWindowSlide)->Name("StatisticsWindow/slide")->Arg(8)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(StatisticsWindowDrag)->Name("StatisticsWindow/drag")->Arg(3000)->Unit(benchmark::kMillisecond);
