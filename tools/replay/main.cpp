// lumora-replay: feeds a video file or the synthetic face to the real blink
// engine in virtual time, frame by frame at the source's frame rate, however
// fast or slow the machine is.

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <memory>

#include <opencv2/videoio.hpp>

#include "core/engineclock.h"
#include "core/framesource.h"
#include "core/model.h"
#include "tools/synthface/synthface.h"

namespace {

// A video file played as a camera; every frame read moves the clock on by
// one frame period.
class VideoFileSource : public FrameSource
{
public:
    VideoFileSource(QString path, double fps, std::shared_ptr<VirtualEngineClock> clock)
        : m_path(std::move(path)), m_fps(fps), m_clock(std::move(clock))
    {
    }
    bool open(int) override
    {
        m_capture.open(m_path.toStdString());
        if (m_capture.isOpened() && m_fps <= 0)
            m_fps = m_capture.get(cv::CAP_PROP_FPS);
        if (m_fps <= 0)
            m_fps = 30;
        return m_capture.isOpened();
    }
    bool isOpened() const override { return m_capture.isOpened(); }
    bool read(cv::Mat& frame) override
    {
        const bool ok = m_capture.read(frame);
        if (ok) {
            ++m_frames;
            m_clock->advanceSeconds(1.0 / m_fps);
        }
        return ok;
    }
    void release() override { m_capture.release(); }
    double fps() const { return m_fps; }
    int framesRead() const { return m_frames; }

private:
    QString m_path;
    double m_fps;
    std::shared_ptr<VirtualEngineClock> m_clock;
    cv::VideoCapture m_capture;
    int m_frames = 0;
};

bool verbose = false;

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
    QCommandLineOption verboseOption("verbose", "Show the engine's log lines.");
    parser.addOptions({fpsOption, modeOption, modelOption, verboseOption});
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
    double fps = parser.isSet(fpsOption) ? parser.value(fpsOption).toDouble() : 0;
    if (parser.isSet(fpsOption) && fps <= 0) {
        err << "lumora-replay: --fps needs a positive number\n";
        return 2;
    }

    auto clock = std::make_shared<VirtualEngineClock>();
    Model model;
    model.setClock(clock);

    const QString source = args.first();
    std::shared_ptr<synthface::SyntheticFaceSource> synthetic;
    std::shared_ptr<VideoFileSource> video;
    QTemporaryDir tempDir;
    QString modelFile = parser.value(modelOption);
    if (source == "synthetic" || source.startsWith("synthetic:")) {
        bool ok = true;
        const uint32_t seed = source.contains(':') ? source.section(':', 1).toUInt(&ok) : 1;
        if (!ok) {
            err << "lumora-replay: bad seed in " << source << "\n";
            return 2;
        }
        synthetic = std::make_shared<synthface::SyntheticFaceSource>(synthface::Script::random(seed),
                                                                     cv::Size(640, 480), fps > 0 ? fps : 30, seed);
        synthetic->setClock(clock);
        model.setFrameSource(synthetic);
        model.setFaceDetector(synthetic->faceDetector());
        if (modelFile.isEmpty())
            modelFile = "synthetic";
    } else {
        video = std::make_shared<VideoFileSource>(source, fps, clock);
        model.setFrameSource(video);
    }
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

    int exitCode = 0;
    if (mode == "detect") {
        quint64 frames = 0, faceFrames = 0, blinks = 0;
        model.setStepObserver([&](const Model::StepInfo& info) {
            ++frames;
            if (info.face)
                ++faceFrames;
        });
        // The preview frames are never marked shown, so the engine draws
        // only the first one and spends its time on detection.
        QObject::connect(&model, &Model::blinkDetected, [&] {
            ++blinks;
            const int frame = sourceFrames() - 1;
            out << "blink " << frame << " " << QString::number(frame / sourceFps(), 'f', 3) << "\n";
        });
        QObject::connect(&model, &Model::errorOccurred, [&](Error e) {
            // The end of the source reads as an empty frame.
            if (e != EMPTY_FRAME || sourceFrames() == 0) {
                err << "lumora-replay: engine error " << int(e) << "\n";
                exitCode = 1;
            }
            out << "frames " << frames << " face_frames " << faceFrames << " blinks " << blinks << "\n";
            out.flush();
            QCoreApplication::exit(exitCode);
        });
        if (synthetic)
            err << "synthetic script: " << synthetic->script().blinks.size() << " blinks in "
                << synthetic->script().length << " s\n";
        err.flush();
        QMetaObject::invokeMethod(&model, "startLivePreview", Qt::QueuedConnection);
    } else {
        auto finish = [&](int code) {
            out.flush();
            QCoreApplication::exit(code);
        };
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
