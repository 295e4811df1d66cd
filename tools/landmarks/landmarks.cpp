#include "tools/landmarks/landmarks.h"
#include "tools/landmarks/options.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include <dlib/image_processing/shape_predictor_trainer.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace landmarks {

namespace {

double uniform(std::mt19937& rng, double lo, double hi)
{
    return std::uniform_real_distribution<double>(lo, hi)(rng);
}

bool chance(std::mt19937& rng, double p)
{
    return uniform(rng, 0, 1) < p;
}

cv::Point2f eyeCentre(const Points& p, int eye)
{
    return (p[2 * eye] + p[2 * eye + 1]) * 0.5f;
}

cv::Point2f apply(const cv::Matx23d& m, cv::Point2f p)
{
    return cv::Point2f(float(m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2)),
                       float(m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2)));
}

// Brightness, contrast, gamma, blur, sensor noise and JPEG loss, each with
// its own chance, as a webcam or an old photo would show them.
void degrade(cv::Mat& img, std::mt19937& rng, const AugmentOptions& o)
{
    const double contrast = uniform(rng, 0.45, 1.35);
    const double brightness = uniform(rng, -55, 55);
    const double gamma = chance(rng, 0.4) ? uniform(rng, 0.6, 1.6) : 1.0;
    cv::Mat lut(1, 256, CV_8U);
    for (int i = 0; i < 256; ++i) {
        double v = 255.0 * std::pow(i / 255.0, gamma);
        v = (v - 128.0) * contrast + 128.0 + brightness;
        lut.at<uchar>(i) = cv::saturate_cast<uchar>(v);
    }
    cv::LUT(img, lut, img);
    if (chance(rng, 0.5))
        cv::GaussianBlur(img, img, cv::Size(0, 0), uniform(rng, 0.3, o.maxBlurSigma));
    if (chance(rng, 0.5)) {
        cv::Mat noise(img.size(), CV_16S);
        cv::randn(noise, 0, uniform(rng, 1, o.maxNoiseSigma));
        cv::Mat wide;
        img.convertTo(wide, CV_16S);
        wide += noise;
        wide.convertTo(img, CV_8U);
    }
    if (chance(rng, 0.4)) {
        std::vector<uchar> buf;
        cv::imencode(".jpg", img, buf,
                     {cv::IMWRITE_JPEG_QUALITY, int(uniform(rng, o.minJpegQuality, 95))});
        img = cv::imdecode(buf, cv::IMREAD_GRAYSCALE);
    }
}

// Moves and resizes a box the way a detector's box varies from frame to
// frame and from one detector to another.
cv::Rect jitterBox(cv::Point2f centre, double width, double height, std::mt19937& rng,
                   const AugmentOptions& o)
{
    const double s = 1.0 + uniform(rng, -o.boxShrink, o.boxGrow);
    const double w = width * s;
    const double h = height * s * (1.0 + uniform(rng, -o.boxAspectJitter, o.boxAspectJitter));
    const double cx = centre.x + uniform(rng, -o.boxShiftJitter, o.boxShiftJitter) * w;
    const double cy = centre.y + uniform(rng, -o.boxShiftJitter, o.boxShiftJitter) * w;
    return cv::Rect(int(std::lround(cx - w / 2)), int(std::lround(cy - h / 2)),
                    int(std::lround(w)), int(std::lround(h)));
}

dlib::rectangle toDlibRect(const cv::Rect& r)
{
    return dlib::rectangle(r.x, r.y, r.x + r.width - 1, r.y + r.height - 1);
}

}  // namespace

// ---------------------------------------------------------------- labels

std::string formatLabel(const FaceLabel& l)
{
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(1);
    out << "source " << l.source << "\n";
    out << "frame " << l.frame << "\n";
    out << "person " << l.person << "\n";
    out << "box " << l.box.x << " " << l.box.y << " " << l.box.width << " " << l.box.height << "\n";
    if (!l.detectorBox.empty())
        out << "detbox " << l.detectorBox.x << " " << l.detectorBox.y << " " << l.detectorBox.width
            << " " << l.detectorBox.height << "\n";
    out << "points";
    for (const auto& p : l.points)
        out << " " << p.x << " " << p.y;
    out << "\n";
    out.precision(3);
    out << "openness " << l.openness << "\n";
    return out.str();
}

bool parseLabel(const std::string& text, FaceLabel* label)
{
    FaceLabel l;
    std::istringstream in(text);
    std::string line;
    bool haveSource = false, haveBox = false, havePoints = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream ls(line);
        std::string key;
        ls >> key;
        if (key == "source") {
            ls >> std::ws;
            std::getline(ls, l.source);
            haveSource = !l.source.empty();
        } else if (key == "frame") {
            if (!(ls >> l.frame))
                return false;
        } else if (key == "person") {
            ls >> l.person;
        } else if (key == "box") {
            haveBox = bool(ls >> l.box.x >> l.box.y >> l.box.width >> l.box.height) &&
                      l.box.width > 0 && l.box.height > 0;
            if (!haveBox)
                return false;
        } else if (key == "detbox") {
            cv::Rect& d = l.detectorBox;
            if (!(ls >> d.x >> d.y >> d.width >> d.height) || d.width <= 0 || d.height <= 0)
                return false;
        } else if (key == "points") {
            for (auto& p : l.points)
                if (!(ls >> p.x >> p.y))
                    return false;
            havePoints = true;
        } else if (key == "openness") {
            if (!(ls >> l.openness))
                return false;
        } else {
            return false;
        }
    }
    if (!haveSource || !haveBox || !havePoints)
        return false;
    if (l.person.empty())
        l.person = l.source;
    *label = l;
    return true;
}

bool readLabelFile(const std::string& path, FaceLabel* label)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::stringstream ss;
    ss << in.rdbuf();
    return parseLabel(ss.str(), label);
}

std::vector<FaceLabel> readLabelFolder(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.is_regular_file() && e.path().extension() == ".txt")
            files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    std::vector<FaceLabel> labels;
    for (const auto& f : files) {
        FaceLabel l;
        if (readLabelFile(f, &l))
            labels.push_back(l);
        else
            std::cerr << "skipping malformed label file " << f << "\n";
    }
    return labels;
}

std::vector<std::string> readHoldout(const std::string& path)
{
    std::vector<std::string> ids;
    forEachSettingLine(path, [&](std::istringstream& words) {
        std::string id;
        if (words >> id)
            ids.push_back(id);
    });
    return ids;
}

bool isHeldOut(const FaceLabel& label, const std::vector<std::string>& holdout)
{
    return std::find(holdout.begin(), holdout.end(), label.person) != holdout.end();
}

// ---------------------------------------------------------------- points

Points orderLeftToRight(Points p)
{
    std::sort(p.begin(), p.end(), [](cv::Point2f a, cv::Point2f b) { return a.x < b.x; });
    return p;
}

Points mirrorPoints(const Points& p, int imageWidth)
{
    Points m;
    for (int i = 0; i < 4; ++i)
        m[3 - i] = cv::Point2f(float(imageWidth - 1) - p[i].x, p[i].y);
    return m;
}

float eyeDistance(const Points& p)
{
    return float(cv::norm(eyeCentre(p, 1) - eyeCentre(p, 0)));
}

// ---------------------------------------------------------------- augmentation

Sample augment(const cv::Mat& grey, const FaceLabel& label, std::mt19937& rng,
               const AugmentOptions& o)
{
    const cv::Point2f centre(label.box.x + label.box.width * 0.5f,
                             label.box.y + label.box.height * 0.5f);
    const double targetWidth = uniform(rng, o.minBoxWidth, o.maxBoxWidth);
    const double scale = targetWidth / label.box.width;
    const double angle = uniform(rng, -o.maxRotationDeg, o.maxRotationDeg);

    // Cut a generous square around the face first, so the scaling below
    // never touches the whole photo, and shrink it with area averaging.
    const int half = int(label.box.width * 1.1) + 2;
    const cv::Rect cut(int(centre.x) - half, int(centre.y) - half, 2 * half, 2 * half);
    cv::Mat region;
    cv::copyMakeBorder(grey(cut & cv::Rect(0, 0, grey.cols, grey.rows)), region,
                       std::max(0, -cut.y), std::max(0, cut.br().y - grey.rows),
                       std::max(0, -cut.x), std::max(0, cut.br().x - grey.cols),
                       cv::BORDER_REPLICATE);
    cv::Mat small;
    const int side = std::max(8, int(std::lround(region.cols * scale)));
    const double s = double(side) / region.cols;
    cv::resize(region, small, cv::Size(side, side), 0, 0, s < 1 ? cv::INTER_AREA : cv::INTER_LINEAR);

    // Rotate about the face centre into an output square 1.6 box widths wide.
    const int outSide = int(std::lround(targetWidth * 1.6));
    cv::Matx23d rot = cv::getRotationMatrix2D(cv::Point2f(side / 2.f, side / 2.f), angle, 1.0);
    rot(0, 2) += outSide / 2.0 - side / 2.0;
    rot(1, 2) += outSide / 2.0 - side / 2.0;
    Sample out;
    cv::warpAffine(small, out.grey, rot, cv::Size(outSide, outSide), cv::INTER_LINEAR,
                   cv::BORDER_REPLICATE);

    // The same mapping for points: source -> cut -> scaled -> rotated.
    auto map = [&](cv::Point2f p) {
        const cv::Point2f q((p.x - cut.x) * float(s), (p.y - cut.y) * float(s));
        return apply(rot, q);
    };
    for (int i = 0; i < 4; ++i)
        out.points[i] = map(label.points[i]);
    const bool detector = !label.detectorBox.empty();
    const cv::Rect& base = detector ? label.detectorBox : label.box;
    AugmentOptions jitter = o;
    if (detector) {
        jitter.boxShrink = jitter.boxGrow = o.detectorSizeJitter;
        jitter.boxShiftJitter = o.detectorShiftJitter;
        jitter.boxAspectJitter = o.detectorAspectJitter;
    }
    const cv::Point2f boxCentre =
        map(cv::Point2f(base.x + base.width * 0.5f, base.y + base.height * 0.5f));
    out.box = jitterBox(boxCentre, base.width * s, base.height * s, rng, jitter);

    if (o.mirror && chance(rng, 0.5)) {
        cv::flip(out.grey, out.grey, 1);
        out.points = mirrorPoints(out.points, out.grey.cols);
        out.box.x = out.grey.cols - out.box.x - out.box.width;
    }
    // A strong rotation can swap the order of nearly level corners.
    out.points = orderLeftToRight(out.points);
    degrade(out.grey, rng, o);
    return out;
}

// ---------------------------------------------------------------- synthetic faces

namespace {

// Draws one almond-shaped eye between two corners with the given openness
// (0 closed, 1 wide open), iris position and shading.
void drawEye(cv::Mat& img, cv::Point2f a, cv::Point2f b, double open, double skin, std::mt19937& rng)
{
    const cv::Point2f mid = (a + b) * 0.5f;
    const cv::Point2f along = b - a;
    const float len = float(cv::norm(along));
    const cv::Point2f u = along / len;
    const cv::Point2f n(-u.y, u.x);  // points down in image coordinates
    const double up = len * 0.32 * open, down = len * 0.2 * open;
    std::vector<cv::Point> upper, lower;
    const int steps = 16;
    for (int i = 0; i <= steps; ++i) {
        const double t = double(i) / steps;
        const double bulge = std::sin(M_PI * t);
        const cv::Point2f base = a + along * float(t);
        upper.push_back(base - n * float(up * bulge));
        lower.push_back(base + n * float(down * bulge));
    }
    std::vector<cv::Point> almond(upper.begin(), upper.end());
    almond.insert(almond.end(), lower.rbegin(), lower.rend());
    const double sclera = std::min(255.0, skin + uniform(rng, 20, 80));
    cv::fillPoly(img, std::vector<std::vector<cv::Point>>{almond}, cv::Scalar(sclera), cv::LINE_AA);
    if (open > 0.08) {
        cv::Mat mask = cv::Mat::zeros(img.size(), CV_8U);
        cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{almond}, cv::Scalar(255));
        cv::Mat iris = img.clone();
        const cv::Point2f c = mid + u * float(uniform(rng, -0.15, 0.15) * len);
        cv::circle(iris, c, int(len * 0.22), cv::Scalar(uniform(rng, 10, 90)), -1, cv::LINE_AA);
        cv::circle(iris, c, int(len * 0.09), cv::Scalar(5), -1, cv::LINE_AA);
        iris.copyTo(img, mask);
    }
    const double lid = std::max(0.0, skin - uniform(rng, 60, 140));
    const int thick = std::max(1, int(len * 0.06));
    cv::polylines(img, upper, false, cv::Scalar(lid), thick + 1, cv::LINE_AA);
    cv::polylines(img, lower, false, cv::Scalar(lid * 0.5 + skin * 0.5), thick, cv::LINE_AA);
    // Lid crease above the eye.
    std::vector<cv::Point> crease;
    for (int i = 2; i <= steps - 2; ++i) {
        const double t = double(i) / steps;
        crease.push_back(a + along * float(t) - n * float((up + len * 0.12) * std::sin(M_PI * t)));
    }
    cv::polylines(img, crease, false, cv::Scalar(skin * 0.75), 1, cv::LINE_AA);
}

}  // namespace

Sample drawSyntheticFace(std::mt19937& rng)
{
    // Face in its own frame: unit = distance between eye centres, origin at
    // the midpoint of the eyes, y down.
    const double d = uniform(rng, 35, 90);  // eye distance in pixels
    const double boxW = BoxShape().widthPerEyeDistance * d;
    const int w = int(boxW * uniform(rng, 1.5, 1.9));
    Sample s;
    // Smooth random background: coarse noise blown up to full size.
    const int coarse = int(uniform(rng, 4, 24));
    cv::Mat bg(coarse, coarse, CV_8U);
    cv::randu(bg, cv::Scalar(uniform(rng, 0, 120)), cv::Scalar(uniform(rng, 130, 255)));
    cv::resize(bg, s.grey, cv::Size(w, w), 0, 0, cv::INTER_CUBIC);
    for (int i = 0, n = int(uniform(rng, 0, 8)); i < n; ++i)
        cv::line(s.grey, cv::Point(int(uniform(rng, 0, w)), int(uniform(rng, 0, w))),
                 cv::Point(int(uniform(rng, 0, w)), int(uniform(rng, 0, w))),
                 cv::Scalar(uniform(rng, 0, 255)), int(uniform(rng, 1, 6)));

    const double angle = uniform(rng, -20, 20) * M_PI / 180.0;
    const double yaw = uniform(rng, -0.15, 0.15);  // shifts features inside the oval
    const cv::Point2f origin(float(w / 2.0 + uniform(rng, -0.1, 0.1) * boxW),
                             float(w / 2.0 - BoxShape().centreDy * d + uniform(rng, -0.1, 0.1) * boxW));
    auto at = [&](double x, double y) {
        const double ca = std::cos(angle), sa = std::sin(angle);
        return cv::Point2f(float(origin.x + d * (ca * x - sa * y)),
                           float(origin.y + d * (sa * x + ca * y)));
    };
    const double skin = uniform(rng, 70, 200);
    cv::ellipse(s.grey, at(-yaw * 0.5, 0.45), cv::Size(int(d * uniform(rng, 0.95, 1.15)), int(d * uniform(rng, 1.35, 1.6))),
                angle * 180 / M_PI, 0, 360, cv::Scalar(skin), -1, cv::LINE_AA);
    // Shading across the face, drawn at an eighth of the size and blown up.
    cv::Mat shade(w / 8 + 1, w / 8 + 1, CV_8U, cv::Scalar(0));
    const cv::Point2f lit = at(uniform(rng, -1, 1), 0.5);
    cv::ellipse(shade, lit / 8, cv::Size(int(d * 0.1), int(d * 0.175)), 0, 0, 360,
                cv::Scalar(uniform(rng, 0, 40)), -1);
    cv::GaussianBlur(shade, shade, cv::Size(0, 0), d * 0.05);
    cv::resize(shade, shade, s.grey.size(), 0, 0, cv::INTER_LINEAR);
    cv::subtract(s.grey, shade, s.grey);

    const double eyeHalf = uniform(rng, 0.2, 0.27);
    const double open = chance(rng, 0.25) ? uniform(rng, 0.0, 0.25) : uniform(rng, 0.4, 1.1);
    Points p;
    for (int eye = 0; eye < 2; ++eye) {
        const double cx = (eye == 0 ? -0.5 : 0.5) + yaw * 0.3;
        const double tilt = uniform(rng, -0.05, 0.05);
        p[2 * eye] = at(cx - eyeHalf, eye == 0 ? tilt : -tilt);
        p[2 * eye + 1] = at(cx + eyeHalf, eye == 0 ? -tilt : tilt);
        const double browY = uniform(rng, -0.45, -0.3);
        cv::line(s.grey, at(cx - eyeHalf * 1.2, browY + 0.05), at(cx + eyeHalf * 1.2, browY),
                 cv::Scalar(skin * uniform(rng, 0.2, 0.6)), std::max(1, int(d * 0.08)), cv::LINE_AA);
    }
    for (int eye = 0; eye < 2; ++eye)
        drawEye(s.grey, p[2 * eye], p[2 * eye + 1], open, skin, rng);
    cv::line(s.grey, at(yaw * 0.5, 0.1), at(yaw * 0.5 + 0.05, 0.6), cv::Scalar(skin * 0.7), 1, cv::LINE_AA);
    cv::ellipse(s.grey, at(yaw * 0.5, 0.65), cv::Size(int(d * 0.18), int(d * 0.08)), angle * 180 / M_PI, 0, 180,
                cv::Scalar(skin * 0.6), std::max(1, int(d * 0.04)), cv::LINE_AA);
    cv::ellipse(s.grey, at(yaw * 0.5, 1.0), cv::Size(int(d * uniform(rng, 0.25, 0.4)), int(d * 0.06)),
                angle * 180 / M_PI, 0, 360, cv::Scalar(skin * 0.55), -1, cv::LINE_AA);

    s.points = orderLeftToRight(p);
    const cv::Point2f eyes = (eyeCentre(s.points, 0) + eyeCentre(s.points, 1)) * 0.5f;
    const AugmentOptions options;
    s.box = jitterBox(eyes + cv::Point2f(0, float(BoxShape().centreDy * d)), boxW, boxW, rng, options);
    degrade(s.grey, rng, options);
    return s;
}

// ---------------------------------------------------------------- training

TrainParams trainParamsFrom(const Options& o)
{
    TrainParams p;
    p.cascadeDepth = (unsigned long)o.num("cascade", double(p.cascadeDepth));
    p.treeDepth = (unsigned long)o.num("depth", double(p.treeDepth));
    p.treesPerLevel = (unsigned long)o.num("trees", double(p.treesPerLevel));
    p.oversampling = (unsigned long)o.num("oversampling", double(p.oversampling));
    p.nu = o.num("nu", p.nu);
    p.featurePoolSize = (unsigned long)o.num("pool", double(p.featurePoolSize));
    p.testSplits = (unsigned long)o.num("splits", double(p.testSplits));
    p.threads = (unsigned long)o.num("threads", double(p.threads));
    return p;
}

TrainingSetOptions trainingSetFrom(const Options& o)
{
    TrainingSetOptions t;
    t.perFace = int(o.num("per-face", t.perFace));
    t.perFrame = int(o.num("per-frame", t.perFrame));
    t.seed = uint32_t(o.num("seed", t.seed));
    t.detectorBoxes = o.num("detector-boxes", 1) != 0;
    t.augment.detectorSizeJitter = o.num("detector-size-jitter", t.augment.detectorSizeJitter);
    t.augment.detectorShiftJitter = o.num("detector-shift-jitter", t.augment.detectorShiftJitter);
    t.augment.detectorAspectJitter = o.num("detector-aspect-jitter", t.augment.detectorAspectJitter);
    return t;
}

dlib::shape_predictor train(const std::vector<Sample>& samples, const TrainParams& params)
{
    dlib::array<dlib::array2d<unsigned char>> images;
    std::vector<std::vector<dlib::full_object_detection>> objects;
    images.resize(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        toDlib(samples[i].grey, &images[i]);
        std::vector<dlib::point> parts;
        for (const auto& p : samples[i].points)
            parts.emplace_back(long(std::lround(p.x)), long(std::lround(p.y)));
        objects.push_back({dlib::full_object_detection(toDlibRect(samples[i].box), parts)});
    }
    dlib::shape_predictor_trainer trainer;
    trainer.set_cascade_depth(params.cascadeDepth);
    trainer.set_tree_depth(params.treeDepth);
    trainer.set_num_trees_per_cascade_level(params.treesPerLevel);
    trainer.set_oversampling_amount(params.oversampling);
    trainer.set_nu(params.nu);
    trainer.set_feature_pool_size(params.featurePoolSize);
    trainer.set_num_test_splits(params.testSplits);
    trainer.set_lambda(params.lambda);
    trainer.set_num_threads(params.threads);
    // Sample pixels around the eye line as well as on it: the four corners
    // alone span an almost flat box.
    trainer.set_feature_pool_region_padding(0.15);
    trainer.set_random_seed("lumora-eyes");
    if (params.verbose)
        trainer.be_verbose();
    return trainer.train(images, objects);
}

Points predict(const dlib::shape_predictor& model, const dlib::array2d<unsigned char>& image,
               const cv::Rect& box)
{
    const dlib::full_object_detection shape = model(image, toDlibRect(box));
    Points p;
    for (int i = 0; i < 4; ++i)
        p[i] = cv::Point2f(float(shape.part(i).x()), float(shape.part(i).y()));
    return p;
}

double percentile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double pos = q * double(values.size() - 1);
    const size_t lo = size_t(std::floor(pos));
    const size_t hi = std::min(values.size() - 1, lo + 1);
    return values[lo] + (values[hi] - values[lo]) * (pos - double(lo));
}

Accuracy evaluate(const dlib::shape_predictor& model, const std::vector<Sample>& samples)
{
    Accuracy acc;
    std::vector<double> errors;
    double seconds = 0;
    size_t predictions = 0;
    for (const auto& s : samples) {
        dlib::array2d<unsigned char> img;
        toDlib(s.grey, &img);
        const auto t0 = std::chrono::steady_clock::now();
        Points p;
        for (int r = 0; r < 20; ++r)
            p = predict(model, img, s.box);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        predictions += 20;
        const double dist = eyeDistance(s.points);
        double worst = 0;
        for (int i = 0; i < 4; ++i) {
            errors.push_back(cv::norm(p[i] - s.points[i]) / dist);
            worst = std::max(worst, errors.back());
        }
        acc.worstPerFace.push_back(worst);
    }
    acc.faces = samples.size();
    acc.median = percentile(errors, 0.5);
    acc.p90 = percentile(errors, 0.9);
    for (double e : errors)
        acc.mean += e / double(errors.size());
    acc.microsPerPrediction = predictions ? seconds * 1e6 / double(predictions) : 0;
    return acc;
}

// ---------------------------------------------------------------- sources

namespace {

cv::Mat loadImage(const std::string& sourcesFolder, const FaceLabel& label, bool colour)
{
    const std::string path = sourcesFolder + "/" + label.source;
    if (label.frame < 0)
        return cv::imread(path, colour ? cv::IMREAD_COLOR : cv::IMREAD_GRAYSCALE);
    // Clips are read once and kept, as many labels refer to the same clip.
    static std::map<std::pair<std::string, bool>, std::vector<cv::Mat>> clips;
    auto it = clips.find({path, colour});
    if (it == clips.end()) {
        std::vector<cv::Mat> frames;
        cv::VideoCapture cap(path);
        cv::Mat frame, grey;
        while (cap.read(frame)) {
            if (colour) {
                frames.push_back(frame.clone());
                continue;
            }
            cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
            frames.push_back(grey.clone());
        }
        it = clips.emplace(std::make_pair(path, colour), std::move(frames)).first;
    }
    if (label.frame >= int(it->second.size()))
        return cv::Mat();
    return it->second[size_t(label.frame)];
}

}  // namespace

cv::Mat loadSource(const std::string& sourcesFolder, const FaceLabel& label)
{
    return loadImage(sourcesFolder, label, false);
}

cv::Mat loadSourceColour(const std::string& sourcesFolder, const FaceLabel& label)
{
    return loadImage(sourcesFolder, label, true);
}

double iou(const cv::Rect& a, const cv::Rect& b)
{
    const double both = (a & b).area();
    const double either = double(a.area()) + double(b.area()) - both;
    return either > 0 ? both / either : 0;
}

namespace {

// Calls fn(label, grey image) for each label whose source can be read.
template <typename Fn>
void forEachSource(const std::string& sourcesFolder, const std::vector<FaceLabel>& labels, Fn fn)
{
    for (const auto& l : labels) {
        const cv::Mat grey = loadSource(sourcesFolder, l);
        if (grey.empty())
            std::cerr << "missing source " << l.source << " frame " << l.frame << "\n";
        else
            fn(l, grey);
    }
}

}  // namespace

std::vector<Sample> makeTestSet(const std::string& sourcesFolder,
                                const std::vector<FaceLabel>& labels, uint32_t seed,
                                int boxesPerFace)
{
    std::mt19937 rng(seed);
    const AugmentOptions jitter;
    std::vector<Sample> out;
    forEachSource(sourcesFolder, labels, [&](const FaceLabel& l, const cv::Mat& grey) {
        const cv::Point2f c(l.box.x + l.box.width * 0.5f, l.box.y + l.box.height * 0.5f);
        for (int i = 0; i < boxesPerFace; ++i) {
            Sample s;
            s.grey = grey;  // shared, not copied
            s.points = l.points;
            s.box = jitterBox(c, l.box.width, l.box.height, rng, jitter);
            out.push_back(s);
        }
    });
    return out;
}

std::vector<Sample> makeDetectorTestSet(const std::string& sourcesFolder,
                                        const std::vector<FaceLabel>& labels)
{
    std::vector<FaceLabel> found;
    for (const auto& l : labels)
        if (!l.detectorBox.empty())
            found.push_back(l);
    std::vector<Sample> out;
    forEachSource(sourcesFolder, found, [&](const FaceLabel& l, const cv::Mat& grey) {
        Sample s;
        s.grey = grey;
        s.points = l.points;
        s.box = l.detectorBox;
        out.push_back(s);
    });
    return out;
}

std::vector<Sample> makeTrainingSet(const std::string& sourcesFolder,
                                    const std::vector<FaceLabel>& labels,
                                    const TrainingSetOptions& options)
{
    std::mt19937 rng(options.seed);
    std::vector<Sample> out;
    forEachSource(sourcesFolder, labels, [&](const FaceLabel& l, const cv::Mat& grey) {
        int n = l.frame < 0 ? options.perFace : options.perFrame;
        if (l.openness < options.closedBelow)
            n *= 3;
        FaceLabel face = l;
        if (!options.detectorBoxes)
            face.detectorBox = cv::Rect();
        for (int i = 0; i < n; ++i)
            out.push_back(augment(grey, face, rng, options.augment));
    });
    return out;
}

cv::Mat toCv(const dlib::array2d<unsigned char>& img)
{
    cv::Mat m(int(img.nr()), int(img.nc()), CV_8U);
    for (long r = 0; r < img.nr(); ++r)
        std::copy(&img[r][0], &img[r][0] + img.nc(), m.ptr<uchar>(int(r)));
    return m;
}

void toDlib(const cv::Mat& grey, dlib::array2d<unsigned char>* out)
{
    out->set_size(grey.rows, grey.cols);
    for (int r = 0; r < grey.rows; ++r)
        std::copy(grey.ptr<uchar>(r), grey.ptr<uchar>(r) + grey.cols, &(*out)[r][0]);
}

}  // namespace landmarks
