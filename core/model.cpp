#include "core/model.h"

#include "core/framebounds.h"
#include "core/landmarkmodel.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <dlib/opencv/cv_image.h>
#include <dlib/serialize.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

namespace {
const QColor textColour(0, 202, 255);
const QColor goodColour(152, 200, 0);
const QColor fairColour(212, 85, 0);
const QColor poorColour(255, 0, 0);

// Landmark points beyond this distance from the frame's origin come from a
// model that has gone wrong; the eye arithmetic must not overflow on them.
constexpr long kFarthestLandmark = 1L << 20;

// Adds the engine thread's CPU time since the last mark to a stage.
class StageClock
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
        return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }
    Model::StageTimes* m_times;
    qint64 m_last;
};

bool landmarksUsable(const dlib::full_object_detection& shape)
{
    if (shape.num_parts() != 4)
        return false;
    for (unsigned long i = 0; i < 4; ++i) {
        const dlib::point& p = shape.part(i);
        if (p.x() > kFarthestLandmark || p.x() < -kFarthestLandmark || p.y() > kFarthestLandmark ||
            p.y() < -kFarthestLandmark)
            return false;
    }
    return true;
}
}  // namespace

Model::Model(QObject* parent)
    : QObject(parent),
      m_clock(std::make_shared<SteadyEngineClock>()),
      m_capture(std::make_shared<CameraFrameSource>()),
      m_ringMean1(std::make_unique<double[]>(RingSize)),
      m_ringMean2(std::make_unique<double[]>(RingSize)),
      m_ringDev2(std::make_unique<double[]>(RingSize)),
      m_ringDev1(std::make_unique<double[]>(RingSize)),
      m_ringFrameTime(std::make_unique<double[]>(RingSize))
{
    qDebug() << "Model::Model()";
    m_modeTimer.setClock(m_clock);
    m_noFaceTimer.setClock(m_clock);
}

Model::~Model()
{
    qDebug() << "Model::~Model() deleting objects";
    releaseCapture();
    delete m_currentFace;
    delete m_previousFace;
    std::free(m_detectorBuffer);
}

void Model::setFrameSource(std::shared_ptr<FrameSource> source)
{
    m_capture = std::move(source);
}

void Model::setClock(std::shared_ptr<EngineClock> clock)
{
    m_clock = std::move(clock);
    m_modeTimer.setClock(m_clock);
    m_noFaceTimer.setClock(m_clock);
}

// ---------------------------------------------------------------- set-up

void Model::init()
{
    qDebug() << "Model::init()";
    drawTexts();
    m_previewImage = QImage(400, 300, QImage::Format_RGB888);
    m_modeTimer.invalidate();

    m_detectorBuffer = std::malloc(0x20000);
    if (!m_detectorBuffer) {
        qDebug() << "Model::init low memory for face detection";
        emit modelUnavailable();
        return;
    }

    const QString path =
        m_modelFile.isEmpty() ? QCoreApplication::applicationDirPath() + "/data.dat" : m_modelFile;
    // The model's whole structure is checked before it is used: a damaged
    // file is an unreadable model, and so is one without the four eye
    // corners the engine reads.
    const QString failure =
        QString::fromStdString(landmarkmodel::load(QFile::encodeName(path).toStdString(), 4, m_landmarks));
    if (!failure.isEmpty()) {
        qDebug() << "Model::init" << QString("Unable to read file data.dat.") + failure;
        m_landmarks = dlib::shape_predictor();
        std::free(m_detectorBuffer);
        m_detectorBuffer = nullptr;
        emit modelUnavailable();
        return;
    }

    m_eyeRegionFactor = 2.0f;
    m_flowThreshold = 0.0025;
    m_minBlinkEnergy = 0.0075;
    m_maxBlinkDuration = 0.5;
    m_minBlinkDuration = 0.1;
    m_flowWindow = 15;
    m_flowLimit = 225;
    // The engine's images are small: handing their rows to OpenCV's thread
    // pool costs more than it gives, so OpenCV runs on the calling thread.
    cv::setNumThreads(0);
    emit modelInitialized();
}

void Model::drawTexts()
{
    // Fonts need a GUI application; without one (command-line tools) the
    // images stay plain black.
    const bool canDrawText = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (canDrawText) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen && screen->physicalDotsPerInch() > 0)
            m_textScale = 72.0 / screen->physicalDotsPerInch();
    }
    const QString texts[4] = {
        tr("empty frame received\ncamera disconnected\nor broken or bad cable\nor bad driver"),
        tr("camera is occupied or not connected"),
        tr("loading classifiers"),
        tr("missing file: data.dat or low memory"),
    };
    QImage* images[4] = {&m_emptyFrameImage, &m_cameraOccupiedImage, &m_loadingImage, &m_missingFileImage};
    for (int i = 0; i < 4; ++i) {
        QImage image(400, 300, QImage::Format_RGB888);
        image.fill(Qt::black);
        if (canDrawText) {
            QPainter painter(&image);
            painter.setPen(textColour);
            painter.setFont(QFont("Roboto", int(m_textScale * 18)));
            painter.drawText(image.rect(), Qt::AlignCenter, texts[i]);
        }
        *images[i] = image;
    }
}

// ---------------------------------------------------------------- requests

void Model::startTraining()
{
    qDebug() << "Model::startTraining()";
    if (cameraUse != 0) {
        qDebug() << "Model::startTraining(), this should never happen cameraUse" << cameraUse.load();
        return;
    }
    if (!m_detectorBuffer) {
        emit errorOccurred(LOW_MEMORY_OR_MISSING_MODEL);
        return;
    }
    m_livePreview = false;
    m_trainingReactionSent = false;
    m_noFaceTimeout = 3000;
    cameraUse = 1;
    m_blinkCount = 0;
    isStopRequired = false;
    m_failure.clear();
    startBlinkDetection();
}

void Model::startBlinkMeasurement()
{
    if (cameraUse != 0) {
        qDebug() << "Model::startMeasurement(), this should never happen cameraUse" << cameraUse.load();
        return;
    }
    if (!m_detectorBuffer) {
        emit errorOccurred(LOW_MEMORY_OR_MISSING_MODEL);
        return;
    }
    qDebug() << "Model: startMeasurement() ";
    m_livePreview = false;
    isStopRequired = false;
    m_noFaceTimeout = 10000;
    cameraUse = 2;
    m_blinkDurationSum = 0;
    m_blinkCount = 0;
    m_failure.clear();
    startBlinkDetection();
}

void Model::startLivePreview()
{
    if (cameraUse == 3)
        return;
    qDebug() << "Model: startLivePreview() ";
    if (cameraUse != 0) {
        qDebug() << "Model::startLivePreview(), this should never happen cameraUse" << cameraUse.load();
        return;
    }
    if (!m_detectorBuffer) {
        sendImage(m_missingFileImage);
        emit errorOccurred(LOW_MEMORY_OR_MISSING_MODEL);
        return;
    }
    m_livePreview = true;
    m_noFaceTimeout = -1;
    isStopRequired = false;
    cameraUse = 3;
    m_failure.clear();
    startBlinkDetection();
}

void Model::stop()
{
    qDebug() << "Model::stop()";
    QMutexLocker lock(&m_mutex);
    isStopRequired = false;
    if (cameraUse != 0) {
        isStopRequired = true;
        qDebug() << "Model::stop() isStopRequired=true;";
        return;
    }
    if (!m_isEnd) {
        emit stopped();
        qDebug() << "Model::stop() emit stopped();";
    }
}

void Model::quit()
{
    qDebug() << "Model::quit() m_isEnd=true; thread" << QThread::currentThreadId();
    m_isEnd = true;
    if (!m_capture || !m_capture->isOpened()) {
        qDebug() << "Model::quit() emitting finish thread" << QThread::currentThreadId();
        emit finished();
    }
}

void Model::setCameraID(int id)
{
    qDebug() << "Model::setCameraID" << id << m_cameraId;
    if (id != m_cameraId) {
        m_cameraId = id;
        m_reopen = true;
    }
}

// ---------------------------------------------------------------- endings

void Model::releaseCapture()
{
    if (m_capture && m_capture->isOpened())
        m_capture->release();
}

void Model::endStep()
{
    deleteFacePointers();
}

void Model::errorEnd(Error code)
{
    cameraUse = 0;
    if (!isStopRequired)
        emit errorOccurred(code);
    else
        stop();
    endStep();
}

void Model::emptyFrameEnd()
{
    cameraUse = 0;
    if (m_livePreview)
        sendImage(m_emptyFrameImage);
    errorEnd(EMPTY_FRAME);
}

void Model::cameraOccupiedEnd()
{
    qDebug() << "Model::startBlinkDetection() chosen camera occupied or not conected";
    cameraUse = 0;
    if (m_livePreview)
        sendImage(m_cameraOccupiedImage);
    errorEnd(CAMERA_OCCUPIED);
}

// ---------------------------------------------------------------- frame step

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
        if (cameraUse != 0)
            errorEnd(EMPTY_FRAME);
        else
            endStep();
    }
}

void Model::scaleFrame()
{
    // Scaled into a buffer of its own, which keeps its size from frame to
    // frame and so is not allocated anew.
    if (m_frameScale != 1.0f) {
        const int height = int(float(m_captured.rows) / m_frameScale);
        cv::resize(m_captured, m_frame, cv::Size(640, height), 0, 0, cv::INTER_LINEAR);
    } else {
        m_frame = m_captured;
    }
}

bool Model::frameUsable()
{
    // A shape no camera has (a hostile or broken source) would cost any
    // amount of time and memory once scaled to the processing width; a
    // frame whose size changed since the opening does not pair with the
    // previous one. Either ends the run as a broken camera does.
    QString fault;
    if (!framebounds::usable(m_captured.cols, m_captured.rows))
        fault = QString("frame of %1 pixels").arg(QString::fromStdString(framebounds::shapeText(m_captured.cols, m_captured.rows)));
    else if (cv::Size(m_captured.cols, m_captured.rows) != m_openedSize)
        fault = QString("frame size changed from %1 to %2")
                    .arg(QString::fromStdString(framebounds::shapeText(m_openedSize.width, m_openedSize.height)),
                         QString::fromStdString(framebounds::shapeText(m_captured.cols, m_captured.rows)));
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

bool Model::openCamera()
{
    qDebug() << "Model::startBlinkDetection() opening camera id" << m_cameraId;
    if (m_reopen) {
        releaseCapture();
        m_reopen = false;
    }
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

    m_capture->requestSize(640, 480);
    for (int i = 0; i < 7; ++i)
        m_capture->read(m_captured);
    if (!m_capture->read(m_captured) || m_captured.empty()) {
        qDebug() << "Model::startBlinkDetection() empty frame, camera disconnected in opening";
        releaseCapture();
        emptyFrameEnd();
        return false;
    }
    m_openedSize = cv::Size(m_captured.cols, m_captured.rows);
    if (!frameUsable())
        return false;

    m_frameScale = float(m_captured.cols) / 640.0f;
    scaleFrame();
    qDebug() << "model image after coeficient" << m_frameScale << m_frame.cols << m_frame.rows;

    m_previousTick = m_clock->nowNs();
    cv::cvtColor(m_frame, m_previousGrey, cv::COLOR_BGR2GRAY);
    cv::blur(m_previousGrey, m_previousGrey, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_DEFAULT);
    m_previewScale = float(m_frame.cols) / 400.0f;

    // Frame indices restart with the opening, so everything that refers to
    // them restarts too; the scanners begin at frame 1, the first one written.
    m_frameCounter = 0;
    m_scanner1 = Scanner();
    m_scanner2 = Scanner();
    m_previousBlink = blink();
    m_blinkBanner = 0;
    m_estimatedFps = 30;
    m_previewPending = false;
    // The measurement's three minutes restart with the opening; so do its
    // blinks, or the rate would count blinks from before it.
    if (cameraUse == 2) {
        m_blinkCount = 0;
        m_blinkDurationSum = 0;
    }

    m_modeTimer.start();
    if (cameraUse == 1)
        emit trainingStarted();
    if (cameraUse == 2)
        emit webcamActivated(MEASUREMENT);
    else if (cameraUse == 1)
        emit webcamActivated(INTERACTIVE_TRAINING);
    return true;
}

void Model::frameStep()
{
    // 1. Quit or stop.
    if (m_isEnd || isStopRequired) {
        releaseCapture();
        cameraUse = 0;
        if (m_isEnd) {
            qDebug() << "Model::startBlinkDetection() emitting finish while running blink detection";
            emit finished();
        }
        if (isStopRequired)
            stop();
        endStep();
        return;
    }

    // 2. Opening.
    if (!m_capture || !m_capture->isOpened() || m_reopen) {
        if (!openCamera())
            return;
    }

    // 3. Mode checks.
    if (cameraUse == 1) {
        if (m_blinkCount > 0) {
            releaseCapture();
            cameraUse = 0;
            emit blinkReactionToReminder(true);
            endStep();
            return;
        }
        if (m_modeTimer.elapsed() > 4000 && !m_trainingReactionSent) {
            m_trainingReactionSent = true;
            emit blinkReactionToReminder(false);
        }
    } else if (cameraUse == 2 && m_modeTimer.elapsed() > 180000) {
        releaseCapture();
        cameraUse = 0;
        const float rate = float(m_blinkCount / 3.0);
        const int length = m_blinkCount > 0 ? int(m_blinkDurationSum / m_blinkCount * 1000) : 0;
        emit measurementSuccessful(rate, length);
        endStep();
        return;
    }

    // 4. Next frame.
    StageClock stages(m_stageTimes);
    if (!m_capture->read(m_captured) || m_captured.empty()) {
        qDebug() << "Model::startBlinkDetection() empty frame, camera disconnected in cycle";
        releaseCapture();
        emptyFrameEnd();
        return;
    }
    if (!frameUsable())
        return;
    scaleFrame();
    stages.mark(StageFrame);

    // 5. Grey images; the previous one is blurred, the current one not.
    m_tick = m_clock->nowNs();
    if (m_frameCounter % 4 != 0 && m_previousFace) {
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
    // The previous image is blurred where the flow reads it, the eye
    // regions (flowForEye); nothing else reads the blurred image.
    stages.mark(StageGrey);

    // 6. Face search: the detector on every fourth frame while a face is
    // tracked, on every frame otherwise; the landmarks with the detector.
    EyeValues& e = m_eyes;
    if (m_frameCounter % 4 == 0) {
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
            if (landmarksUsable(shape))
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

    // 7. Frame time.
    ++m_frameCounter;
    const int slot = int(m_frameCounter % RingSize);
    m_ringFrameTime[slot] = double(m_tick - m_previousTick) / 1e9;

    // 8. No face.
    if (!m_currentFace) {
        if (m_frameCounter == 1 || m_previousFace) {
            qDebug() << "Model::startBlinkDetection() Face NOT DETECTED";
            if (m_noFaceTimeout > 0)
                m_noFaceTimer.start();
        }
        if (m_noFaceTimeout > 0 && m_noFaceTimer.elapsed() > m_noFaceTimeout - 2000) {
            qDebug() << "Model::startBlinkDetection() time no face" << m_noFaceTimer.elapsed()
                     << "threshold" << m_noFaceTimeout - 2000;
            releaseCapture();
            errorEnd(NO_FACE);
            return;
        }
    }

    // 9. Blink analysis.
    if (!m_previousFace) {
        m_ringMean1[slot] = 0;
        m_ringMean2[slot] = 0;
        m_ringDev1[slot] = 0;
        m_ringDev2[slot] = 0;
    } else {
        stages.mark(StageRest);
        analyseEyes();
        stages.mark(StageFlow);
    }

    // 10. Frame-rate guard.
    if (m_frameCounter % 31 == 0) {
        double sum = 0;
        for (quint64 k = m_frameCounter - 30; k <= m_frameCounter; ++k)
            sum += m_ringFrameTime[k % RingSize];
        if (sum > 0)
            m_estimatedFps = int(1.0 / (sum / 31.0));
        if (m_estimatedFps < 10 && !m_livePreview) {
            releaseCapture();
            qDebug() << "M: fps" << m_estimatedFps;
            errorEnd(LOW_FPS);
            return;
        }
    }

    // 11. Live preview.
    if (m_livePreview)
        drawPreview();

    if (m_stepObserver) {
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

    stages.mark(StageRest);

    // 12. This step becomes the previous one.
    cv::swap(m_grey, m_previousGrey);
    m_previousTick = m_tick;
    std::swap(m_eyes, m_previousEyes);
    delete m_previousFace;
    m_previousFace = m_currentFace;
    m_currentFace = nullptr;
    QTimer::singleShot(0, this, SLOT(startBlinkDetection()));
}

// ---------------------------------------------------------------- eyes

void Model::detectEyes(const dlib::full_object_detection& shape, float* eye1x, float* eye1y,
                       int* eye1size, float* eye2x, float* eye2y, int* eye2size) const
{
    auto eye = [this, &shape](unsigned a, unsigned b, float* x, float* y, int* size) {
        const dlib::point p = shape.part(a);
        const dlib::point q = shape.part(b);
        *x = float(p.x() + q.x()) / 2.0f;
        *y = float(p.y() + q.y()) / 2.0f;
        const double dx = double(p.x() - q.x());
        const double dy = double(p.y() - q.y());
        const int width = int(std::lround(std::sqrt(dx * dx + dy * dy)));
        *size = int(float(width) * m_eyeRegionFactor);
    };
    eye(0, 1, eye1x, eye1y, eye1size);
    eye(2, 3, eye2x, eye2y, eye2size);
}

void Model::calcAvgYandStdDev(double* avg, double* stdDev, cv::Mat flow, int radius, float factor,
                              float norm, int limit)
{
    *avg = 0;
    *stdDev = 0;
    if (radius < 0 || flow.empty() || flow.type() != CV_32FC2)
        return;
    const float discRadius = float(radius) / factor;
    const double divisor = std::max(1.0, double(norm));
    double sum = 0;
    // Kept from call to call (the engine's thread is its only caller), so
    // that a frame step allocates nothing here.
    thread_local std::vector<double> samples;
    samples.clear();
    samples.reserve(size_t((2 * radius + 1) * (2 * radius + 1)));
    for (int i = -radius; i <= radius; ++i) {
        for (int j = -radius; j <= radius; ++j) {
            if (!(std::sqrt(double(int(i * i + j * j))) < discRadius))
                continue;
            const int row = radius + i;
            const int col = radius + j;
            if (row >= flow.rows || col >= flow.cols)
                continue;
            const cv::Vec2f& v = flow.at<cv::Vec2f>(row, col);
            if (v[0] * v[0] + v[1] * v[1] < float(limit)) {
                const double value = v[1] / divisor;
                sum += value;
                samples.push_back(value);
            }
        }
    }
    if (samples.empty())
        return;
    const double mean = sum / double(samples.size());
    double variance = 0;
    for (double s : samples)
        variance += (s - mean) * (s - mean);
    variance /= double(samples.size());
    *avg = mean;
    *stdDev = variance > 1e-8 ? std::sqrt(variance) : variance;
}

cv::Rect Model::eyeRegion(float cx, float cy, int side) const
{
    const int h = int(side * 0.5);
    int x0 = int(cx) - h;
    int y0 = int(cy) - h;
    x0 = std::max(x0, 1);
    y0 = std::max(y0, 1);
    const int w = std::min(x0 + side, m_grey.cols - 2) - x0;
    int s = std::min(y0 + w, m_grey.rows - 2) - y0;
    s = std::max(s, 0);
    return s < 6 ? cv::Rect() : cv::Rect(x0, y0, s, s);
}

void Model::flowForEye(float cx, float cy, int side, float norm, double* mean, double* dev)
{
    *mean = 0;
    *dev = 0;
    const cv::Rect region = eyeRegion(cx, cy, side);
    if (region.empty())
        return;
    const int s = region.width;
    // The previous image's region blurred with its true neighbours around
    // it: the same values a blur of the whole image gives there.
    cv::blur(m_previousGrey(region), m_blurredRegion, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_DEFAULT);
    cv::calcOpticalFlowFarneback(m_blurredRegion, m_grey(region), m_flow, 0.5, 3, m_flowWindow, 3, 5,
                                 1.2, 0);
    calcAvgYandStdDev(mean, dev, m_flow, int(s * 0.5), m_eyeRegionFactor, norm, m_flowLimit);
}

void Model::analyseEyes()
{
    const EyeValues& p = m_previousEyes;
    const float dx = p.x1 - p.x2;
    const float dy = p.y1 - p.y2;
    const float norm = std::sqrt(dx * dx + dy * dy);
    double mean1, dev1, mean2, dev2;
    flowForEye(p.x1, p.y1, p.side1, norm, &mean1, &dev1);
    flowForEye(p.x2, p.y2, p.side2, norm, &mean2, &dev2);
    const int slot = int(m_frameCounter % RingSize);
    m_ringMean1[slot] = mean1;
    m_ringMean2[slot] = mean2;
    m_ringDev1[slot] = dev1;
    m_ringDev2[slot] = dev2;
    scanEye(m_scanner1, m_ringMean1.get(), m_ringDev1.get());
    scanEye(m_scanner2, m_ringMean2.get(), m_ringDev2.get());
}

void Model::scanEye(Scanner& s, const double* meanRing, const double* devRing)
{
    const double thr = m_flowThreshold;
    quint64 k = s.position;
    while (k <= m_frameCounter) {
        const int slot = int(k % RingSize);
        const double A = meanRing[slot];
        const double D = devRing[slot];
        const double T = m_ringFrameTime[slot];
        s.position = k + 1;
        bool abort = false;
        if (s.state == 0) {
            if (A > thr && D > thr) {
                s.state = 1;
                s.energy = D;
                s.onset = k - 1;
                s.duration = T;
            }
        } else if (s.duration > m_maxBlinkDuration) {
            abort = true;
        } else if (s.state == 1) {
            if (A < -thr && D > thr && s.energy > m_minBlinkEnergy) {
                s.state = 2;
                s.energy = D;
                s.duration += T;
            } else if (A > -thr && D > thr) {
                s.energy += D;
                s.duration += T;
            } else if (A < -thr && D > thr) {
                abort = true;
            } else {
                s.duration += T;
            }
        } else {
            if (A < thr && D > thr) {
                s.energy += D;
                s.duration += T;
            } else if (s.energy > m_minBlinkEnergy && s.duration > m_minBlinkDuration) {
                s.pending = blink{s.onset, k - 1, s.duration, s.energy};
                s.state = 0;
                mergeBlinks(s.pending);
                m_blinkBanner = m_blinkBannerLength;
            } else if (A > thr && D > thr) {
                abort = true;
            } else {
                s.duration += T;
            }
        }
        if (abort) {
            // Examine the failed candidate's frames again, from the one after
            // the frame that started it.
            s.state = 0;
            s.position = s.onset + 2;
        }
        k = s.position;
    }
}

void Model::mergeBlinks(blink record)
{
    const double intersection = double(qint64(m_previousBlink.end - record.start));
    const double unionLength = double(qint64(record.end - m_previousBlink.start));
    // A union of zero length cannot be the same blink seen twice.
    if (unionLength == 0 || intersection / unionLength < 0.3) {
        qDebug() << "Model:: blink detected";
        m_blinkCount += 1;
        m_blinkDurationSum += (m_previousBlink.duration + record.duration) * 0.5;
        emit blinkDetected();
    }
    m_previousBlink = record;
}

// ---------------------------------------------------------------- preview

QImage Model::convertToQImage(const cv::Mat& mat) const
{
    if (mat.empty())
        return QImage();
    const QImage view(mat.data, mat.cols, mat.rows, int(mat.step), QImage::Format_RGB888);
    return view.rgbSwapped();  // a deep copy that owns its pixels
}

void Model::sendImage(const QImage& image)
{
    emit frameReceived(image);
}

void Model::drawPreview()
{
    // The window shows one frame at a time; while it has not shown the last
    // one, newer frames are dropped instead of piling up in its queue.
    if (m_previewPending) {
        if (m_blinkBanner > 0)
            --m_blinkBanner;
        return;
    }
    cv::resize(m_frame, m_previewFrame, cv::Size(400, int(float(m_frame.rows) / m_previewScale)), 0, 0,
               cv::INTER_LINEAR);
    const QImage converted = convertToQImage(m_previewFrame);
    if (!converted.isNull())
        m_previewImage = converted;

    {
        QPainter painter(&m_previewImage);
        painter.setPen(m_estimatedFps >= 21 ? goodColour : m_estimatedFps >= 16 ? fairColour : poorColour);
        painter.setFont(QFont("Roboto", int(m_textScale * 16)));
        painter.drawText(QPoint(20, 30), QString::number(m_estimatedFps) + " fps");

        if (m_blinkBanner > 0) {
            --m_blinkBanner;
            painter.save();
            painter.setPen(textColour);
            QFont font("Roboto", int(m_textScale * 22));
            font.setWeight(75);
            painter.setFont(font);
            painter.setOpacity(double(m_blinkBanner) / m_blinkBannerLength);
            painter.drawText(m_previewImage.rect(), Qt::AlignHCenter, tr("blink detected"));
            painter.restore();
        }

        if (m_currentFace) {
            const cv::Rect& f = *m_currentFace;
            const int x1 = int(std::roundf(float(f.x) / m_previewScale));
            const int y1 = int(std::roundf(float(f.y) / m_previewScale));
            const int x2 = x1 + int(std::roundf(float(f.width) / m_previewScale)) - 3;
            const int y2 = y1 + int(std::roundf(float(f.height) / m_previewScale)) - 3;
            painter.setPen(goodColour);
            painter.drawRect(QRect(QPoint(x1, y1), QPoint(x2, y2)));

            painter.setPen(textColour);
            const int pw = m_previewImage.width();
            const int ph = m_previewImage.height();
            auto circle = [&](float ex, float ey, int side) {
                const float d = (float(side) / m_eyeRegionFactor) / m_previewScale - 1;
                const float cx = ex / m_previewScale - 1;
                const float cy = ey / m_previewScale - 1;
                if (d > 5 && cx - d > 1 && cy - d > 1 && cx + d < pw - 2 && cy + d < ph - 2)
                    painter.drawEllipse(QPointF(cx, cy), d / 2, d / 2);
            };
            circle(m_eyes.x1, m_eyes.y1, m_eyes.side1);
            circle(m_eyes.x2, m_eyes.y2, m_eyes.side2);
        }
    }
    m_previewPending = true;
    emit frameReceived(m_previewImage);
}
