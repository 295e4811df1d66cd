// Teacher labels for the face detector: dlib's frontal face detector gives the
// boxes, the 68-point model gives the five landmarks (eye centres, nose tip,
// mouth corners).  Reads image paths (one per line) on stdin and prints one
// line per face:
//   path score x y w h e0x e0y e1x e1y nx ny m0x m0y m1x m1y
// The first eye and the first mouth corner are the ones on the image's left.
// Images without a face print "path none" so that callers can tell a
// face-free image from a failed read ("path unreadable").
#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/opencv.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

dlib::dpoint mean(const dlib::full_object_detection &s, int from, int to)
{
    dlib::dpoint sum(0, 0);
    for (int i = from; i <= to; ++i)
        sum += dlib::dpoint(s.part(i));
    return sum / double(to - from + 1);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string model = argc > 1 ? argv[1]
                                       : "/usr/share/dlib/shape_predictor_68_face_landmarks.dat";
    // Upsampling finds faces down to about 40 pixels; images larger than this
    // are searched at their own size only (slow otherwise, and their faces are big).
    const long upsampleBelow = argc > 2 ? std::stol(argv[2]) : 1200;
    dlib::frontal_face_detector detector = dlib::get_frontal_face_detector();
    dlib::shape_predictor sp;
    dlib::deserialize(model) >> sp;

    std::string path;
    while (std::getline(std::cin, path)) {
        if (path.empty())
            continue;
        cv::Mat bgr = cv::imread(path, cv::IMREAD_COLOR);
        if (bgr.empty()) {
            std::printf("%s unreadable\n", path.c_str());
            continue;
        }
        cv::Mat grey;
        cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
        dlib::cv_image<unsigned char> img(grey);
        std::vector<dlib::rect_detection> dets;
        const int up = std::max(grey.cols, grey.rows) < upsampleBelow ? 1 : 0;
        if (up) {
            dlib::array2d<unsigned char> big;
            dlib::pyramid_up(img, big, dlib::pyramid_down<2>());
            detector(big, dets, 0.0);
            dlib::pyramid_down<2> pd;
            for (auto &d : dets)
                d.rect = pd.rect_down(d.rect);
        } else {
            detector(img, dets, 0.0);
        }
        if (dets.empty()) {
            std::printf("%s none\n", path.c_str());
            continue;
        }
        for (const auto &d : dets) {
            const dlib::full_object_detection s = sp(img, d.rect);
            dlib::dpoint e0 = mean(s, 36, 41), e1 = mean(s, 42, 47);
            dlib::dpoint m0 = dlib::dpoint(s.part(48)), m1 = dlib::dpoint(s.part(54));
            if (e0.x() > e1.x())
                std::swap(e0, e1);
            if (m0.x() > m1.x())
                std::swap(m0, m1);
            const dlib::dpoint n = dlib::dpoint(s.part(30));
            const dlib::rectangle &r = d.rect;
            std::printf("%s %.3f %ld %ld %ld %ld %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f\n",
                        path.c_str(), d.detection_confidence, r.left(), r.top(), r.width(),
                        r.height(), e0.x(), e0.y(), e1.x(), e1.y(), n.x(), n.y(), m0.x(), m0.y(),
                        m1.x(), m1.y());
        }
        std::fflush(stdout);
    }
    return 0;
}
