// What one run of the session listener's periodic checks costs: they run
// every 2 seconds all day while the process or window-title check is on.

#include "app/platform/linux/processlist.h"
#include "app/platform/x11/windowtitles.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

static void BM_ProcessScan(benchmark::State& state)
{
    int processes = 0;
    for (auto _ : state) {
        const QStringList names = SystemSession::getAllProcesses();
        processes = names.size();
        benchmark::DoNotOptimize(names);
    }
    state.counters["processes"] = processes;
}
BENCHMARK(BM_ProcessScan)->Unit(benchmark::kMicrosecond);

static void BM_WindowTitleScan(benchmark::State& state)
{
    // One connection for every run: an X server without other clients
    // resets when its last client leaves.
    static xcb_connection_t* c = xcb_connect(nullptr, nullptr);  // $DISPLAY
    if (xcb_connection_has_error(c)) {
        state.SkipWithError("no X display");
        return;
    }
    // A desktop's worth of titled windows.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    std::vector<xcb_window_t> created;
    for (int i = 0; i < 30; ++i) {
        const xcb_window_t w = xcb_generate_id(c);
        created.push_back(w);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, root, 0, 0, 50, 50, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        char title[64];
        std::snprintf(title, sizeof title, "Document %d - Editor", i);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            uint32_t(std::strlen(title)), title);
        xcb_map_window(c, w);
    }
    xcb_flush(c);
    int windows = 0;
    for (auto _ : state) {
        const QStringList titles = SystemSession::getAllWindowTitles(c);
        windows = titles.size();
        benchmark::DoNotOptimize(titles);
    }
    state.counters["windows"] = windows;
    for (xcb_window_t w : created)
        xcb_destroy_window(c, w);
    xcb_flush(c);
}
BENCHMARK(BM_WindowTitleScan)->Unit(benchmark::kMicrosecond);
