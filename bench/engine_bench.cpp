// One frame step of the blink engine on 640x480 frames, on one core: with a
// face tracked (face network and landmarks every fourth frame, optical flow
// and scanners on every frame) and with no face in the picture (network on
// every frame).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "core/facedetection/facedetectcnn.h"
#include "core/model.h"
#include "tools/synthface/synthface.h"

namespace {

// Frames rendered beforehand and played in a loop, so that the benchmark
// measures the engine and not the renderer.
class LoopSource : public FrameSource
{
public:
    LoopSource(std::vector<cv::Mat> frames, std::shared_ptr<VirtualEngineClock> clock)
        : m_frames(std::move(frames)), m_clock(std::move(clock))
    {
    }
    bool open(int) override { return m_open = true; }
    bool isOpened() const override { return m_open; }
    bool read(cv::Mat& frame) override
    {
        m_frames[m_next].copyTo(frame);
        m_next = (m_next + 1) % m_frames.size();
        m_clock->advanceSeconds(1.0 / 30);
        return true;
    }
    void release() override { m_open = false; }

private:
    std::vector<cv::Mat> m_frames;
    std::shared_ptr<VirtualEngineClock> m_clock;
    size_t m_next = 0;
    bool m_open = false;
};

const QString& landmarkModel()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString file = dir.filePath("synthetic.dat");
        return synthface::trainLandmarkModel(file.toStdString()) ? file : QString();
    }();
    return path;
}

void EngineStep(benchmark::State& state, bool tracked)
{
    static int argc = 1;
    static char name[] = "lumora-bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    if (landmarkModel().isEmpty()) {
        state.SkipWithError("could not train the landmark model");
        return;
    }

    // Ten seconds of the synthetic face with its blinks, or of the empty room.
    synthface::Script script = synthface::Script::random(4, 10);
    if (!tracked)
        script.absences.push_back({0, 10});
    auto renderer = std::make_shared<synthface::SyntheticFaceSource>(script);
    renderer->open(0);
    std::vector<cv::Mat> frames;
    cv::Mat frame;
    while (renderer->read(frame))
        frames.push_back(frame.clone());

    auto clock = std::make_shared<VirtualEngineClock>();
    Model model;
    model.setClock(clock);
    model.setFrameSource(std::make_shared<LoopSource>(frames, clock));
    model.setModelFile(landmarkModel());
    // With a face, the network runs as usual but the synthetic face's own
    // answer replaces its result; without one, the network alone runs.
    if (tracked) {
        model.setFaceDetector([answer = renderer->faceDetector()](unsigned char* buffer, unsigned char* image,
                                                                  int width, int height, int step) {
            facedetect::cnn_face_detect(buffer, image, width, height, step);
            return answer(buffer, image, width, height, step);
        });
    }
    bool running = false;
    auto ended = [&running] { running = false; };
    QObject::connect(&model, &Model::measurementSuccessful, ended);
    QObject::connect(&model, &Model::errorOccurred, ended);
    model.init();

    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    int faces = 0;
    bool timed = true;
    model.setStepObserver([&](const Model::StepInfo& info) { faces += (timed && info.face) ? 1 : 0; });
    for (auto _ : state) {
        if (!running) {
            state.PauseTiming();
            timed = false;
            running = true;
            model.startBlinkMeasurement();
            QCoreApplication::removePostedEvents(&model);
            timed = true;
            state.ResumeTiming();
        }
        QMetaObject::invokeMethod(&model, "startBlinkDetection", Qt::DirectConnection);
        QCoreApplication::removePostedEvents(&model);
    }
    cv::setNumThreads(threads);
    state.counters["steps_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["face_share"] = double(faces) / double(std::max<int64_t>(1, state.iterations()));
}

}  // namespace

BENCHMARK_CAPTURE(EngineStep, tracked, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EngineStep, searching, false)->Unit(benchmark::kMillisecond);
