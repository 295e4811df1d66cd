#include "core/framesource.h"

bool CameraFrameSource::open(int index)
{
    m_capture.open(index, cv::CAP_V4L2);
    return m_capture.isOpened();
}

void CameraFrameSource::requestSize(int width, int height)
{
    m_capture.set(cv::CAP_PROP_FRAME_WIDTH, width);
    m_capture.set(cv::CAP_PROP_FRAME_HEIGHT, height);
}
