#pragma once
// Where the engine's frames come from: a camera by default, or any other
// source (a video file, a synthetic face) that tests and tools put in.

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

class FrameSource
{
public:
    virtual ~FrameSource() = default;
    // Opens the device with this index; true when it is open afterwards.
    virtual bool open(int index) = 0;
    virtual bool isOpened() const = 0;
    // Asks for a frame size; a source may ignore it.
    virtual void requestSize(int width, int height) { (void)width; (void)height; }
    // Reads the next frame; false (or an empty frame) when none comes.
    virtual bool read(cv::Mat& frame) = 0;
    virtual void release() = 0;
};

// A camera through OpenCV's V4L2 back end.
class CameraFrameSource : public FrameSource
{
public:
    bool open(int index) override;
    bool isOpened() const override { return m_capture.isOpened(); }
    void requestSize(int width, int height) override;
    bool read(cv::Mat& frame) override { return m_capture.read(frame); }
    void release() override { m_capture.release(); }

private:
    cv::VideoCapture m_capture;
};
