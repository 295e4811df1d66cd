// The measurement store with a history of the given size (20,000 records is
// about a year of measurements): loading it, and adding one measurement,
// which rewrites the whole file.

#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "bench/history.h"
#include "core/control/statisticscontroller.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

bool writeHistory(const QString& dir, const QByteArray& bytes)
{
    QFile f(dir + "/statistics.json");
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void StoreLoad(benchmark::State& state)
{
    const QtMessageHandler old = qInstallMessageHandler(quiet);
    QTemporaryDir dir;
    if (!dir.isValid() || !writeHistory(dir.path(), historyBytes(int(state.range(0))))) {
        state.SkipWithError("cannot write the history");
        qInstallMessageHandler(old);
        return;
    }
    for (auto _ : state) {
        StatisticsController store(dir.path() + "/");
        store.init();
    }
    qInstallMessageHandler(old);
}

void StoreAdd(benchmark::State& state)
{
    const QtMessageHandler old = qInstallMessageHandler(quiet);
    QTemporaryDir dir;
    const QByteArray history = historyBytes(int(state.range(0)));
    // The history grows by one record per iteration; it is put back every
    // 64 additions so the size stays close to the one named.
    QScopedPointer<StatisticsController> store;
    int added = 0;
    for (auto _ : state) {
        if (!store || added == 64) {
            state.PauseTiming();
            store.reset();
            if (!writeHistory(dir.path(), history)) {
                state.SkipWithError("cannot write the history");
                break;
            }
            store.reset(new StatisticsController(dir.path() + "/"));
            store->init();
            added = 0;
            state.ResumeTiming();
        }
        store->addMeasurement(14.2, QString(), 180);
        ++added;
    }
    store.reset();
    qInstallMessageHandler(old);
}

}  // namespace

BENCHMARK(StoreLoad)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(StoreAdd)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);
