// The engine's life and its requests: construction, init(), the start,
// stop and quit slots, and the endings a run can come to. The frame step is
// in model_framestep.cpp, the camera opening in model_camera.cpp, the eye
// flow in model_eyeflow.cpp, the blink scanners in model_blinks.cpp, the
// preview in model_preview.cpp and the face choice in model_facechoice.cpp.

#include "core/model.h"

#include "core/facedetection/facedetectcnn.h"
#include "core/landmarkmodel.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QThread>
#include <cstdlib>
#include <opencv2/core/utility.hpp>
#include <opencv2/core/utils/logger.hpp>

namespace {
// The face detector's result buffer; more than its records take.
constexpr size_t kDetectorBufferSize = 0x20000;
static_assert(kDetectorBufferSize >= size_t(facedetect::kFaceResultBufferSize), "the detector's records fit");

// How long a mode waits for a lost face before it gives up, in ms; the
// live preview's -1 never gives up.
constexpr int kTrainingNoFaceTimeoutMs = 3000;
constexpr int kMeasurementNoFaceTimeoutMs = 10000;
constexpr int kLivePreviewNoFaceTimeoutMs = -1;
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
    m_unchangedTimer.setClock(m_clock);
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
    m_unchangedTimer.setClock(m_clock);
}

// ---------------------------------------------------------------- set-up

void Model::init()
{
    qDebug() << "Model::init()";
    // A camera that is missing or busy is logged by the engine at every
    // try; OpenCV's own warning for each would only pile up in stderr.log,
    // which is for what nobody expected. Its errors still go there, and
    // OPENCV_LOG_LEVEL, when set, has its say.
    if (qEnvironmentVariableIsEmpty("OPENCV_LOG_LEVEL"))
        cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    drawTexts();
    m_previewImage = QImage(kPreviewWidth, kPreviewHeight, QImage::Format_RGB888);
    m_modeTimer.invalidate();

    m_detectorBuffer = std::malloc(kDetectorBufferSize);
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
    const QString failure = QString::fromStdString(
        landmarkmodel::load(QFile::encodeName(path).toStdString(), kLandmarkPoints, m_landmarks));
    if (!failure.isEmpty()) {
        qDebug() << "Model::init" << QString("Unable to read file data.dat.") + failure;
        m_landmarks = dlib::shape_predictor();
        std::free(m_detectorBuffer);
        m_detectorBuffer = nullptr;
        emit modelUnavailable();
        return;
    }

    m_eyeRegionFactor = kEyeRegionFactor;
    m_flowThreshold = kFlowThreshold;
    m_minBlinkEnergy = kMinBlinkEnergy;
    m_maxBlinkDuration = kMaxBlinkDuration;
    m_minBlinkDuration = kMinBlinkDuration;
    m_flowWindow = kFlowWindow;
    m_flowLimit = kFlowLimit;
    // The engine's images are small: handing their rows to OpenCV's thread
    // pool costs more than it gives, so OpenCV runs on the calling thread.
    cv::setNumThreads(0);
    emit modelInitialized();
}

// ---------------------------------------------------------------- requests

void Model::startTraining()
{
    qDebug() << "Model::startTraining()";
    if (cameraUse != NoMode) {
        qDebug() << "Model::startTraining(), this should never happen cameraUse" << cameraUse.load();
        return;
    }
    if (!m_detectorBuffer) {
        emit errorOccurred(LOW_MEMORY_OR_MISSING_MODEL);
        return;
    }
    m_livePreview = false;
    m_trainingReactionSent = false;
    m_noFaceTimeout = kTrainingNoFaceTimeoutMs;
    cameraUse = TrainingMode;
    m_blinkCount = 0;
    isStopRequired = false;
    m_failure.clear();
    startBlinkDetection();
}

void Model::startBlinkMeasurement()
{
    if (cameraUse != NoMode) {
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
    m_noFaceTimeout = kMeasurementNoFaceTimeoutMs;
    cameraUse = MeasurementMode;
    m_blinkDurationSum = 0;
    m_blinkCount = 0;
    m_failure.clear();
    startBlinkDetection();
}

void Model::startLivePreview()
{
    if (cameraUse == LivePreviewMode)
        return;
    if (m_previewEnding == NO_ERROR)
        qDebug() << "Model: startLivePreview() ";
    if (cameraUse != NoMode) {
        qDebug() << "Model::startLivePreview(), this should never happen cameraUse" << cameraUse.load();
        return;
    }
    if (!m_detectorBuffer) {
        sendImage(m_missingFileImage);
        emit errorOccurred(LOW_MEMORY_OR_MISSING_MODEL);
        return;
    }
    m_livePreview = true;
    m_noFaceTimeout = kLivePreviewNoFaceTimeoutMs;
    isStopRequired = false;
    cameraUse = LivePreviewMode;
    m_failure.clear();
    startBlinkDetection();
}

void Model::stop()
{
    qDebug() << "Model::stop()";
    QMutexLocker lock(&m_mutex);
    m_previewEnding = NO_ERROR;
    m_awaitLivePicture = false;
    isStopRequired = false;
    if (cameraUse != NoMode) {
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

void Model::endStep()
{
    deleteFacePointers();
}

void Model::errorEnd(Error code)
{
    cameraUse = NoMode;
    if (m_livePreview && !isStopRequired)
        m_previewEnding = code;
    if (!isStopRequired)
        emit errorOccurred(code);
    else
        stop();
    endStep();
}

void Model::emptyFrameEnd()
{
    cameraUse = NoMode;
    if (m_livePreview)
        sendImage(m_emptyFrameImage);
    errorEnd(EMPTY_FRAME);
}

void Model::cameraOccupiedEnd()
{
    if (!quietEnding(CAMERA_OCCUPIED))
        qDebug() << "Model::startBlinkDetection() chosen camera occupied or not conected";
    cameraUse = NoMode;
    if (m_livePreview)
        sendImage(m_cameraOccupiedImage);
    errorEnd(CAMERA_OCCUPIED);
}

