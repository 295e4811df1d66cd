// lumora-detect: runs the program's face detector on image files and prints
// one line per face:
//   confidence x y width height e0x e0y e1x e1y nx ny m0x m0y m1x m1y
// confidence is the engine's (score squared x 100, 0..100); coordinates are
// pixels of the image file.  By default the detector sees what the engine
// gives it: the image scaled to width 640, then a quarter of that with area
// averaging.  --raw runs it on the image as given.  --weights FILE uses a
// weight file instead of the built-in one (to try a trained set before it is
// built in).  Several images print "# FILE" before each one's faces.  A
// picture that cannot be read or has a shape no camera or photo has is
// reported on standard error and the others go on; the exit status is then 1.
#include "core/facedetection/facedetectcnn.h"
#include "core/facedetection/faceweights.h"
#include "core/framebounds.h"

#include <QImageReader>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace facedetect;

namespace {

int usage()
{
    std::fprintf(stderr, "usage: lumora-detect [--raw] [--weights FILE] IMAGE...\n");
    return 2;
}

// The picture's size from its header, before any pixel is decoded; an
// invalid size when the header cannot be read.
cv::Size headerSize(const std::string& path)
{
    QImageReader reader(QString::fromStdString(path));
    const QSize size = reader.size();
    return size.isValid() ? cv::Size(size.width(), size.height()) : cv::Size();
}

// Detects and prints the faces of one picture; an empty text, or why the
// picture cannot be used.
std::string detectImage(const std::string& path, bool raw, Filters* filters, bool header)
{
    const cv::Size declared = headerSize(path);
    if (!declared.empty() && !framebounds::usable(declared.width, declared.height))
        return "a picture of " + framebounds::shapeText(declared.width, declared.height) +
               " pixels, a shape no camera or photo has";
    cv::Mat img = cv::imread(path, cv::IMREAD_COLOR);
    if (img.empty())
        return "cannot read the picture";
    if (!framebounds::usable(img.cols, img.rows))
        return "a picture of " + framebounds::shapeText(img.cols, img.rows) +
               " pixels, a shape no camera or photo has";
    cv::Mat input = img;
    double back = 1.0; // detector pixels -> file pixels
    if (!raw) {
        const double f = 640.0 / img.cols;
        cv::Mat wide;
        cv::resize(img, wide, cv::Size(640, std::max(1, int(std::lround(img.rows * f)))), 0, 0,
                   f < 1.0 ? cv::INTER_AREA : cv::INTER_LINEAR);
        cv::resize(wide, input, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
        back = 4.0 / f;
    }
    if (!input.isContinuous())
        input = input.clone();
    if (header)
        std::printf("# %s\n", path.c_str());
    const std::vector<DetectedFace> faces =
        filters ? detectFaces(filters, input.data, input.cols, input.rows, int(input.step))
                : cnn_object_detect(input.data, input.cols, input.rows, int(input.step));
    for (const DetectedFace& d : faces) {
        const int confidence = int(short(d.score * d.score * 100.0f));
        std::printf("%d %ld %ld %ld %ld", confidence, std::lround(d.x * back), std::lround(d.y * back),
                    std::lround(d.width * back), std::lround(d.height * back));
        for (int v : d.landmarks)
            std::printf(" %ld", std::lround(v * back));
        std::printf("\n");
    }
    return std::string();
}

} // namespace

int main(int argc, char** argv)
{
    bool raw = false;
    std::string weightsPath;
    std::vector<std::string> images;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--raw")
            raw = true;
        else if (a == "--weights" && i + 1 < argc)
            weightsPath = argv[++i];
        else if (a.rfind("--", 0) == 0)
            return usage();
        else
            images.push_back(a);
    }
    if (images.empty())
        return usage();

    std::vector<unsigned char> weightFile;
    ConvLayerInfo table[kFaceLayerCount];
    static Filters filters[kFaceLayerCount];
    if (!weightsPath.empty()) {
        std::ifstream in(weightsPath, std::ios::binary);
        weightFile.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!buildLayerTable(weightFile.data(), weightFile.size(), table) || !buildFilters(table, filters)) {
            std::fprintf(stderr, "lumora-detect: cannot use weight file %s\n", weightsPath.c_str());
            return 1;
        }
    }

    int status = 0;
    for (const std::string& path : images) {
        // A bad image is reported and the next one goes on; the exit status
        // tells that one failed.
        std::string failure;
        try {
            failure = detectImage(path, raw, weightsPath.empty() ? nullptr : filters, images.size() > 1);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        if (!failure.empty()) {
            std::fflush(stdout);
            std::fprintf(stderr, "lumora-detect: %s: %s\n", path.c_str(), failure.c_str());
            status = 1;
        }
    }
    return status;
}
