#include "core/framesource.h"

#include <string>
#include <unistd.h>

bool CameraFrameSource::open(int index)
{
    // The V4L2 back end opens /dev/video<index>: with no such node it fails
    // anyway, after looking up its back ends and logging a warning, which
    // the camera-test page's retry of an unplugged camera would pay each time.
    if (index >= 0 && ::access(("/dev/video" + std::to_string(index)).c_str(), F_OK) != 0) {
        m_capture.release();
        return false;
    }
    m_capture.open(index, cv::CAP_V4L2);
    return m_capture.isOpened();
}

void CameraFrameSource::requestSize(int width, int height)
{
    m_capture.set(cv::CAP_PROP_FRAME_WIDTH, width);
    m_capture.set(cv::CAP_PROP_FRAME_HEIGHT, height);
}
