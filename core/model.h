#pragma once
// The camera and blink-detection engine. Lives on a thread of its own;
// every slot is reached through a queued connection.

#include <QFont>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <dlib/image_processing/shape_predictor.h>

#include "core/engineclock.h"
#include "core/framesource.h"
#include "core/lumoratypes.h"

class QPainter;

class Model : public QObject
{
    Q_OBJECT
public:
    explicit Model(QObject* parent = nullptr);
    ~Model() override;

    // One eye's view of a blink, in frame indices since the camera opened.
    struct blink {
        quint64 start = 0;
        quint64 end = 0;
        double duration = 0.25;  // seconds
        double energy = 0.0;
    };

    // What one frame step saw; handed to the step observer at its end.
    struct StepInfo {
        quint64 frame = 0;       // frame counter after this step
        cv::Size size;           // processing frame size
        bool face = false;       // a face was found or tracked
        cv::Rect faceRect;
        float eye1x = 0, eye1y = 0, eye2x = 0, eye2y = 0;
        int eye1size = 0, eye2size = 0;
        // Mean and deviation of each eye's flow in this step (0 without a
        // previous face).
        double mean1 = 0, dev1 = 0, mean2 = 0, dev2 = 0;
    };
    using StepObserver = std::function<void(const StepInfo&)>;

    // CPU time of the engine's thread in each part of the frame step, in
    // nanoseconds, added up while a table is set (for the benchmarks).
    enum Stage { StageFrame, StageGrey, StageFaces, StageLandmarks, StageFlow, StageRest, StageCount };
    struct StageTimes {
        qint64 ns[StageCount] = {};
    };
    void setStageTimes(StageTimes* times) { m_stageTimes = times; }

    // The face detector the engine calls: fills the result buffer and
    // returns it (or null). Defaults to cnn_face_detect; tests may replace it.
    using FaceDetectFn = std::function<int*(unsigned char* resultBuffer, unsigned char* image,
                                            int width, int height, int step)>;
    void setFaceDetector(FaceDetectFn detector) { m_faceDetect = std::move(detector); }

    // Seams for tests and tools; set them before init() and the first mode.
    void setFrameSource(std::shared_ptr<FrameSource> source);
    void setClock(std::shared_ptr<EngineClock> clock);
    void setModelFile(const QString& path) { m_modelFile = path; }
    void setStepObserver(StepObserver observer) { m_stepObserver = std::move(observer); }

    // The receiver of frameReceived() calls this once it has shown a
    // preview frame; until then newer preview frames are dropped.
    void previewFrameShown() { m_previewPending = false; }

    // Why the last run ended with an error the engine found itself (an
    // unusable frame, a frozen picture, a failed frame step); empty when the
    // camera simply gave no frame. For tools and logs; reset when a mode
    // starts.
    QString lastFailure() const { return m_failure; }

    // Runs the detector on a quarter-size copy of the frame and picks the
    // widest confident face, or the one nearest to the previous face. Writes
    // the eye centres and region sides of the chosen face; returns a new
    // rectangle the caller owns, or null.
    cv::Rect* detectBestNearestFace2(const cv::Mat& frame, cv::Rect* previous, float* eye1x,
                                     float* eye1y, int* eye1size, float* eye2x, float* eye2y,
                                     int* eye2size);
    // Deletes the current and the previous face and sets both to null.
    void deleteFacePointers();

    // Mean and deviation of the vertical flow, divided by the eye distance,
    // over the disc of radius / factor around the flow's centre; flow vectors
    // whose squared length is not below limit are left out.
    static void calcAvgYandStdDev(double* avg, double* stdDev, cv::Mat flow, int radius, float factor,
                                  float norm, int limit);
    // Eye centres and region sides from the four landmarks.
    void detectEyes(const dlib::full_object_detection& shape, float* eye1x, float* eye1y, int* eye1size,
                    float* eye2x, float* eye2y, int* eye2size) const;
    // Counts a blink unless it is the other eye's view of the one before.
    void mergeBlinks(blink record);

signals:
    void blinkDetected();
    void errorOccurred(Error);
    void stopped();
    void trainingStarted();
    void blinkReactionToReminder(bool);
    void measurementSuccessful(float, int);
    void userPresented(bool);
    void finished();
    // The receiver owns the image it gets (implicitly shared copy).
    void frameReceived(QImage frame);
    void measurementStarted(int);
    void webcamActivated(Feature);
    void modelInitialized();
    // The camera's picture has kept changing since it was opened (several
    // changes in a row, not one step): the camera delivers live pictures.
    // Once per opening.
    void pictureChanged();
    // init() could not read the landmark model or allocate the detector
    // buffer: the start-up chain ends here.
    void modelUnavailable();

public slots:
    void stop();
    void setCameraID(int id);
    void startBlinkMeasurement();
    void startTraining();
    void startLivePreview();
    void drawTexts();
    void init();
    void quit();

private slots:
    void startBlinkDetection();

private:
    // What cameraUse holds: the mode that runs the camera.
    enum CameraUse : int { NoMode = 0, TrainingMode = 1, MeasurementMode = 2, LivePreviewMode = 3 };
    // An eye scanner's state: the lid is open, closing or opening again.
    enum ScannerState : int { LidOpen = 0, LidClosing = 1, LidOpening = 2 };

    struct EyeValues {
        float x1 = 0, y1 = 0;
        int side1 = 0;
        float x2 = 0, y2 = 0;
        int side2 = 0;
    };
    struct Scanner {
        int state = LidOpen;
        double duration = 0;
        double energy = 0;
        quint64 onset = 0;
        quint64 position = 1;
        blink pending;
    };
    // Adds the engine thread's CPU time to the stages of StageTimes.
    class StageClock;

    static constexpr int RingSize = 10000;
    // The detection constants init() sets.
    static constexpr float kEyeRegionFactor = 2.0f;  // eye-region side = factor x eye width
    static constexpr double kFlowThreshold = 0.0025;  // lid motion, eye distances per frame
    static constexpr double kMinBlinkEnergy = 0.0075;
    static constexpr double kMaxBlinkDuration = 0.5;  // seconds
    static constexpr double kMinBlinkDuration = 0.1;  // seconds
    static constexpr int kFlowWindow = 15;             // Farneback window, pixels
    static constexpr int kFlowLimit = 225;             // flow this long (squared) or longer is left out
    // The eye corners the landmark model gives: two per eye.
    static constexpr int kLandmarkPoints = 4;
    // The box blur of the previous grey image, pixels a side.
    static constexpr int kBlurSide = 3;
    // The network runs on every this many frames while a face is tracked.
    static constexpr int kDetectorInterval = 4;
    static constexpr int kPreviewWidth = 400;
    static constexpr int kPreviewHeight = 300;
    // Preview frames the "blink detected" banner lasts.
    static constexpr int kBlinkBannerFrames = 50;
    // The frame rate assumed until the first estimate.
    static constexpr int kInitialFps = 30;
    // Font sizes are multiplied by this until drawTexts() knows the screen.
    static constexpr double kInitialTextScale = 0.8;

    // One frame step, told as its steps; a step that may end the run says
    // by its result whether it did.
    void frameStep();
    bool endOnStopOrQuit();
    bool cameraToOpen() const;
    bool openCamera();
    bool endOnModeDone();
    bool readFrame();
    void makeGrey();
    void searchFace(StageClock& stages);
    int countFrame();
    bool endOnAbsentFace();
    void measureBlinks(int slot, StageClock& stages);
    bool endOnLowFrameRate();
    void reportStep(int slot) const;
    void passToNextStep();

    // The camera opening, in its steps.
    bool openCapture();
    bool readFirstFrame();
    void setUpFrames();
    void restartFrameState();
    void announceOpening();
    bool frameUsable();
    bool endOnFrozenCamera();
    void countChange();
    void scaleFrame();
    void keepCaptured();
    void releaseCapture();

    void endStep();
    // The camera-test page tries the camera again after an error: a retry
    // writes neither its start nor an ending the same as the last one.
    bool quietRetry() const { return m_livePreview && m_previewEnding != NO_ERROR; }
    bool quietEnding(Error code) const { return m_livePreview && m_previewEnding == code; }
    void errorEnd(Error code);
    void emptyFrameEnd();
    void cameraOccupiedEnd();

    // The square an eye's flow is measured in (empty when under 6 pixels).
    cv::Rect eyeRegion(float cx, float cy, int side) const;
    void flowForEye(float cx, float cy, int side, float norm, double* mean, double* dev);
    void analyseEyes();
    void scanEye(Scanner& s, const double* meanRing, const double* devRing);
    // Advances a scanner by frame index k; true when its candidate fails.
    bool scanFrame(Scanner& s, quint64 k, double A, double D, double T);

    void drawPreview();
    void drawFrameRate(QPainter& painter) const;
    void drawBlinkBanner(QPainter& painter);
    void drawFaceAndEyes(QPainter& painter) const;
    QImage convertToQImage(const cv::Mat& mat) const;
    void sendImage(const QImage& image);

    QMutex m_mutex;
    bool m_reopen = false;
    bool m_trainingReactionSent = false;
    bool m_livePreview = false;
    double m_blinkCount = 0;
    double m_blinkDurationSum = 0;
    blink m_previousBlink;
    std::atomic<bool> m_isEnd{false};
    std::atomic<bool> isStopRequired{false};
    std::atomic<int> cameraUse{NoMode};
    int m_noFaceTimeout = -1;
    int m_cameraId = 0;
    quint64 m_frameCounter = 0;

    std::shared_ptr<EngineClock> m_clock;
    EngineTimer m_modeTimer;
    EngineTimer m_noFaceTimer;
    std::shared_ptr<FrameSource> m_capture;
    bool m_captureOpen = false;
    cv::Size m_openedSize;
    QString m_failure;

    QImage m_previewImage;
    QImage m_emptyFrameImage;
    QImage m_cameraOccupiedImage;
    QImage m_loadingImage;
    QImage m_missingFileImage;
    std::atomic<bool> m_previewPending{false};
    // Since the camera's picture last changed.
    EngineTimer m_unchangedTimer;
    // Changes of the picture in a row since the opening, the time of the
    // last one, and whether they have shown a live camera.
    int m_changesInRow = 0;
    qint64 m_lastChangeNs = 0;
    bool m_pictureLive = false;
    // The error that ended the last live preview, until a stop or a live
    // picture.
    Error m_previewEnding = NO_ERROR;
    // The last live preview ended on a still picture: the retries draw no
    // frame until a stop or a live picture, or the page would show the still
    // picture as live until it fails again.
    bool m_awaitLivePicture = false;

    cv::Mat m_captured;      // as the camera gave it
    cv::Mat m_lastCaptured;  // the frame before it, in a buffer of its own
    cv::Mat m_frame;         // scaled to width 640
    cv::Mat m_grey;
    cv::Mat m_previousGrey;
    cv::Mat m_previewFrame;

    float m_eyeRegionFactor = kEyeRegionFactor;
    double m_minBlinkEnergy = kMinBlinkEnergy;
    double m_flowThreshold = kFlowThreshold;
    double m_maxBlinkDuration = kMaxBlinkDuration;
    double m_minBlinkDuration = kMinBlinkDuration;
    int m_flowWindow = kFlowWindow;
    int m_flowLimit = kFlowLimit;
    double m_textScale = kInitialTextScale;
    // The banner's font, made by drawTexts() to fit the preview.
    QFont m_bannerFont;

    std::unique_ptr<double[]> m_ringMean1;
    std::unique_ptr<double[]> m_ringMean2;
    std::unique_ptr<double[]> m_ringDev2;
    std::unique_ptr<double[]> m_ringDev1;
    std::unique_ptr<double[]> m_ringFrameTime;
    qint64 m_tick = 0;
    qint64 m_previousTick = 0;
    Scanner m_scanner1;
    Scanner m_scanner2;

    float m_frameScale = 1.0f;
    float m_previewScale = 1.6f;
    EyeValues m_eyes;
    EyeValues m_previousEyes;
    cv::Mat m_blurredRegion;
    cv::Mat m_flow;
    cv::Mat m_smallFrame;  // the quarter-size copy the face detector sees
    QString m_modelFile;
    int m_blinkBanner = 0;
    int m_blinkBannerLength = kBlinkBannerFrames;
    int m_estimatedFps = kInitialFps;

    StepObserver m_stepObserver;
    StageTimes* m_stageTimes = nullptr;

    dlib::shape_predictor m_landmarks;
    FaceDetectFn m_faceDetect;
    void* m_detectorBuffer = nullptr;
    cv::Rect* m_currentFace = nullptr;
    cv::Rect* m_previousFace = nullptr;
};
