// What the crash reporting step adds to the program's start: opening the
// report database, allowing uploads and launching the handler (built
// beside this program) through its handshake, restarts enabled, as the
// program's start does. Each handler ends with this process.

#include <benchmark/benchmark.h>

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "crash/client/crashreportdatabase.h"
#include "crash/client/crashwatch_client.h"

namespace {

std::string ExecutableDirectory()
{
    char link[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", link, sizeof(link) - 1);
    const std::string exe = length > 0 ? std::string(link, size_t(length)) : std::string();
    return exe.substr(0, exe.rfind('/'));
}

void BM_CrashReportingStart(benchmark::State& state)
{
    char folder[] = "/tmp/lumora-bench-dumps.XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("mkdtemp");
        return;
    }
    const base::FilePath database(folder);
    const base::FilePath handler(ExecutableDirectory() + "/crashwatch_handler");
    const std::map<std::string, std::string> annotations{{"format", "minidump"}, {"prod", "lumoraMAC"}};
    for (auto _ : state) {
        crashwatch::CrashWatchClient client;
        auto reports = crashwatch::CrashReportDatabase::OpenOrCreate(database);
        if (!reports || !reports->AccessSettings()) {
            state.SkipWithError("database");
            break;
        }
        reports->AccessSettings()->SetUploadsAllowed(true);
        if (!client.LaunchHandler(handler, database, database, "https://crash.invalid:443/", annotations,
                                  {"--no-rate-limit"}, true, true)) {
            state.SkipWithError("launch");
            break;
        }
    }
    state.SetLabel("each launch leaves a handler until the process ends");
}
BENCHMARK(BM_CrashReportingStart)->Iterations(30)->Unit(benchmark::kMillisecond);

}  // namespace
