// The engine's eyes: their centres and regions from the landmarks, and the
// vertical motion inside each region by dense optical flow, kept per frame
// in the rings the blink scanners read.

#include "core/model.h"

#include <algorithm>
#include <cmath>
#include <vector>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

namespace {
// An eye region smaller than this many pixels a side gives no flow.
constexpr int kMinRegionSide = 6;
// The Farneback flow's other parameters: pyramid scale, levels and
// iterations, the pixel neighbourhood and its Gaussian's deviation.
constexpr double kPyramidScale = 0.5;
constexpr int kPyramidLevels = 3;
constexpr int kFlowIterations = 3;
constexpr int kPolyN = 5;
constexpr double kPolySigma = 1.2;
// Variances at or below this are taken as they are, not their roots.
constexpr double kVarianceFloor = 1e-8;
}  // namespace

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
    *stdDev = variance > kVarianceFloor ? std::sqrt(variance) : variance;
}

cv::Rect Model::eyeRegion(float cx, float cy, int side) const
{
    // At least one pixel from the top and left edges, two from the bottom
    // and right ones.
    const int h = int(side * 0.5);
    int x0 = int(cx) - h;
    int y0 = int(cy) - h;
    x0 = std::max(x0, 1);
    y0 = std::max(y0, 1);
    const int w = std::min(x0 + side, m_grey.cols - 2) - x0;
    int s = std::min(y0 + w, m_grey.rows - 2) - y0;
    s = std::max(s, 0);
    return s < kMinRegionSide ? cv::Rect() : cv::Rect(x0, y0, s, s);
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
    cv::blur(m_previousGrey(region), m_blurredRegion, cv::Size(kBlurSide, kBlurSide), cv::Point(-1, -1),
             cv::BORDER_DEFAULT);
    cv::calcOpticalFlowFarneback(m_blurredRegion, m_grey(region), m_flow, kPyramidScale, kPyramidLevels,
                                 m_flowWindow, kFlowIterations, kPolyN, kPolySigma, 0);
    calcAvgYandStdDev(mean, dev, m_flow, int(s * 0.5), m_eyeRegionFactor, norm, m_flowLimit);
}

// The flow of both eyes, in eye-distance units, into the rings at this
// frame's slot; then both scanners go on.
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
