// Adds to each label file the box the program's own face detector gives for
// that face, the box the engine passes to the landmark model:
//
//   landmarks-detboxes --labels DIR --sources DIR [--min-iou X]
//
// The detector runs as the engine runs it: the frame scaled to width 640, the
// detector on a quarter-size copy, its box times four and kept inside the
// frame (3 pixels clear of the right and bottom edges); the box is written in
// the source's pixels. A detection belongs to the teacher's face with the
// highest intersection over union, at least --min-iou (default 0.3), with
// both of the teacher's eye centres inside it; faces the detector misses get
// no "detbox" line. Also checks that the detector's first eye landmark is the
// eye on the image's left, as the model's points 0 and 1 are.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#include <opencv2/imgproc.hpp>

#include "core/facedetection/facedetectcnn.h"
#include "tools/landmarks/landmarks.h"
#include "tools/landmarks/options.h"

using namespace landmarks;

namespace {

// Lowest confidence the engine accepts while following a face.
constexpr int kMinConfidence = 40;

struct Detection
{
    cv::Rect box;                  // source pixels, clamped like the engine's
    cv::Point2f eye0, eye1;        // the detector's eye landmarks 0 and 1
};

std::vector<Detection> detect(const cv::Mat& bgr)
{
    const double f = 640.0 / bgr.cols;
    cv::Mat wide, quarter;
    cv::resize(bgr, wide, cv::Size(640, std::max(1, int(std::lround(bgr.rows * f)))), 0, 0,
               f < 1.0 ? cv::INTER_AREA : cv::INTER_LINEAR);
    cv::resize(wide, quarter, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    std::vector<Detection> out;
    for (const auto& d : facedetect::cnn_object_detect(quarter.data, quarter.cols, quarter.rows,
                                                       int(quarter.step))) {
        if (int(short(d.score * d.score * 100.0f)) < kMinConfidence)
            continue;
        const int x0 = std::max(0, 4 * d.x), y0 = std::max(0, 4 * d.y);
        const int x1 = std::min(4 * (d.x + d.width), wide.cols - 3);
        const int y1 = std::min(4 * (d.y + d.height), wide.rows - 3);
        if (x1 <= x0 || y1 <= y0)
            continue;
        Detection det;
        det.box = cv::Rect(int(std::lround(x0 / f)), int(std::lround(y0 / f)),
                           int(std::lround((x1 - x0) / f)), int(std::lround((y1 - y0) / f)));
        det.eye0 = cv::Point2f(float(4 * d.landmarks[0] / f), float(4 * d.landmarks[1] / f));
        det.eye1 = cv::Point2f(float(4 * d.landmarks[2] / f), float(4 * d.landmarks[3] / f));
        out.push_back(det);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options opt(argc, argv, {});
    if (opt.bad() || !opt.has("labels") || !opt.has("sources")) {
        std::cerr << "usage: landmarks-detboxes --labels DIR --sources DIR [--min-iou X]\n";
        return 2;
    }
    const double minIou = opt.num("min-iou", 0.3);
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(opt.str("labels")))
        if (e.path().extension() == ".txt")
            files.push_back(e.path().string());
    std::sort(files.begin(), files.end());

    std::map<std::pair<std::string, int>, std::vector<Detection>> cache;
    int found = 0, missed = 0, unreadable = 0, eyeOrderAgrees = 0, eyeOrderDiffers = 0;
    std::vector<double> ious;
    for (const auto& file : files) {
        FaceLabel l;
        if (!readLabelFile(file, &l)) {
            std::cerr << "skipping malformed label file " << file << "\n";
            continue;
        }
        const auto key = std::make_pair(l.source, l.frame);
        auto it = cache.find(key);
        if (it == cache.end()) {
            if (cache.size() > 64)
                cache.clear();
            const cv::Mat bgr = loadSourceColour(opt.str("sources"), l);
            if (bgr.empty()) {
                std::cerr << "missing source " << l.source << " frame " << l.frame << "\n";
                ++unreadable;
                continue;
            }
            it = cache.emplace(key, detect(bgr)).first;
        }
        const cv::Point2f leftEye = (l.points[0] + l.points[1]) * 0.5f;
        const cv::Point2f rightEye = (l.points[2] + l.points[3]) * 0.5f;
        const Detection* best = nullptr;
        double bestIou = minIou;
        for (const auto& d : it->second) {
            const double v = iou(d.box, l.box);
            if (v >= bestIou && d.box.contains(leftEye) && d.box.contains(rightEye)) {
                best = &d;
                bestIou = v;
            }
        }
        l.detectorBox = best ? best->box : cv::Rect();
        if (best) {
            ++found;
            ious.push_back(bestIou);
            const double same = cv::norm(best->eye0 - leftEye) + cv::norm(best->eye1 - rightEye);
            const double swapped = cv::norm(best->eye0 - rightEye) + cv::norm(best->eye1 - leftEye);
            ++(same <= swapped ? eyeOrderAgrees : eyeOrderDiffers);
        } else {
            ++missed;
        }
        std::ofstream(file) << formatLabel(l);
    }
    std::printf("faces %d\nfound %d\nmissed %d\nunreadable %d\nmedian-iou %.3f\n"
                "eye-order-agrees %d\neye-order-differs %d\n",
                found + missed, found, missed, unreadable, percentile(ious, 0.5), eyeOrderAgrees,
                eyeOrderDiffers);
    return unreadable ? 1 : 0;
}
