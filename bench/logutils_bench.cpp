// The log handler fed a library's warnings that all differ (an X error
// names its sequence number): the time of one more line once the given
// number of them has been seen, which must not grow with that number, and
// how many of them the handler still remembers.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "app/logstdout.h"
#include "app/logutils.h"

namespace {

void LogDistinctLibraryWarning(benchmark::State& state)
{
    QTemporaryDir dir;
    if (!dir.isValid() || !LOGUTILS::initLogging(dir.path())) {
        state.SkipWithError("cannot start the log");
        return;
    }
    // The handler's standard output goes to /dev/null meanwhile: the
    // benchmark's report is written there.
    std::fflush(stdout);
    LOGUTILS::flushStandardOutput(10000);
    const int savedStdout = ::dup(STDOUT_FILENO);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(devNull, STDOUT_FILENO);
    ::close(devNull);

    LOGUTILS::setRepeatPeriodForTesting(10 * 60 * 1000);  // forgets what earlier runs left
    const QMessageLogContext library;  // no source file: a library's line
    qint64 sequence = 0;
    const auto warn = [&] {
        LOGUTILS::myMessageHandler(QtWarningMsg, library,
                                   QStringLiteral("QXcbConnection: XCB error: 3 (BadWindow), sequence: %1, "
                                                  "resource id: 0, major code: 20 (GetProperty), minor code: 0")
                                       .arg(++sequence));
    };
    for (qint64 i = 0; i < state.range(0); ++i)
        warn();
    for (auto _ : state)
        warn();
    state.counters["remembered"] = LOGUTILS::repeatTableSizeForTesting();

    LOGUTILS::flushStandardOutput(10000);
    ::dup2(savedStdout, STDOUT_FILENO);
    ::close(savedStdout);
    qInstallMessageHandler(nullptr);
}

}  // namespace

BENCHMARK(LogDistinctLibraryWarning)->Arg(0)->Arg(1000)->Arg(10000)->Arg(40000)->Unit(benchmark::kMicrosecond);
