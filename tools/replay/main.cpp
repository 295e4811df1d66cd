// lumora-replay: feeds a video file or the synthetic face to the real blink
// engine in virtual time, frame by frame at the source's frame rate, however
// fast or slow the machine is.

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include <opencv2/videoio.hpp>

#include "core/engineclock.h"
#include "core/framebounds.h"
#include "core/framesource.h"
#include "core/model.h"
#include "tools/synthface/synthface.h"

namespace {

// Frame rates a camera or a video has.
bool saneFps(double fps)
{
    return fps >= 1 && fps <= 1000;
}

// A video file played as a camera; every frame read moves the clock on by
// one frame period. It is opened before the engine starts, so that a file
// that cannot be played or whose frames have a shape no camera has is
// refused before any frame is decoded.
class VideoFileSource : public FrameSource
{
public:
    VideoFileSource(QString path, double fps, std::shared_ptr<VirtualEngineClock> clock)
        : m_path(std::move(path)), m_fps(fps), m_clock(std::move(clock))
    {
    }
    // Opens the file; an empty text, or why it cannot be played.
    QString prepare()
    {
        m_capture.open(m_path.toStdString());
        if (!m_capture.isOpened())
            return QStringLiteral("cannot open %1 as a video").arg(m_path);
        const double width = m_capture.get(cv::CAP_PROP_FRAME_WIDTH);
        const double height = m_capture.get(cv::CAP_PROP_FRAME_HEIGHT);
        if ((width > 0 || height > 0) && !framebounds::usable((long long)width, (long long)height))
            return QStringLiteral("%1 has frames of %2 pixels, a shape no camera has")
                .arg(m_path, QString::fromStdString(framebounds::shapeText((long long)width, (long long)height)));
        if (m_fps <= 0) {
            m_fps = m_capture.get(cv::CAP_PROP_FPS);
            if (!saneFps(m_fps))
                m_fps = 30;
        }
        return QString();
    }
    // The engine's opening: the file opened by prepare() is taken as it is.
    bool open(int) override
    {
        if (!m_capture.isOpened())
            m_capture.open(m_path.toStdString());
        m_open = m_capture.isOpened();
        return m_open;
    }
    bool isOpened() const override { return m_open; }
    bool read(cv::Mat& frame) override
    {
        const bool ok = m_capture.read(frame);
        if (ok) {
            ++m_frames;
            m_clock->advanceSeconds(1.0 / m_fps);
        }
        return ok;
    }
    void release() override
    {
        m_capture.release();
        m_open = false;
    }
    double fps() const { return m_fps; }
    int framesRead() const { return m_frames; }

private:
    QString m_path;
    double m_fps;
    std::shared_ptr<VirtualEngineClock> m_clock;
    cv::VideoCapture m_capture;
    bool m_open = false;
    int m_frames = 0;
};

// Passes another source through and notes when it ran out of frames, so
// that the end of the input can be told from a failure.
class EndNotingSource : public FrameSource
{
public:
    explicit EndNotingSource(std::shared_ptr<FrameSource> inner) : m_inner(std::move(inner)) {}
    bool open(int index) override { return m_inner->open(index); }
    bool isOpened() const override { return m_inner->isOpened(); }
    void requestSize(int width, int height) override { m_inner->requestSize(width, height); }
    bool read(cv::Mat& frame) override
    {
        // Test seam: LUMORA_REPLAY_FAULT_AT_FRAME=N makes the Nth frame's
        // read fail as a broken decoder or driver would, by throwing.
        if (++m_reads == m_faultAt)
            throw std::runtime_error("injected fault at frame " + std::to_string(m_reads));
        const bool ok = m_inner->read(frame);
        if (!ok || frame.empty())
            m_ended = true;
        return ok;
    }
    void release() override { m_inner->release(); }
    bool ended() const { return m_ended; }

private:
    std::shared_ptr<FrameSource> m_inner;
    bool m_ended = false;
    int m_reads = 0;
    const int m_faultAt = qEnvironmentVariableIntValue("LUMORA_REPLAY_FAULT_AT_FRAME");
};

bool verbose = false;

// The engine's opening reads this many frames before its first step.
constexpr int kOpeningFrames = 8;


void messageFilter(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg && !verbose)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(messageFilter);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName("lumora-replay");
    registerCrossThreadTypes();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Runs the blink engine on a recorded clip or on the synthetic face, in virtual time.\n"
        "SOURCE is a video file, 'synthetic' or 'synthetic:SEED' (a scripted three-minute face).\n"
        "Default mode 'detect' prints 'blink <frame> <seconds>' for each counted blink (the frame\n"
        "being processed when it was counted, counted from the source's first frame) and, last,\n"
        "'frames <n> face_frames <n> blinks <n>' for the frames the engine processed (the camera\n"
        "opening takes the first 8). Modes 'measurement' and 'training' run that mode as the\n"
        "scheduler would and print every signal of the engine with its time.");
    parser.addHelpOption();
    parser.addPositionalArgument("SOURCE", "Video file, 'synthetic' or 'synthetic:SEED'.");
    QCommandLineOption fpsOption("fps", "Frame rate of the source (default: the file's, or 30).", "N");
    QCommandLineOption modeOption("mode", "detect (default), measurement or training.", "MODE", "detect");
    QCommandLineOption modelOption("model",
                                   "Eye-landmark model file (default: data.dat beside the program; "
                                   "a small model trained on the spot for the synthetic face). "
                                   "'synthetic' trains that small model for any source.",
                                   "FILE");
    QCommandLineOption lengthOption("length", "Length of the synthetic script in seconds (default 185).",
                                    "SECONDS");
    QCommandLineOption traceOption("trace",
                                   "Also print each frame step: 'step <frame> <face x y w h> <eye 1 x y side> "
                                   "<eye 2 x y side> <flow mean and deviation of eye 1, of eye 2>'.");
    QCommandLineOption verboseOption("verbose", "Show the engine's log lines.");
    parser.addOptions({fpsOption, modeOption, modelOption, lengthOption, traceOption, verboseOption});
    parser.process(app);
    verbose = parser.isSet(verboseOption);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1) {
        err << "lumora-replay: give one SOURCE (see --help)\n";
        return 2;
    }
    const QString mode = parser.value(modeOption);
    if (mode != "detect" && mode != "measurement" && mode != "training") {
        err << "lumora-replay: unknown mode " << mode << "\n";
        return 2;
    }
    double fps = 0;
    if (parser.isSet(fpsOption)) {
        bool ok = false;
        fps = parser.value(fpsOption).toDouble(&ok);
        if (!ok || !saneFps(fps)) {
            err << "lumora-replay: --fps needs a frame rate from 1 to 1000\n";
            return 2;
        }
    }
    double length = 185;
    if (parser.isSet(lengthOption)) {
        bool ok = false;
        length = parser.value(lengthOption).toDouble(&ok);
        if (!ok || !(length >= 1 && length <= 3600)) {
            err << "lumora-replay: --length needs seconds from 1 to 3600\n";
            return 2;
        }
    }

    auto clock = std::make_shared<VirtualEngineClock>();
    Model model;
    model.setClock(clock);

    const QString source = args.first();
    std::shared_ptr<synthface::SyntheticFaceSource> synthetic;
    std::shared_ptr<VideoFileSource> video;
    std::shared_ptr<EndNotingSource> input;
    QTemporaryDir tempDir;
    QString modelFile = parser.value(modelOption);
    if (source == "synthetic" || source.startsWith("synthetic:")) {
        bool ok = true;
        const uint32_t seed = source.contains(':') ? source.section(':', 1).toUInt(&ok) : 1;
        if (!ok) {
            err << "lumora-replay: bad seed in " << source << "\n";
            return 2;
        }
        synthetic = std::make_shared<synthface::SyntheticFaceSource>(synthface::Script::random(seed, length),
                                                                     cv::Size(640, 480), fps > 0 ? fps : 30, seed);
        synthetic->setClock(clock);
        input = std::make_shared<EndNotingSource>(synthetic);
        model.setFaceDetector(synthetic->faceDetector());
        if (modelFile.isEmpty())
            modelFile = "synthetic";
    } else {
        video = std::make_shared<VideoFileSource>(source, fps, clock);
        const QString refusal = video->prepare();
        if (!refusal.isEmpty()) {
            err << "lumora-replay: " << refusal << "\n";
            return 1;
        }
        input = std::make_shared<EndNotingSource>(video);
    }
    model.setFrameSource(input);
    if (modelFile == "synthetic") {
        modelFile = tempDir.filePath("synthetic.dat");
        if (!synthface::trainLandmarkModel(modelFile.toStdString())) {
            err << "lumora-replay: could not train the synthetic landmark model\n";
            return 1;
        }
    }
    if (!modelFile.isEmpty())
        model.setModelFile(modelFile);

    auto sourceFps = [&] { return synthetic ? synthetic->fps() : video->fps(); };
    auto sourceFrames = [&] { return synthetic ? synthetic->framesRead() : video->framesRead(); };
    auto now = [&] { return QString::number(double(clock->nowNs()) / 1e9, 'f', 3); };

    bool initialised = false;
    QObject::connect(&model, &Model::modelInitialized, [&] { initialised = true; });
    model.init();
    if (!initialised) {
        err << "lumora-replay: the landmark model could not be read"
            << (modelFile.isEmpty() ? QString(" (data.dat beside the program)") : " (" + modelFile + ")")
            << "\n";
        return 1;
    }

    // Everything the engine's signals reach lives until the event loop ends.
    quint64 frames = 0, faceFrames = 0, blinks = 0;
    auto finish = [&](int code) {
        out.flush();
        QCoreApplication::exit(code);
    };
    // What ended the run when the engine reports an error: the end of the
    // input after at least one processed frame is the normal end of a
    // detection run; anything else is a failure, told with its reason.
    auto failureReason = [&](Error e) -> QString {
        const QString engine = model.lastFailure();
        if (!engine.isEmpty())
            return QStringLiteral("the frame step failed: %1").arg(engine);
        if (e == EMPTY_FRAME && input->ended()) {
            if (frames == 0)
                return QStringLiteral("the source ended after %1 frames, before the engine's opening (%2 frames) "
                                      "was through")
                    .arg(sourceFrames())
                    .arg(kOpeningFrames);
            return QString();
        }
        if (e == EMPTY_FRAME)
            return QStringLiteral("the source gave an empty frame after %1 frames").arg(sourceFrames());
        return QStringLiteral("engine error %1").arg(int(e));
    };
    const bool trace = parser.isSet(traceOption);
    model.setStepObserver([&](const Model::StepInfo& info) {
        ++frames;
        if (info.face)
            ++faceFrames;
        if (trace) {
            // Every value exactly, so that traces compare bit for bit.
            const cv::Rect& f = info.faceRect;
            out << QString::asprintf("step %llu %d %d %d %d %d %.9g %.9g %d %.9g %.9g %d %.17g %.17g %.17g %.17g\n",
                                     (unsigned long long)info.frame, int(info.face), f.x, f.y, f.width, f.height,
                                     double(info.eye1x), double(info.eye1y), info.eye1size, double(info.eye2x),
                                     double(info.eye2y), info.eye2size, info.mean1, info.dev1, info.mean2,
                                     info.dev2);
        }
    });

    if (mode == "detect") {
        // The preview frames are never marked shown, so the engine draws
        // only the first one and spends its time on detection.
        QObject::connect(&model, &Model::blinkDetected, [&] {
            ++blinks;
            const int frame = sourceFrames() - 1;
            out << "blink " << frame << " " << QString::number(frame / sourceFps(), 'f', 3) << "\n";
        });
        QObject::connect(&model, &Model::errorOccurred, [&](Error e) {
            out << "frames " << frames << " face_frames " << faceFrames << " blinks " << blinks << "\n";
            const QString reason = failureReason(e);
            if (!reason.isEmpty()) {
                out.flush();
                err << "lumora-replay: " << reason << "\n";
                err.flush();
            }
            finish(reason.isEmpty() ? 0 : 1);
        });
        if (synthetic)
            err << "synthetic script: " << synthetic->script().blinks.size() << " blinks in "
                << synthetic->script().length << " s\n";
        err.flush();
        QMetaObject::invokeMethod(&model, "startLivePreview", Qt::QueuedConnection);
    } else {
        QObject::connect(&model, &Model::blinkDetected, [&] { out << now() << " blinkDetected()\n"; });
        QObject::connect(&model, &Model::trainingStarted, [&] { out << now() << " trainingStarted()\n"; });
        QObject::connect(&model, &Model::webcamActivated,
                         [&](Feature f) { out << now() << " webcamActivated(" << int(f) << ")\n"; });
        QObject::connect(&model, &Model::userPresented,
                         [&](bool b) { out << now() << " userPresented(" << (b ? "true" : "false") << ")\n"; });
        QObject::connect(&model, &Model::measurementStarted,
                         [&](int n) { out << now() << " measurementStarted(" << n << ")\n"; });
        QObject::connect(&model, &Model::frameReceived, [&](const QImage&) {
            out << now() << " frameReceived()\n";
            model.previewFrameShown();
        });
        QObject::connect(&model, &Model::blinkReactionToReminder, [&](bool b) {
            out << now() << " blinkReactionToReminder(" << (b ? "true" : "false") << ")\n";
            if (b)
                finish(0);
        });
        QObject::connect(&model, &Model::measurementSuccessful, [&](float rate, int length) {
            out << now() << " measurementSuccessful(" << QString::number(double(rate), 'f', 1) << ", "
                << length << ")\n";
            finish(0);
        });
        QObject::connect(&model, &Model::errorOccurred, [&](Error e) {
            out << now() << " errorOccurred(" << int(e) << ")\n";
            out.flush();
            const QString reason = failureReason(e);
            err << "lumora-replay: "
                << (reason.isEmpty() ? QStringLiteral("the source ended before the run's report") : reason)
                << "\n";
            err.flush();
            finish(1);
        });
        QObject::connect(&model, &Model::stopped, [&] {
            out << now() << " stopped()\n";
            finish(0);
        });
        QMetaObject::invokeMethod(&model, mode == "measurement" ? "startBlinkMeasurement" : "startTraining",
                                  Qt::QueuedConnection);
    }
    return app.exec();
}
