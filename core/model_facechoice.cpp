// The engine's face choice: runs the detector on a quarter-size copy of the
// frame and picks the face to track.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <opencv2/imgproc.hpp>

#include "core/facedetection/facedetectcnn.h"
#include "core/model.h"

cv::Rect* Model::detectBestNearestFace2(const cv::Mat& frame, cv::Rect* previous, float* eye1x, float* eye1y,
                                        int* eye1size, float* eye2x, float* eye2y, int* eye2size)
{
    // The detector reads three bytes per pixel.
    if (frame.empty() || frame.type() != CV_8UC3)
        return nullptr;
    cv::Mat& small = m_smallFrame;
    cv::resize(frame, small, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    unsigned char* buffer = static_cast<unsigned char*>(m_detectorBuffer);
    const int step = int(small.step[0]);
    int* result = m_faceDetect ? m_faceDetect(buffer, small.data, small.cols, small.rows, step)
                               : facedetect::cnn_face_detect(buffer, small.data, small.cols, small.rows, step);
    const int count = result ? std::clamp(*result, 0, facedetect::kMaxFaceRecords) : 0;
    const short* records = reinterpret_cast<const short*>(reinterpret_cast<const unsigned char*>(result) + 4);

    const short* chosen = nullptr;
    if (!previous) {
        int widest = 0;
        for (int i = 0; i < count; ++i) {
            const short* r = records + i * facedetect::kFaceRecordShorts;
            if (r[3] >= 25 && r[0] >= 90 && (!chosen || r[3] > widest)) {
                chosen = r;
                widest = r[3];
            }
        }
    } else {
        const int cx = previous->x + previous->width / 2;
        const int cy = previous->y + previous->height / 2;
        int64_t nearest = INT_MAX;
        for (int i = 0; i < count; ++i) {
            const short* r = records + i * facedetect::kFaceRecordShorts;
            if (r[3] < 25 || r[0] < 40)
                continue;
            const int64_t dx = cx - (4 * r[1] + 2 * r[3]);
            const int64_t dy = cy - (4 * r[2] + 2 * r[4]);
            const int64_t d = dx * dx + dy * dy;
            if (!chosen || d < nearest) {
                chosen = r;
                nearest = d;
            }
        }
    }
    if (!chosen)
        return nullptr;

    // The rectangle, scaled to the frame and kept inside it (3 pixels clear
    // of the right and bottom edges), so that every crop of it is valid.
    const int left = 4 * chosen[1];
    const int top = 4 * chosen[2];
    const int x0 = std::max(0, left);
    const int y0 = std::max(0, top);
    const int x1 = std::min(left + 4 * chosen[3], frame.cols - 3);
    const int y1 = std::min(top + 4 * chosen[4], frame.rows - 3);
    if (x1 <= x0 || y1 <= y0)
        return nullptr;

    *eye1x = float(chosen[5] * 4);
    *eye1y = float(chosen[6] * 4);
    *eye2x = float(chosen[7] * 4);
    *eye2y = float(chosen[8] * 4);
    *eye1size = 2 * chosen[3];
    *eye2size = 2 * chosen[3];
    return new cv::Rect(x0, y0, x1 - x0, y1 - y0);
}

void Model::deleteFacePointers()
{
    delete m_currentFace;
    m_currentFace = nullptr;
    delete m_previousFace;
    m_previousFace = nullptr;
}
