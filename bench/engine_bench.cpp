// One frame step of the blink engine on 640x480 frames, on one core: with a
// face tracked (face network and landmarks every fourth frame, optical flow
// and scanners on every frame) and with no face in the picture (network on
// every frame). And the engine as it runs, over a recorded clip: CPU time of
// the whole process per frame; beside it the whole program, through the fake
// webcam that plays the same clip, measuring or showing its live preview.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include <opencv2/core/utility.hpp>
#include <opencv2/videoio.hpp>
#include <ctime>

#include "core/facedetection/facedetectcnn.h"
#include "core/model.h"
#include "tests/support/cameraprogram.h"
#include "tests/support/fakewebcamclip.h"
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
        m_clock->advanceSeconds(1.0 / m_fps);
        return true;
    }
    void setFps(double fps) { m_fps = fps; }
    void release() override { m_open = false; }

private:
    std::vector<cv::Mat> m_frames;
    std::shared_ptr<VirtualEngineClock> m_clock;
    size_t m_next = 0;
    bool m_open = false;
    double m_fps = 30;
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

// The network runs as usual, then the synthetic face's own answer replaces
// its result (the network finds no drawn face).
Model::FaceDetectFn networkThenAnswer(synthface::SyntheticFaceSource& source)
{
    return [answer = source.faceDetector()](unsigned char* buffer, unsigned char* image, int width, int height,
                                            int step) {
        facedetect::cnn_face_detect(buffer, image, width, height, step);
        return answer(buffer, image, width, height, step);
    };
}

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "lumora-bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

// EngineReplay's CPU time per frame on the clip, for the program's figures
// beside it; negative until it has run on the clip.
double engineReplayCpuMsPerFrame = -1;

qint64 processCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void EngineStep(benchmark::State& state, bool tracked)
{
    ensureApplication();
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
        model.setFaceDetector(networkThenAnswer(*renderer));
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

// The engine in a measurement over the recorded clip cap13_edit2 (a talking
// face, 360x288, scaled to 640 wide as the engine does), decoded beforehand
// as a camera delivers its frames, with the shipped landmark model and
// OpenCV's threads as the program has them. Reports the CPU time of all the
// process's threads per frame, the frame rate that allows on one core, and
// the engine thread's share in each stage of the step (the rest is other
// threads). The clip comes from scripts/fetch-clips.sh (or the folder in
// LUMORA_CLIPS); without it the synthetic face plays instead.
void EngineReplay(benchmark::State& state)
{
    ensureApplication();
    std::vector<cv::Mat> frames;
    double fps = 30;
    cv::VideoCapture clip(talkingFaceClip("cap13_edit2.webm").toStdString());
    cv::Mat frame;
    while (clip.isOpened() && clip.read(frame))
        frames.push_back(frame.clone());
    if (!frames.empty() && clip.get(cv::CAP_PROP_FPS) >= 1)
        fps = clip.get(cv::CAP_PROP_FPS);
    std::shared_ptr<synthface::SyntheticFaceSource> synthetic;
    if (frames.empty()) {
        synthetic = std::make_shared<synthface::SyntheticFaceSource>(synthface::Script::random(4, 20));
        synthetic->open(0);
        while (synthetic->read(frame))
            frames.push_back(frame.clone());
        state.SetLabel("synthetic face (no clip)");
    } else {
        state.SetLabel("cap13_edit2");
    }

    auto clock = std::make_shared<VirtualEngineClock>();
    auto source = std::make_shared<LoopSource>(frames, clock);
    source->setFps(fps);
    Model model;
    model.setClock(clock);
    model.setFrameSource(source);
    model.setModelFile(QStringLiteral(LUMORA_SOURCE_DIR "/data/data.dat"));
    if (synthetic) {
        model.setFaceDetector(networkThenAnswer(*synthetic));
    }
    bool running = false;
    auto ended = [&running] { running = false; };
    QObject::connect(&model, &Model::measurementSuccessful, ended);
    QObject::connect(&model, &Model::errorOccurred, ended);
    model.init();
    Model::StageTimes stages;
    qint64 cpu = 0;
    for (auto _ : state) {
        if (!running) {
            state.PauseTiming();
            running = true;
            model.setStageTimes(nullptr);
            model.startBlinkMeasurement();
            QCoreApplication::removePostedEvents(&model);
            model.setStageTimes(&stages);
            state.ResumeTiming();
        }
        const qint64 before = processCpuNs();
        QMetaObject::invokeMethod(&model, "startBlinkDetection", Qt::DirectConnection);
        cpu += processCpuNs() - before;
        QCoreApplication::removePostedEvents(&model);
    }
    model.setStageTimes(nullptr);
    const double n = double(std::max<int64_t>(1, state.iterations()));
    state.counters["cpu_ms_per_frame"] = double(cpu) / 1e6 / n;
    state.counters["sustainable_fps"] = cpu > 0 ? n * 1e9 / double(cpu) : 0;
    static const char* names[Model::StageCount] = {"share_frame",     "share_grey", "share_faces",
                                                   "share_landmarks", "share_flow", "share_rest"};
    qint64 engineThread = 0;
    for (int i = 0; i < Model::StageCount; ++i) {
        state.counters[names[i]] = cpu > 0 ? double(stages.ns[i]) / double(cpu) : 0;
        engineThread += stages.ns[i];
    }
    state.counters["share_other_threads"] = cpu > 0 ? double(cpu - engineThread) / double(cpu) : 0;
    if (!synthetic)
        engineReplayCpuMsPerFrame = double(cpu) / 1e6 / n;
}

// The clip cap13_edit2 as the fake webcam plays it, in format at size (the
// video's own when empty), made in dir; empty when it cannot be, after
// telling state why.
QString programClip(benchmark::State& state, const QTemporaryDir& dir, const char* format, QSize size = QSize())
{
    const QString video = talkingFaceClip("cap13_edit2.webm");
    if (video.isEmpty()) {
        state.SkipWithError("the clip cap13_edit2 is not here (scripts/fetch-clips.sh)");
        return QString();
    }
    const QString camera = dir.filePath("camera.raw");
    const QString error = makeFakeWebcamClip(video, camera, format, size);
    if (!error.isEmpty()) {
        state.SkipWithError(qPrintable(error));
        return QString();
    }
    return camera;
}

// The program as its user runs it, measuring through the fake webcam
// (tests/support) that plays the same clip in real time in format: CPU time
// of the whole process, all its threads, from /proc, per second of
// measurement and per frame, over 30 s of a measurement taken with "TAKE
// FIRST MEASUREMENT". Beside EngineReplay's figure (when it ran first) the
// difference is what capture, pixel conversion and the rest of the program
// add. Also the fake webcam's dropped frames and frame-time spread.
void ProgramMeasurement(benchmark::State& state, const char* format)
{
    ensureApplication();
    QTemporaryDir dir;
    const QString camera = programClip(state, dir, format);
    if (camera.isEmpty())
        return;
    constexpr int kWindowMs = 30000;
    constexpr double kFps = 25;  // the clip's
    {
        CameraProgram lumora(dir.filePath("program"));
        lumora.setSetting("T", false);
        if (!lumora.start(camera, format) || !lumora.waitForInit() || !lumora.takeFirstMeasurement() ||
            lumora.waitForLog("Model: startMeasurement()", 60000) < 0) {
            state.SkipWithError("the program did not start measuring");
            return;
        }
        lumora.idle(2000);  // past the camera's opening
        for (auto _ : state) {
            const double before = lumora.cpuSeconds();
            QElapsedTimer wall;
            wall.start();
            lumora.idle(kWindowMs);
            const double seconds = double(wall.nsecsElapsed()) / 1e9;
            const double cpu = lumora.cpuSeconds() - before;
            state.SetIterationTime(seconds);
            state.counters["cpu_s_per_s"] = cpu / seconds;
            state.counters["cpu_ms_per_frame"] = cpu * 1000 / (seconds * kFps);
            if (engineReplayCpuMsPerFrame >= 0)
                state.counters["added_ms_per_frame"] = cpu * 1000 / (seconds * kFps) - engineReplayCpuMsPerFrame;
        }
    }
    // The program has closed the camera: the fake webcam's figures.
    const FakeWebcamFigures shim = FakeWebcamFigures::read(dir.filePath("program/fakewebcam.log"));
    state.counters["frames_dropped"] = shim.dropped;
    state.counters["interval_sd_ms"] = shim.intervalSdMs;
    state.counters["interval_max_ms"] = shim.intervalMaxMs;
    state.counters["late_sd_ms"] = shim.lateSdMs;
}

// The program with the camera-test page open, its live preview showing a
// talking face (a 360x288 MJPEG clip at 25 fps, through the fake webcam)
// for 20 s at the interface scale given (QT_SCALE_FACTOR): CPU time per
// second of the whole program and of the engine's thread ("Model"), which
// decodes, finds the face and eyes and measures the flow, and their ratio.
// What lies beyond the engine's share is mostly the window drawing the
// preview.
void ProgramPreview(benchmark::State& state, const char* scale)
{
    ensureApplication();
    QTemporaryDir dir;
    const QString camera = programClip(state, dir, "mjpeg", QSize(360, 288));
    if (camera.isEmpty())
        return;
    constexpr int kWindowMs = 20000;
    CameraProgram lumora(dir.filePath("program"));
    lumora.setSetting("T", false);  // no blink reminders over the page
    // The window opens at the middle of the screen's width and must lie
    // wholly on it to be clicked.
    const QString screen = QString::fromLatin1(scale) == "1" ? "1280x1024" : "2560x1920";
    if (!lumora.start(camera, "mjpeg", {{"QT_SCALE_FACTOR", scale}}, screen) || !lumora.waitForInit() ||
        !lumora.waitForWindow() || !lumora.openCameraTestPage()) {
        state.SkipWithError("the program did not open its camera-test page");
        return;
    }
    lumora.idle(2000);  // past the camera's opening
    const qint64 engine = namedThread(lumora.pid(), "Model");
    if (!engine) {
        state.SkipWithError("the program has no thread named Model");
        return;
    }
    for (auto _ : state) {
        const double before = lumora.cpuSeconds();
        const double engineBefore = processCpuSeconds(lumora.pid(), engine);
        QElapsedTimer wall;
        wall.start();
        lumora.idle(kWindowMs);
        const double seconds = double(wall.nsecsElapsed()) / 1e9;
        const double cpu = lumora.cpuSeconds() - before;
        const double engineCpu = processCpuSeconds(lumora.pid(), engine) - engineBefore;
        state.SetIterationTime(seconds);
        state.counters["cpu_s_per_s"] = cpu / seconds;
        state.counters["engine_cpu_s_per_s"] = engineCpu / seconds;
        state.counters["program_per_engine"] = engineCpu > 0 ? cpu / engineCpu : 0;
    }
}

BENCHMARK(EngineReplay)->Name("EngineReplay/cap13")->Unit(benchmark::kMillisecond)->MinTime(5.0);
BENCHMARK_CAPTURE(ProgramMeasurement, cap13_yuyv, "yuyv")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProgramMeasurement, cap13_mjpeg, "mjpeg")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(ProgramPreview, scale1, "1")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProgramPreview, scale1_5, "1.5")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(EngineStep, tracked, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EngineStep, searching, false)->Unit(benchmark::kMillisecond);
