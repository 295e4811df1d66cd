#pragma once
// The camera and blink-detection engine. Lives on a thread of its own;
// every slot is reached through a queued connection.

#include <QImage>
#include <QMutex>
#include <QObject>
#include <atomic>
#include <functional>
#include <opencv2/core.hpp>
#include <dlib/image_processing/shape_predictor.h>

#include "core/lumoratypes.h"

class Model : public QObject
{
    Q_OBJECT
public:
    explicit Model(QObject* parent = nullptr);
    ~Model() override;

    // The face detector the engine calls: fills the result buffer and
    // returns it (or null). Defaults to cnn_face_detect; tests may replace it.
    using FaceDetectFn = std::function<int*(unsigned char* resultBuffer, unsigned char* image,
                                            int width, int height, int step)>;
    void setFaceDetector(FaceDetectFn detector) { m_faceDetect = std::move(detector); }

    // Runs the detector on a quarter-size copy of the frame and picks the
    // widest confident face, or the one nearest to the previous face. Writes
    // the eye centres and region sides of the chosen face; returns a new
    // rectangle the caller owns, or null.
    cv::Rect* detectBestNearestFace2(const cv::Mat& frame, cv::Rect* previous, float* eye1x,
                                     float* eye1y, int* eye1size, float* eye2x, float* eye2y,
                                     int* eye2size);
    // Deletes the current and the previous face and sets both to null.
    void deleteFacePointers();

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

public slots:
    void stop();
    void setCameraID(int id);
    void startBlinkMeasurement();
    void startTraining();
    void startLivePreview();
    void drawTexts();
    void init();
    void quit();

private:
    QMutex m_mutex;
    std::atomic<bool> m_isEnd{false};
    std::atomic<bool> isStopRequired{false};
    std::atomic<int> cameraUse{0};
    int m_cameraId = 0;
    void* m_detectorBuffer = nullptr;
    dlib::shape_predictor m_landmarks;
    FaceDetectFn m_faceDetect;
    cv::Rect* m_currentFace = nullptr;
    cv::Rect* m_previousFace = nullptr;
};
