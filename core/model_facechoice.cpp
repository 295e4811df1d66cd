// The engine's face choice: runs the detector on a quarter-size copy of the
// frame and picks the face to track.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>
#include <opencv2/imgproc.hpp>

#include "core/facedetection/facedetectcnn.h"
#include "core/model.h"

namespace {

// The detector sees the frame at a quarter of its size.
constexpr int kDetectorScale = 4;
// The quarter-size copy's blocks: kDetectorScale x kDetectorScale pixels
// of three bytes each.
constexpr int kChannels = 3;
constexpr int kBlockPixels = kDetectorScale * kDetectorScale;
constexpr int kBlockRowBytes = kDetectorScale * kChannels;
// A face record: int16 values from byte 4 of the result buffer.
constexpr int kRecordsOffset = 4;
enum RecordField { Confidence = 0, Left, Top, Width, Height, Eye1X, Eye1Y, Eye2X, Eye2Y };
// Faces narrower than this, in the quarter-size copy, are left out.
constexpr short kMinFaceWidth = 25;
// The confidence a face needs to be picked when none is tracked, and to
// follow the tracked one.
constexpr short kNewFaceConfidence = 90;
constexpr short kTrackedFaceConfidence = 40;
// The rectangle stays this many pixels clear of the frame's right and
// bottom edges.
constexpr int kFaceEdgeMargin = 3;

// The quarter-size copy, as OpenCV's area resize makes it: each pixel is
// the mean of a 4 x 4 block, its sum times 1/16 rounded to the nearest
// (ties to even). Sizes that are no multiple of 4 are left to OpenCV; the
// common ones take this loop, which is several times faster.
void quarterSize(const cv::Mat& frame, cv::Mat& small)
{
    // The loop below adds up four rows and four pixels by hand.
    static_assert(kDetectorScale == 4, "quarterSize's fast path sums 4 x 4 blocks");
    if (frame.cols % kDetectorScale != 0 || frame.rows % kDetectorScale != 0 || frame.type() != CV_8UC3) {
        cv::resize(frame, small, cv::Size(), 1.0 / kDetectorScale, 1.0 / kDetectorScale, cv::INTER_AREA);
        return;
    }
    small.create(frame.rows / kDetectorScale, frame.cols / kDetectorScale, CV_8UC3);
    const int width = frame.cols * kChannels;
    thread_local std::vector<uint16_t> columns;
    columns.assign(size_t(width), 0);
    for (int y = 0; y < small.rows; ++y) {
        const uint8_t* r0 = frame.ptr<uint8_t>(kDetectorScale * y);
        const uint8_t* r1 = frame.ptr<uint8_t>(kDetectorScale * y + 1);
        const uint8_t* r2 = frame.ptr<uint8_t>(kDetectorScale * y + 2);
        const uint8_t* r3 = frame.ptr<uint8_t>(kDetectorScale * y + 3);
        uint16_t* c = columns.data();
        for (int i = 0; i < width; ++i)
            c[i] = uint16_t(r0[i] + r1[i] + r2[i] + r3[i]);
        uint8_t* out = small.ptr<uint8_t>(y);
        for (int x = 0; x < small.cols; ++x) {
            const uint16_t* block = c + kBlockRowBytes * x;
            for (int ch = 0; ch < kChannels; ++ch) {
                const int sum =
                    block[ch] + block[kChannels + ch] + block[2 * kChannels + ch] + block[3 * kChannels + ch];
                out[kChannels * x + ch] = cv::saturate_cast<uint8_t>(float(sum) * (1.f / kBlockPixels));
            }
        }
    }
}

// With no face tracked: the widest confident face.
const short* widestFace(const short* records, int count)
{
    const short* chosen = nullptr;
    int widest = 0;
    for (int i = 0; i < count; ++i) {
        const short* r = records + i * facedetect::kFaceRecordShorts;
        if (r[Width] >= kMinFaceWidth && r[Confidence] >= kNewFaceConfidence && (!chosen || r[Width] > widest)) {
            chosen = r;
            widest = r[Width];
        }
    }
    return chosen;
}

// With a face tracked: the face whose centre is nearest to its centre.
const short* nearestFace(const short* records, int count, const cv::Rect& previous)
{
    const short* chosen = nullptr;
    const int cx = previous.x + previous.width / 2;
    const int cy = previous.y + previous.height / 2;
    int64_t nearest = INT_MAX;
    for (int i = 0; i < count; ++i) {
        const short* r = records + i * facedetect::kFaceRecordShorts;
        if (r[Width] < kMinFaceWidth || r[Confidence] < kTrackedFaceConfidence)
            continue;
        const int64_t dx = cx - (kDetectorScale * r[Left] + kDetectorScale / 2 * r[Width]);
        const int64_t dy = cy - (kDetectorScale * r[Top] + kDetectorScale / 2 * r[Height]);
        const int64_t d = dx * dx + dy * dy;
        if (!chosen || d < nearest) {
            chosen = r;
            nearest = d;
        }
    }
    return chosen;
}

}  // namespace

cv::Rect* Model::detectBestNearestFace2(const cv::Mat& frame, cv::Rect* previous, float* eye1x, float* eye1y,
                                        int* eye1size, float* eye2x, float* eye2y, int* eye2size)
{
    // The detector reads three bytes per pixel.
    if (frame.empty() || frame.type() != CV_8UC3)
        return nullptr;
    cv::Mat& small = m_smallFrame;
    quarterSize(frame, small);
    unsigned char* buffer = static_cast<unsigned char*>(m_detectorBuffer);
    const int step = int(small.step[0]);
    int* result = m_faceDetect ? m_faceDetect(buffer, small.data, small.cols, small.rows, step)
                               : facedetect::cnn_face_detect(buffer, small.data, small.cols, small.rows, step);
    const int count = result ? std::clamp(*result, 0, facedetect::kMaxFaceRecords) : 0;
    const short* records =
        reinterpret_cast<const short*>(reinterpret_cast<const unsigned char*>(result) + kRecordsOffset);

    const short* chosen = previous ? nearestFace(records, count, *previous) : widestFace(records, count);
    if (!chosen)
        return nullptr;

    // The rectangle, scaled to the frame and kept inside it (3 pixels clear
    // of the right and bottom edges), so that every crop of it is valid.
    const int left = kDetectorScale * chosen[Left];
    const int top = kDetectorScale * chosen[Top];
    const int x0 = std::max(0, left);
    const int y0 = std::max(0, top);
    const int x1 = std::min(left + kDetectorScale * chosen[Width], frame.cols - kFaceEdgeMargin);
    const int y1 = std::min(top + kDetectorScale * chosen[Height], frame.rows - kFaceEdgeMargin);
    if (x1 <= x0 || y1 <= y0)
        return nullptr;

    *eye1x = float(chosen[Eye1X] * kDetectorScale);
    *eye1y = float(chosen[Eye1Y] * kDetectorScale);
    *eye2x = float(chosen[Eye2X] * kDetectorScale);
    *eye2y = float(chosen[Eye2Y] * kDetectorScale);
    // An eye region half the face's width.
    *eye1size = kDetectorScale / 2 * chosen[Width];
    *eye2size = kDetectorScale / 2 * chosen[Width];
    return new cv::Rect(x0, y0, x1 - x0, y1 - y0);
}

void Model::deleteFacePointers()
{
    delete m_currentFace;
    m_currentFace = nullptr;
    delete m_previousFace;
    m_previousFace = nullptr;
}
