#pragma once
// An engine wired to the synthetic face on a virtual clock, with spies on
// every signal, for the engine's tests.

#include <QCoreApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cstring>
#include <memory>
#include <vector>

#include "core/model.h"
#include "tools/synthface/synthface.h"

namespace rig {

// The small eye-corner model, trained once per test program.
inline QString landmarkModel()
{
    static QTemporaryDir dir;
    static QString path;
    if (path.isEmpty()) {
        const QString file = dir.filePath("synthetic.dat");
        if (synthface::trainLandmarkModel(file.toStdString()))
            path = file;
    }
    return path;
}

// Fills a detector result buffer the way the face detector does: an int32
// count, then records of 142 int16 values (confidence, x, y, width, height,
// five landmark points).
struct FaceRecord {
    int confidence, x, y, width, height;
    int eye1x, eye1y, eye2x, eye2y;
};
inline int* fillDetectorBuffer(unsigned char* buffer, const std::vector<FaceRecord>& faces)
{
    const int32_t count = int32_t(faces.size());
    std::memcpy(buffer, &count, sizeof count);
    for (size_t i = 0; i < faces.size(); ++i) {
        int16_t rec[142] = {};
        const FaceRecord& f = faces[i];
        const int values[9] = {f.confidence, f.x, f.y, f.width, f.height, f.eye1x, f.eye1y, f.eye2x, f.eye2y};
        for (int k = 0; k < 9; ++k)
            rec[k] = int16_t(values[k]);
        std::memcpy(buffer + 4 + i * sizeof rec, rec, sizeof rec);
    }
    return reinterpret_cast<int*>(buffer);
}

struct Rig {
    std::shared_ptr<VirtualEngineClock> clock = std::make_shared<VirtualEngineClock>();
    std::shared_ptr<synthface::SyntheticFaceSource> source;
    Model model;
    QSignalSpy blinkDetected{&model, &Model::blinkDetected};
    QSignalSpy errorOccurred{&model, &Model::errorOccurred};
    QSignalSpy stopped{&model, &Model::stopped};
    QSignalSpy trainingStarted{&model, &Model::trainingStarted};
    QSignalSpy reaction{&model, &Model::blinkReactionToReminder};
    QSignalSpy measurement{&model, &Model::measurementSuccessful};
    QSignalSpy finished{&model, &Model::finished};
    QSignalSpy frames{&model, &Model::frameReceived};
    QSignalSpy webcam{&model, &Model::webcamActivated};
    QSignalSpy initialised{&model, &Model::modelInitialized};
    // Every signal in the order sent, by name.
    QStringList order;
    std::vector<double> blinkTimes;  // source time of the frame a blink was counted at
    std::vector<Model::StepInfo> steps;

    explicit Rig(synthface::Script script, cv::Size size = cv::Size(640, 480), double fps = 30,
                 bool acknowledgePreview = true)
    {
        source = std::make_shared<synthface::SyntheticFaceSource>(std::move(script), size, fps);
        source->setClock(clock);
        model.setClock(clock);
        model.setFrameSource(source);
        model.setFaceDetector(source->faceDetector());
        model.setModelFile(landmarkModel());
        model.setStepObserver([this](const Model::StepInfo& info) { steps.push_back(info); });
        auto log = [this](const char* name) { return [this, name] { order << name; }; };
        QObject::connect(&model, &Model::blinkDetected, [this] {
            order << "blinkDetected";
            blinkTimes.push_back((source->framesRead() - 1) / source->fps());
        });
        QObject::connect(&model, &Model::errorOccurred,
                         [this](Error e) { order << QString("errorOccurred(%1)").arg(int(e)); });
        QObject::connect(&model, &Model::stopped, log("stopped"));
        QObject::connect(&model, &Model::trainingStarted, log("trainingStarted"));
        QObject::connect(&model, &Model::blinkReactionToReminder,
                         [this](bool b) { order << QString("reaction(%1)").arg(b); });
        QObject::connect(&model, &Model::measurementSuccessful, log("measurementSuccessful"));
        QObject::connect(&model, &Model::finished, log("finished"));
        QObject::connect(&model, &Model::frameReceived, [this, acknowledgePreview](const QImage&) {
            order << "frameReceived";
            if (acknowledgePreview)
                model.previewFrameShown();
        });
        QObject::connect(&model, &Model::webcamActivated,
                         [this](Feature f) { order << QString("webcamActivated(%1)").arg(int(f)); });
    }

    bool init()
    {
        model.init();
        return initialised.count() == 1;
    }

    // True when the engine's face choice picks a face the detector reports;
    // the tests that need faces skip without it.
    bool faceChoiceReady()
    {
        float x1, y1, x2, y2;
        int s1, s2;
        cv::Mat frame(480, 640, CV_8UC3, cv::Scalar::all(0));
        Model probe;
        probe.setModelFile(landmarkModel());
        probe.setFaceDetector([](unsigned char* buffer, unsigned char*, int, int, int) -> int* {
            return buffer ? fillDetectorBuffer(buffer, {{99, 40, 30, 60, 70, 55, 50, 85, 50}}) : nullptr;
        });
        probe.init();
        std::unique_ptr<cv::Rect> face(probe.detectBestNearestFace2(frame, nullptr, &x1, &y1, &s1, &x2, &y2, &s2));
        return face && face->x == 160 && face->width == 240;
    }

    // Runs the event loop until a run reports or the timeout passes.
    bool waitForReport(int ms = 120000)
    {
        const int before = reports();
        QElapsedTimer t;
        t.start();
        while (reports() == before && t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return reports() > before;
    }
    int reports() const
    {
        int n = 0;
        for (const QString& s : order)
            if (s.startsWith("errorOccurred") || s == "stopped" || s == "measurementSuccessful" ||
                s == "reaction(1)" || s == "finished")
                ++n;
        return n;
    }
    // Processes queued steps until the source has produced n frames.
    void runUntilFrames(int n, int ms = 60000)
    {
        QElapsedTimer t;
        t.start();
        while (source->framesRead() < n && t.elapsed() < ms)
            QCoreApplication::processEvents();
    }
    double seconds() const { return double(clock->nowNs()) / 1e9; }
};

}  // namespace rig

#define REQUIRE_FACE_CHOICE(r)                                                                  \
    do {                                                                                        \
        if (!(r).faceChoiceReady())                                                             \
            QSKIP("the face choice of this build picks no face; needs the face detector merged"); \
    } while (0)
