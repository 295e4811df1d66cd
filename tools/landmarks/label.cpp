// Labels the training sources with the teacher: dlib's frontal face
// detector and the 68-point model of libdlib-data, whose points 36, 39, 42
// and 45 are the eye corners (36 and 39 belong to the subject's right eye,
// which appears on the image's left). Writes one small label file per face.
//
//   landmarks-label --sources DIR --out DIR [--teacher FILE] [--clip-step N]

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/image_transforms.h>
#include <dlib/serialize.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "tools/landmarks/landmarks.h"
#include "tools/landmarks/options.h"

namespace fs = std::filesystem;
using namespace landmarks;

namespace {

// Who is in a source: faces with the same id may be the same person and are
// held out together. Folders of one person (dlib's johns) and frames of the
// clips share an id; otherwise the file name without crop and number
// suffixes, so "audrey.jpg" and "audrey_crop.jpg" go together.
std::string personFor(const std::string& source, bool isClip, int faceIndex, int faces)
{
    const fs::path p(source);
    const std::string top = p.begin()->string();
    if (source.rfind("dlib/johns/", 0) == 0)
        return "johns-" + p.parent_path().filename().string();
    if (isClip)
        return top + "-clips";
    std::string stem = p.stem().string();
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    const auto crop = stem.find("_crop");
    if (crop != std::string::npos)
        stem.erase(crop);
    while (!stem.empty() && (std::isdigit((unsigned char)stem.back()) || stem.back() == '_' ||
                             stem.back() == '-'))
        stem.pop_back();
    std::string id = top + "-" + stem;
    if (faces > 1)
        id += "-face" + std::to_string(faceIndex);
    return id;
}

std::string fileNameFor(const std::string& source, int frame, int faceIndex)
{
    std::string name = source;
    std::replace(name.begin(), name.end(), '/', '_');
    if (frame >= 0)
        name += "_frame" + std::to_string(frame);
    return name + "_face" + std::to_string(faceIndex) + ".txt";
}

struct Teacher
{
    dlib::frontal_face_detector detector = dlib::get_frontal_face_detector();
    dlib::shape_predictor shapes;

    // Faces of one image; each becomes a label unless the teacher's shape
    // looks unreliable (a face turned far aside or too small to show eyes).
    std::vector<FaceLabel> label(const cv::Mat& bgr, int minBoxWidth)
    {
        dlib::array2d<unsigned char> img;
        cv::Mat grey;
        cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
        toDlib(grey, &img);
        // Small photos are searched at double size so smaller faces count.
        const bool up = std::max(grey.cols, grey.rows) < 1000;
        dlib::array2d<unsigned char> big;
        if (up) {
            dlib::pyramid_down<2> pyr;
            dlib::pyramid_up(img, big, pyr);
        }
        const auto& search = up ? big : img;
        std::vector<dlib::rectangle> rects = detector(search);
        std::sort(rects.begin(), rects.end(), [](const dlib::rectangle& a, const dlib::rectangle& b) {
            return a.left() != b.left() ? a.left() < b.left() : a.top() < b.top();
        });
        std::vector<FaceLabel> out;
        for (auto r : rects) {
            if (up)
                r = dlib::rectangle(r.left() / 2, r.top() / 2, r.right() / 2, r.bottom() / 2);
            if (r.width() < (unsigned long)minBoxWidth)
                continue;
            const dlib::full_object_detection s = shapes(img, r);
            auto pt = [&](int i) { return cv::Point2f(float(s.part(i).x()), float(s.part(i).y())); };
            FaceLabel l;
            l.box = cv::Rect(int(r.left()), int(r.top()), int(r.width()), int(r.height()));
            l.points = {pt(36), pt(39), pt(42), pt(45)};
            const float w1 = float(cv::norm(pt(39) - pt(36))), w2 = float(cv::norm(pt(45) - pt(42)));
            if (std::min(w1, w2) < 0.6f * std::max(w1, w2) || pt(36).x >= pt(45).x)
                continue;
            const float h1 = float(cv::norm(pt(37) - pt(41)) + cv::norm(pt(38) - pt(40))) / 2;
            const float h2 = float(cv::norm(pt(43) - pt(47)) + cv::norm(pt(44) - pt(46))) / 2;
            l.openness = (h1 / w1 + h2 / w2) / 2;
            l.points = orderLeftToRight(l.points);
            out.push_back(l);
        }
        return out;
    }
};

bool isImage(const fs::path& p)
{
    std::string e = p.extension().string();
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return e == ".jpg" || e == ".jpeg" || e == ".png";
}

bool isClip(const fs::path& p)
{
    const std::string e = p.extension().string();
    return e == ".webm" || e == ".avi";
}

}  // namespace

int main(int argc, char** argv)
{
    const Options opt(argc, argv, {});
    if (opt.bad() || !opt.has("sources") || !opt.has("out")) {
        std::cerr << "usage: landmarks-label --sources DIR --out DIR [--teacher FILE] "
                     "[--clip-step N] [--min-box N]\n";
        return 2;
    }
    const std::string sources = opt.str("sources");
    const std::string outDir = opt.str("out");
    const int clipStep = std::max(1, int(opt.num("clip-step", 2)));
    const int minBox = int(opt.num("min-box", 50));
    Teacher teacher;
    try {
        dlib::deserialize(opt.str("teacher", "/usr/share/dlib/shape_predictor_68_face_landmarks.dat")) >>
            teacher.shapes;
    } catch (const std::exception& e) {
        std::cerr << "cannot read the teacher model: " << e.what() << "\n";
        return 1;
    }
    fs::create_directories(outDir);

    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(sources))
        if (e.is_regular_file() && (isImage(e.path()) || isClip(e.path())))
            files.push_back(e.path());
    std::sort(files.begin(), files.end());

    int written = 0;
    auto write = [&](FaceLabel l, const std::string& rel, int frame, int index, int count, bool clip) {
        l.source = rel;
        l.frame = frame;
        l.person = personFor(rel, clip, index, count);
        std::ofstream(outDir + "/" + fileNameFor(rel, frame, index)) << formatLabel(l);
        ++written;
    };
    for (const auto& f : files) {
        const std::string rel = fs::relative(f, sources).generic_string();
        if (isImage(f)) {
            const cv::Mat bgr = cv::imread(f.string(), cv::IMREAD_COLOR);
            if (bgr.empty())
                continue;
            const auto faces = teacher.label(bgr, minBox);
            for (size_t i = 0; i < faces.size(); ++i)
                write(faces[i], rel, -1, int(i), int(faces.size()), false);
            if (!faces.empty())
                std::cout << rel << ": " << faces.size() << " faces\n";
        } else {
            cv::VideoCapture cap(f.string());
            cv::Mat bgr;
            int frame = 0, n = 0;
            for (; cap.read(bgr); ++frame) {
                if (frame % clipStep)
                    continue;
                const auto faces = teacher.label(bgr, minBox);
                // Only frames with one clear face: a clip follows one person.
                if (faces.size() == 1) {
                    write(faces[0], rel, frame, 0, 1, true);
                    ++n;
                }
            }
            std::cout << rel << ": " << n << " labelled frames of " << frame << "\n";
        }
    }
    std::cout << "wrote " << written << " label files to " << outDir << "\n";
    return 0;
}
