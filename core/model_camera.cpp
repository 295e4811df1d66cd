// The engine's camera: opening it for a run, checking and scaling the frames
// it gives, and closing it.

#include "core/model.h"

#include "core/framebounds.h"

#include <QDebug>
#include <cstring>
#include <opencv2/imgproc.hpp>

namespace {
// Every frame is scaled to this width before any processing.
constexpr int kProcessingWidth = 640;
// The frame size asked of the camera.
constexpr int kRequestedWidth = 640;
constexpr int kRequestedHeight = 480;
// Frames read and dropped at the opening while the camera settles.
constexpr int kSettlingFrames = 7;
// A camera whose picture holds a face and has not changed by a single byte
// for this long has stopped delivering.
constexpr qint64 kFrozenCameraMs = 2000;
// A live camera's picture keeps changing: this many changes in a row, each
// within kLiveGapNs of the one before. One step, from a dark picture to a
// still photo, is no live camera.
constexpr int kLiveChanges = 5;
constexpr qint64 kLiveGapNs = 500 * 1000 * 1000;

QString shapeText(int width, int height)
{
    return QString::fromStdString(framebounds::shapeText(width, height));
}

// Byte for byte the same picture; two views of one buffer cannot tell.
bool samePicture(const cv::Mat& a, const cv::Mat& b)
{
    if (a.size() != b.size() || a.type() != b.type() || a.data == b.data)
        return false;
    const size_t row = size_t(a.cols) * a.elemSize();
    for (int y = 0; y < a.rows; ++y)
        if (std::memcmp(a.ptr(y), b.ptr(y), row) != 0)
            return false;
    return true;
}
}  // namespace

bool Model::openCamera()
{
    if (!quietRetry())
        qDebug() << "Model::startBlinkDetection() opening camera id" << m_cameraId;
    if (m_reopen) {
        releaseCapture();
        m_reopen = false;
    }
    if (!openCapture() || !readFirstFrame())
        return false;
    setUpFrames();
    keepCaptured();
    m_unchangedTimer.start();
    m_changesInRow = 0;
    m_lastChangeNs = m_clock->nowNs();
    m_pictureLive = false;
    restartFrameState();
    announceOpening();
    return true;
}

bool Model::openCapture()
{
    bool open = false;
    try {
        open = m_capture && m_capture->open(m_cameraId);
    } catch (const std::exception& e) {
        qDebug() << "exception while opening camera" << e.what();
        open = false;
    }
    if (!open || !m_capture->isOpened()) {
        cameraOccupiedEnd();
        return false;
    }
    return true;
}

bool Model::readFirstFrame()
{
    m_capture->requestSize(kRequestedWidth, kRequestedHeight);
    for (int i = 0; i < kSettlingFrames; ++i)
        m_capture->read(m_captured);
    if (!m_capture->read(m_captured) || m_captured.empty()) {
        if (!quietEnding(EMPTY_FRAME))
            qDebug() << "Model::startBlinkDetection() empty frame, camera disconnected in opening";
        releaseCapture();
        emptyFrameEnd();
        return false;
    }
    m_openedSize = cv::Size(m_captured.cols, m_captured.rows);
    return frameUsable();
}

// The scales, fixed for the whole opening, and the first frame as the
// previous one of the first step.
void Model::setUpFrames()
{
    m_frameScale = float(m_captured.cols) / float(kProcessingWidth);
    scaleFrame();
    if (!quietRetry())
        qDebug() << "model image after coeficient" << m_frameScale << m_frame.cols << m_frame.rows;

    m_previousTick = m_clock->nowNs();
    cv::cvtColor(m_frame, m_previousGrey, cv::COLOR_BGR2GRAY);
    cv::blur(m_previousGrey, m_previousGrey, cv::Size(kBlurSide, kBlurSide), cv::Point(-1, -1),
             cv::BORDER_DEFAULT);
    m_previewScale = float(m_frame.cols) / float(kPreviewWidth);
}

void Model::restartFrameState()
{
    // Frame indices restart with the opening, so everything that refers to
    // them restarts too; the scanners begin at frame 1, the first one written.
    m_frameCounter = 0;
    m_scanner1 = Scanner();
    m_scanner2 = Scanner();
    m_previousBlink = blink();
    m_blinkBanner = 0;
    m_estimatedFps = kInitialFps;
    m_previewPending = false;
    // The measurement's three minutes restart with the opening; so do its
    // blinks, or the rate would count blinks from before it.
    if (cameraUse == MeasurementMode) {
        m_blinkCount = 0;
        m_blinkDurationSum = 0;
    }
}

void Model::announceOpening()
{
    m_modeTimer.start();
    if (cameraUse == TrainingMode)
        emit trainingStarted();
    if (cameraUse == MeasurementMode)
        emit webcamActivated(MEASUREMENT);
    else if (cameraUse == TrainingMode)
        emit webcamActivated(INTERACTIVE_TRAINING);
}

bool Model::frameUsable()
{
    // A shape no camera has (a hostile or broken source) would cost any
    // amount of time and memory once scaled to the processing width; a
    // frame whose size changed since the opening does not pair with the
    // previous one. Either ends the run as a broken camera does.
    QString fault;
    if (!framebounds::usable(m_captured.cols, m_captured.rows))
        fault = QString("frame of %1 pixels").arg(shapeText(m_captured.cols, m_captured.rows));
    else if (cv::Size(m_captured.cols, m_captured.rows) != m_openedSize)
        fault = QString("frame size changed from %1 to %2")
                    .arg(shapeText(m_openedSize.width, m_openedSize.height),
                         shapeText(m_captured.cols, m_captured.rows));
    else if (m_captured.type() != CV_8UC3)
        fault = QString("frame of an unknown pixel type %1").arg(m_captured.type());
    if (fault.isEmpty())
        return true;
    qDebug() << "Model::startBlinkDetection() unusable frame:" << fault;
    m_failure = fault;
    releaseCapture();
    emptyFrameEnd();
    return false;
}

// A working camera's picture changes: sensor noise alone moves some byte
// within a few frames. A picture that holds a face and stays the same to
// the byte for longer than kFrozenCameraMs comes from a source that has
// stopped: OpenCV's V4L2 back end hands back its last picture when a frame
// cannot be decoded, a driver may repeat its last buffer, a virtual camera
// may show a still photo. A still picture with no face in it (a dark camera
// settling its exposure, a closed shutter) shows nothing to measure; it is
// the no-face path's business. A live picture differs early in the buffer,
// so the comparison costs next to nothing until the camera freezes.
bool Model::endOnFrozenCamera()
{
    if (!samePicture(m_captured, m_lastCaptured)) {
        countChange();
        m_unchangedTimer.start();
        return false;
    }
    // The previous step's face is this picture's: it is the same.
    if (!m_previousFace) {
        m_unchangedTimer.start();
        return false;
    }
    const qint64 unchanged = m_unchangedTimer.elapsed();
    if (unchanged <= kFrozenCameraMs)
        return false;
    if (!quietEnding(EMPTY_FRAME))
        qDebug() << "Model::endOnFrozenCamera() frozen frame, the same picture for" << unchanged << "ms";
    m_failure = QString("the camera has given the same picture for %1 ms").arg(unchanged);
    // The page's retries draw no frame of this camera until it is live.
    m_awaitLivePicture = m_livePreview && !isStopRequired;
    releaseCapture();
    emptyFrameEnd();
    return true;
}

// A change of the picture; once it has kept changing, the camera is live.
void Model::countChange()
{
    const qint64 now = m_clock->nowNs();
    m_changesInRow = now - m_lastChangeNs <= kLiveGapNs ? m_changesInRow + 1 : 1;
    m_lastChangeNs = now;
    if (m_pictureLive || m_changesInRow < kLiveChanges)
        return;
    m_pictureLive = true;
    m_previewEnding = NO_ERROR;
    m_awaitLivePicture = false;
    emit pictureChanged();
}

// The frame as the camera gave it becomes the one the next is compared
// with; the buffers change places, so the next read writes into the other
// one and nothing is copied.
void Model::keepCaptured()
{
    cv::swap(m_captured, m_lastCaptured);
}

void Model::scaleFrame()
{
    // Scaled into a buffer of its own, which keeps its size from frame to
    // frame and so is not allocated anew.
    if (m_frameScale != 1.0f) {
        const int height = int(float(m_captured.rows) / m_frameScale);
        cv::resize(m_captured, m_frame, cv::Size(kProcessingWidth, height), 0, 0, cv::INTER_LINEAR);
    } else {
        m_frame = m_captured;
    }
}

void Model::releaseCapture()
{
    if (m_capture && m_capture->isOpened())
        m_capture->release();
}
