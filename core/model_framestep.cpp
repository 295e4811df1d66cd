// The engine's frame step: one camera frame read, its face found, the eyes'
// motion measured, and the next step posted.

#include "core/model.h"

#include <QDebug>
#include <QTimer>
#include <ctime>
#include <dlib/opencv/cv_image.h>
#include <opencv2/imgproc.hpp>

namespace {
// Interactive training answers "no blink" once after this many ms.
constexpr qint64 kTrainingAnswerMs = 4000;
// A measurement lasts three minutes; its rate is blinks per minute.
constexpr qint64 kMeasurementMs = 180000;
constexpr double kMeasurementMinutes = kMeasurementMs / 60000.0;
constexpr double kMsPerSecond = 1000;
constexpr qint64 kNsPerSecond = 1000000000;
// A lost face ends the run this many ms before the mode's no-face timeout.
constexpr int kNoFaceGraceMs = 2000;
// The frame rate is estimated over this many frames, at every such frame.
constexpr quint64 kFpsWindow = 31;
// Below this rate training and measurement cannot keep up and end.
constexpr int kMinFps = 10;

// Landmark points beyond this distance from the frame's origin come from a
// model that has gone wrong; the eye arithmetic must not overflow on them.
constexpr long kFarthestLandmark = 1L << 20;

bool landmarksUsable(const dlib::full_object_detection& shape, unsigned long points)
{
    if (shape.num_parts() != points)
        return false;
    for (unsigned long i = 0; i < points; ++i) {
        const dlib::point& p = shape.part(i);
        if (p.x() > kFarthestLandmark || p.x() < -kFarthestLandmark || p.y() > kFarthestLandmark ||
            p.y() < -kFarthestLandmark)
            return false;
    }
    return true;
}
}  // namespace

// Adds the engine thread's CPU time since the last mark to a stage.
class Model::StageClock
{
public:
    explicit StageClock(Model::StageTimes* times) : m_times(times), m_last(times ? now() : 0) {}
    void mark(Model::Stage stage)
    {
        if (!m_times)
            return;
        const qint64 t = now();
        m_times->ns[stage] += t - m_last;
        m_last = t;
    }

private:
    static qint64 now()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return qint64(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
    }
    Model::StageTimes* m_times;
    qint64 m_last;
};

void Model::startBlinkDetection()
{
    // Whatever OpenCV or dlib throw inside a step ends the run with a
    // report instead of taking the engine's thread down.
    try {
        frameStep();
    } catch (const std::exception& e) {
        qDebug() << "Model::startBlinkDetection() exception in frame step" << e.what();
        m_failure = QString::fromLocal8Bit(e.what()).trimmed();
        releaseCapture();
        if (cameraUse != NoMode)
            errorEnd(EMPTY_FRAME);
        else
            endStep();
    }
}

void Model::frameStep()
{
    if (endOnStopOrQuit())
        return;
    if (cameraToOpen() && !openCamera())
        return;
    if (endOnModeDone())
        return;

    StageClock stages(m_stageTimes);
    if (!readFrame())
        return;
    stages.mark(StageFrame);
    makeGrey();
    stages.mark(StageGrey);
    searchFace(stages);
    const int slot = countFrame();
    if (endOnAbsentFace())
        return;
    measureBlinks(slot, stages);
    if (endOnLowFrameRate())
        return;
    if (m_livePreview && !m_awaitLivePicture)
        drawPreview();
    reportStep(slot);
    stages.mark(StageRest);
    passToNextStep();
}

bool Model::endOnStopOrQuit()
{
    if (!m_isEnd && !isStopRequired)
        return false;
    releaseCapture();
    cameraUse = NoMode;
    if (m_isEnd) {
        qDebug() << "Model::startBlinkDetection() emitting finish while running blink detection";
        emit finished();
    }
    if (isStopRequired)
        stop();
    endStep();
    return true;
}

bool Model::cameraToOpen() const
{
    return !m_capture || !m_capture->isOpened() || m_reopen;
}

// Training ends with the first blink; a measurement when its time is up.
bool Model::endOnModeDone()
{
    if (cameraUse == TrainingMode) {
        if (m_blinkCount > 0) {
            releaseCapture();
            cameraUse = NoMode;
            emit blinkReactionToReminder(true);
            endStep();
            return true;
        }
        if (m_modeTimer.elapsed() > kTrainingAnswerMs && !m_trainingReactionSent) {
            m_trainingReactionSent = true;
            emit blinkReactionToReminder(false);
        }
    } else if (cameraUse == MeasurementMode && m_modeTimer.elapsed() > kMeasurementMs) {
        releaseCapture();
        cameraUse = NoMode;
        const float rate = float(m_blinkCount / kMeasurementMinutes);
        const int length = m_blinkCount > 0 ? int(m_blinkDurationSum / m_blinkCount * kMsPerSecond) : 0;
        emit measurementSuccessful(rate, length);
        endStep();
        return true;
    }
    return false;
}

bool Model::readFrame()
{
    if (!m_capture->read(m_captured) || m_captured.empty()) {
        qDebug() << "Model::startBlinkDetection() empty frame, camera disconnected in cycle";
        releaseCapture();
        emptyFrameEnd();
        return false;
    }
    if (!frameUsable() || endOnFrozenCamera())
        return false;
    scaleFrame();
    keepCaptured();
    return true;
}

// The grey image of this frame; the previous one is blurred where the flow
// reads it, in the eye regions (flowForEye), and nothing else reads it
// blurred.
void Model::makeGrey()
{
    m_tick = m_clock->nowNs();
    if (m_frameCounter % kDetectorInterval != 0 && m_previousFace) {
        // A tracked frame keeps the previous eyes, so its grey image is read
        // only in their regions: by this step's flow, and by the next one's
        // with the pixel around them that its blur takes in. Only those are
        // converted (each grey pixel depends on its colour pixel alone).
        m_grey.create(m_frame.rows, m_frame.cols, CV_8UC1);
        const cv::Rect frameRect(0, 0, m_frame.cols, m_frame.rows);
        for (const cv::Rect& eye : {eyeRegion(m_previousEyes.x1, m_previousEyes.y1, m_previousEyes.side1),
                                    eyeRegion(m_previousEyes.x2, m_previousEyes.y2, m_previousEyes.side2)}) {
            if (eye.empty())
                continue;
            const cv::Rect around = (eye + cv::Size(2, 2) - cv::Point(1, 1)) & frameRect;
            cv::Mat grey = m_grey(around);
            cv::cvtColor(m_frame(around), grey, cv::COLOR_BGR2GRAY);
        }
    } else {
        cv::cvtColor(m_frame, m_grey, cv::COLOR_BGR2GRAY);
    }
}

// The detector on every fourth frame while a face is tracked, on every
// frame otherwise; the landmarks with the detector.
void Model::searchFace(StageClock& stages)
{
    EyeValues& e = m_eyes;
    if (m_frameCounter % kDetectorInterval == 0) {
        m_currentFace = detectBestNearestFace2(m_frame, m_previousFace, &e.x1, &e.y1, &e.side1, &e.x2,
                                               &e.y2, &e.side2);
        stages.mark(StageFaces);
        if (m_currentFace) {
            // The model reads the grey image in place, without a copy.
            const dlib::cv_image<unsigned char> grey(m_grey);
            const cv::Rect& f = *m_currentFace;
            const dlib::full_object_detection shape =
                m_landmarks(grey, dlib::rectangle(f.x, f.y, f.x + f.width, f.y + f.height));
            // Points no face can have leave the detector's eyes in place.
            if (landmarksUsable(shape, kLandmarkPoints))
                detectEyes(shape, &e.x1, &e.y1, &e.side1, &e.x2, &e.y2, &e.side2);
        }
        stages.mark(StageLandmarks);
    } else if (m_previousFace) {
        m_currentFace = new cv::Rect(*m_previousFace);
        m_eyes = m_previousEyes;
    } else {
        m_currentFace = detectBestNearestFace2(m_frame, nullptr, &e.x1, &e.y1, &e.side1, &e.x2, &e.y2,
                                               &e.side2);
        stages.mark(StageFaces);
    }
}

// Counts the frame and keeps its time; returns its slot in the rings.
int Model::countFrame()
{
    ++m_frameCounter;
    const int slot = int(m_frameCounter % RingSize);
    m_ringFrameTime[slot] = double(m_tick - m_previousTick) / kNsPerSecond;
    return slot;
}

bool Model::endOnAbsentFace()
{
    if (m_currentFace)
        return false;
    if (m_frameCounter == 1 || m_previousFace) {
        qDebug() << "Model::startBlinkDetection() Face NOT DETECTED";
        if (m_noFaceTimeout > 0)
            m_noFaceTimer.start();
    }
    if (m_noFaceTimeout > 0 && m_noFaceTimer.elapsed() > m_noFaceTimeout - kNoFaceGraceMs) {
        qDebug() << "Model::startBlinkDetection() time no face" << m_noFaceTimer.elapsed() << "threshold"
                 << m_noFaceTimeout - kNoFaceGraceMs;
        releaseCapture();
        errorEnd(NO_FACE);
        return true;
    }
    return false;
}

// The eyes' motion since the previous step, which needs a face there.
void Model::measureBlinks(int slot, StageClock& stages)
{
    if (!m_previousFace) {
        m_ringMean1[slot] = 0;
        m_ringMean2[slot] = 0;
        m_ringDev1[slot] = 0;
        m_ringDev2[slot] = 0;
        return;
    }
    stages.mark(StageRest);
    analyseEyes();
    stages.mark(StageFlow);
}

bool Model::endOnLowFrameRate()
{
    if (m_frameCounter % kFpsWindow != 0)
        return false;
    double sum = 0;
    for (quint64 k = m_frameCounter - (kFpsWindow - 1); k <= m_frameCounter; ++k)
        sum += m_ringFrameTime[k % RingSize];
    if (sum > 0)
        m_estimatedFps = int(1.0 / (sum / double(kFpsWindow)));
    if (m_estimatedFps < kMinFps && !m_livePreview) {
        releaseCapture();
        qDebug() << "M: fps" << m_estimatedFps;
        errorEnd(LOW_FPS);
        return true;
    }
    return false;
}

void Model::reportStep(int slot) const
{
    if (!m_stepObserver)
        return;
    const EyeValues& e = m_eyes;
    StepInfo info;
    info.frame = m_frameCounter;
    info.size = m_frame.size();
    info.face = m_currentFace != nullptr;
    if (m_currentFace)
        info.faceRect = *m_currentFace;
    info.eye1x = e.x1, info.eye1y = e.y1, info.eye1size = e.side1;
    info.eye2x = e.x2, info.eye2y = e.y2, info.eye2size = e.side2;
    info.mean1 = m_ringMean1[slot], info.dev1 = m_ringDev1[slot];
    info.mean2 = m_ringMean2[slot], info.dev2 = m_ringDev2[slot];
    m_stepObserver(info);
}

// This step becomes the previous one, and the next step is posted.
void Model::passToNextStep()
{
    cv::swap(m_grey, m_previousGrey);
    m_previousTick = m_tick;
    std::swap(m_eyes, m_previousEyes);
    delete m_previousFace;
    m_previousFace = m_currentFace;
    m_currentFace = nullptr;
    QTimer::singleShot(0, this, SLOT(startBlinkDetection()));
}
