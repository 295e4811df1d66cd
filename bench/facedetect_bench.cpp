// The face detector on one core: milliseconds per call and multiply-
// accumulates per second, with the vector kernels and with the plain loops;
// and each layer's convolution alone.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "core/facedetection/facedetectcnn.h"

namespace {

using namespace facedetect;

// Multiply-accumulates of one pass of the network over a width x height image.
double networkMacs(int width, int height)
{
    int w = (width + 1) / 2, h = (height + 1) / 2;
    double macs = 0;
    const auto layer = [&](int n) {
        const FaceLayerShape& s = kFaceLayerShapes[n];
        const int taps = n == 0 ? 27 : s.kernel * s.kernel * s.in;
        macs += double(w) * h * taps * s.out;
    };
    const auto pool = [&] { w /= 2, h /= 2; };
    layer(0), layer(1), pool(), layer(2), layer(3), pool();
    for (int m = 0; m < 4; ++m) {
        if (m > 0)
            pool();
        for (int i = 0; i < 3; ++i)
            layer(m == 0 ? 4 + i : 4 + 3 * m + i);
        layer(16 + 2 * m), layer(17 + 2 * m);
    }
    return macs;
}

void runFaceDetect(benchmark::State& state, int width, int height, KernelPath path)
{
    std::vector<unsigned char> image(std::size_t(width) * height * 3);
    uint32_t seed = 12345;
    for (unsigned char& v : image)
        v = (unsigned char)((seed = seed * 1664525u + 1013904223u) >> 24);
    std::vector<unsigned char> buffer(0x20000);
    const KernelPath before = kernelPath();
    setKernelPath(path);
    cnn_face_detect(buffer.data(), image.data(), width, height, width * 3); // builds the filters
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(cnn_face_detect(buffer.data(), image.data(), width, height, width * 3));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    setKernelPath(before);
    const double n = double(state.iterations());
    state.counters["ms_per_call"] = seconds * 1000.0 / n;
    state.counters["MACs_per_s"] = benchmark::Counter(n * networkMacs(width, height),
                                                      benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK_CAPTURE(runFaceDetect, 160x120, 160, 120, bestKernelPath())
    ->Name("FaceDetect/160x120")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runFaceDetect, 320x240, 320, 240, bestKernelPath())
    ->Name("FaceDetect/320x240")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runFaceDetect, plain160x120, 160, 120, KernelPath::Plain)
    ->Name("FaceDetectPlain/160x120")
    ->Unit(benchmark::kMillisecond);

namespace {

// One layer of the built-in network on its input size for a 160x120 image.
void runFaceLayer(benchmark::State& state)
{
    static Filters filters[kFaceLayerCount];
    static bool built = [] {
        ConvLayerInfo table[kFaceLayerCount];
        return buildLayerTable(embeddedFaceWeights(), embeddedFaceWeightsSize(), table)
               && buildFilters(table, filters);
    }();
    if (!built) {
        state.SkipWithError("no weights");
        return;
    }
    const int n = int(state.range(0));
    static const int sizes[kFaceLayerCount][2] = {{80, 60}, {80, 60}, {40, 30}, {40, 30}, {20, 15}, {20, 15},
                                                  {20, 15}, {10, 7},  {10, 7},  {10, 7},  {5, 3},   {5, 3},
                                                  {5, 3},   {2, 1},   {2, 1},   {2, 1},   {20, 15}, {20, 15},
                                                  {10, 7},  {10, 7},  {5, 3},   {5, 3},   {2, 1},   {2, 1}};
    const FaceLayerShape& s = kFaceLayerShapes[n];
    TensorBlob<unsigned char> in(sizes[n][0], sizes[n][1], n == 0 ? 27 : s.in);
    uint32_t seed = 99;
    for (int i = 0; i < in.width * in.height * in.channelStep; ++i)
        reinterpret_cast<unsigned char*>(in.data)[i] = (unsigned char)((seed = seed * 1664525u + 1013904223u) >> 24);
    TensorBlob<int> out;
    for (auto _ : state)
        benchmark::DoNotOptimize(convolution(&in, &filters[n], &out));
    const double macs = double(in.width) * in.height * (n == 0 ? 27 : s.kernel * s.kernel * s.in) * s.out;
    state.counters["MACs_per_s"] = benchmark::Counter(double(state.iterations()) * macs, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(runFaceLayer)->Name("FaceDetectLayer")->DenseRange(0, kFaceLayerCount - 1)->Unit(benchmark::kMicrosecond);

namespace {

// Building the filters from the built-in weights (once, on the first detection).
void runFaceBuild(benchmark::State& state)
{
    ConvLayerInfo table[kFaceLayerCount];
    if (!buildLayerTable(embeddedFaceWeights(), embeddedFaceWeightsSize(), table)) {
        state.SkipWithError("no weights");
        return;
    }
    for (auto _ : state) {
        Filters filters[kFaceLayerCount];
        benchmark::DoNotOptimize(buildFilters(table, filters));
    }
}

} // namespace

BENCHMARK(runFaceBuild)->Name("FaceDetectBuild")->Unit(benchmark::kMillisecond);
