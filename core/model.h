#pragma once
// The camera and blink-detection engine. Lives on a thread of its own;
// every slot is reached through a queued connection.

#include <QImage>
#include <QMutex>
#include <QObject>
#include <atomic>
#include <dlib/image_processing/shape_predictor.h>

#include "core/lumoratypes.h"

class Model : public QObject
{
    Q_OBJECT
public:
    explicit Model(QObject* parent = nullptr);
    ~Model() override;

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
};
