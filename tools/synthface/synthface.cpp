#include "tools/synthface/synthface.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include <dlib/image_processing.h>
#include <dlib/opencv/cv_image.h>
#include <opencv2/imgproc.hpp>

namespace synthface {

// ---------------------------------------------------------------- script

Script Script::random(uint32_t seed, double length)
{
    Script s;
    s.length = length;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> gap(1.5, 5.0);
    std::uniform_real_distribution<double> duration(0.15, 0.4);
    double t = 1.0;
    while (true) {
        const double d = duration(rng);
        if (t + d > length - 1.0)
            break;
        s.blinks.push_back({t, d});
        t += d + gap(rng);
    }
    return s;
}

Script Script::regular(int count, double first, double gap, double duration, double length)
{
    Script s;
    s.length = length;
    for (int i = 0; i < count; ++i)
        s.blinks.push_back({first + i * gap, duration});
    return s;
}

// ---------------------------------------------------------------- geometry

Geometry Geometry::forFrame(cv::Size size)
{
    Geometry g;
    g.faceWidth = 0.4f * float(size.width);
    g.faceHeight = std::min(1.3f * g.faceWidth, 0.92f * float(size.height));
    g.centre = cv::Point2f(float(size.width) / 2, float(size.height) / 2);
    const float eyeY = g.centre.y - g.faceHeight / 2 + 0.38f * g.faceHeight;
    g.leftEye = cv::Point2f(g.centre.x - 0.22f * g.faceWidth, eyeY);
    g.rightEye = cv::Point2f(g.centre.x + 0.22f * g.faceWidth, eyeY);
    g.eyeWidth = 0.18f * g.faceWidth;
    g.eyeHeight = 0.38f * g.eyeWidth;
    return g;
}

cv::Rect Geometry::faceRect() const
{
    return cv::Rect(int(std::lround(centre.x - faceWidth / 2)), int(std::lround(centre.y - faceHeight / 2)),
                    int(std::lround(faceWidth)), int(std::lround(faceHeight)));
}

// ---------------------------------------------------------------- drawing

namespace {

// Smooth random texture in [-1, 1].
cv::Mat texture(cv::Size size, double sigma, uint32_t seed)
{
    cv::Mat noise(size, CV_32F);
    cv::RNG rng(seed);
    rng.fill(noise, cv::RNG::UNIFORM, -1.0, 1.0);
    cv::GaussianBlur(noise, noise, cv::Size(0, 0), sigma);
    double lo, hi;
    cv::minMaxLoc(noise, &lo, &hi);
    const double scale = std::max(std::fabs(lo), std::fabs(hi));
    if (scale > 0)
        noise /= scale;
    return noise;
}

cv::Vec3b shade(const cv::Vec3f& colour, float t, float amount)
{
    return cv::Vec3b(cv::saturate_cast<uchar>(colour[0] + t * amount),
                     cv::saturate_cast<uchar>(colour[1] + t * amount),
                     cv::saturate_cast<uchar>(colour[2] + t * amount));
}

void drawBackground(cv::Mat& image, uint32_t seed)
{
    const cv::Mat t1 = texture(image.size(), 3.0, seed * 31 + 1);
    const cv::Mat t2 = texture(image.size(), 12.0, seed * 31 + 2);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x) {
            const float t = 0.5f * t1.at<float>(y, x) + 0.5f * t2.at<float>(y, x);
            image.at<cv::Vec3b>(y, x) = shade(cv::Vec3f(110, 100, 90), t, 40);
        }
}

void drawEye(cv::Mat& image, const cv::Mat& skin, cv::Point2f centre, float width, float height,
             double closure)
{
    const float a = width / 2;
    const float halfHeight = height / 2;
    const float irisRadius = 0.55f * height;
    const float pupilRadius = 0.22f * height;
    const int x0 = std::max(0, int(std::floor(centre.x - a)) - 1);
    const int x1 = std::min(image.cols - 1, int(std::ceil(centre.x + a)) + 1);
    const int y0 = std::max(1, int(std::floor(centre.y - halfHeight)) - 4);
    const int y1 = std::min(image.rows - 2, int(std::ceil(centre.y + halfHeight)) + 1);
    for (int x = x0; x <= x1; ++x) {
        const float u = float(x) + 0.5f - centre.x;
        if (std::fabs(u) >= a)
            continue;
        const float open = halfHeight * (1.0f - (u / a) * (u / a));
        const float top = centre.y - open;
        const float bottom = centre.y + open;
        const float shift = float(closure) * (bottom - top);
        const float lid = top + shift;
        for (int y = y0; y <= y1; ++y) {
            const float v = float(y) + 0.5f;
            cv::Vec3b& out = image.at<cv::Vec3b>(y, x);
            if (v >= lid - 2.0f && v < lid) {
                // Lashes along the lid's edge.
                out = cv::Vec3b(35, 30, 30);
            } else if (v < lid - 2.0f && v >= top - 2.0f) {
                // The lid: skin from above the eye, carried down with the edge.
                const float sy = v - shift - 0.5f;
                const int iy = std::max(0, int(std::floor(sy)));
                const float f = sy - float(iy);
                const cv::Vec3b& p = skin.at<cv::Vec3b>(iy, x);
                const cv::Vec3b& q = skin.at<cv::Vec3b>(std::min(iy + 1, skin.rows - 1), x);
                out = cv::Vec3b(cv::saturate_cast<uchar>(p[0] * (1 - f) + q[0] * f - 12),
                                cv::saturate_cast<uchar>(p[1] * (1 - f) + q[1] * f - 12),
                                cv::saturate_cast<uchar>(p[2] * (1 - f) + q[2] * f - 12));
            } else if (v >= lid && v < bottom) {
                const float dx = float(x) + 0.5f - centre.x;
                const float dy = v - centre.y;
                const float r = std::sqrt(dx * dx + dy * dy);
                const float angle = std::atan2(dy, dx);
                if (r < pupilRadius)
                    out = cv::Vec3b(15, 15, 15);
                else if (r < irisRadius)
                    out = shade(cv::Vec3f(40, 70, 95), std::sin(angle * 9.0f) * 0.6f + (r / irisRadius - 0.7f), 30);
                else
                    out = shade(cv::Vec3f(215, 220, 228), std::sin(float(x) * 0.9f) * std::cos(v * 0.7f), 10);
            }
        }
    }
}

}  // namespace

void renderFace(cv::Mat& image, cv::Mat& skin, const Geometry& g, double closure, uint32_t seed)
{
    const cv::Mat t1 = texture(image.size(), 1.5, seed * 17 + 3);
    const cv::Mat t2 = texture(image.size(), 6.0, seed * 17 + 4);
    const cv::Vec3f skinColour(120, 150, 200);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x) {
            const float dx = (float(x) - g.centre.x) / (g.faceWidth / 2);
            const float dy = (float(y) - g.centre.y) / (g.faceHeight / 2);
            if (dx * dx + dy * dy <= 1.0f) {
                const float t = 0.6f * t1.at<float>(y, x) + 0.4f * t2.at<float>(y, x);
                image.at<cv::Vec3b>(y, x) = shade(skinColour, t - 0.3f * (dx * dx + dy * dy), 35);
            }
        }
    // Brows, nose and mouth.
    const float ew = g.eyeWidth;
    for (const cv::Point2f& eye : {g.leftEye, g.rightEye})
        cv::ellipse(image, cv::Point(int(eye.x), int(eye.y - 1.4f * ew * 0.5f - g.eyeHeight)),
                    cv::Size(int(ew * 0.6f), std::max(2, int(ew * 0.09f))), 0, 0, 360,
                    cv::Scalar(50, 60, 80), cv::FILLED, cv::LINE_AA);
    const cv::Point nose(int(g.centre.x), int(g.leftEye.y + 0.22f * g.faceHeight));
    cv::line(image, cv::Point(int(g.centre.x), int(g.leftEye.y + ew * 0.3f)), nose, cv::Scalar(90, 115, 160),
             std::max(1, int(ew * 0.06f)), cv::LINE_AA);
    cv::ellipse(image, cv::Point(int(g.centre.x), int(g.leftEye.y + 0.38f * g.faceHeight)),
                cv::Size(int(ew * 0.9f), std::max(2, int(ew * 0.16f))), 0, 0, 360, cv::Scalar(80, 80, 170),
                cv::FILLED, cv::LINE_AA);
    image.copyTo(skin);
    renderEyes(image, skin, g, closure);
}

void renderEyes(cv::Mat& image, const cv::Mat& skin, const Geometry& g, double closure)
{
    drawEye(image, skin, g.leftEye, g.eyeWidth, g.eyeHeight, closure);
    drawEye(image, skin, g.rightEye, g.eyeWidth, g.eyeHeight, closure);
}

// ---------------------------------------------------------------- source

SyntheticFaceSource::SyntheticFaceSource(Script script, cv::Size size, double fps, uint32_t seed)
    : m_script(std::move(script)), m_size(size), m_fps(fps), m_geometry(Geometry::forFrame(size)),
      m_rng(seed)
{
    m_background.create(size, CV_8UC3);
    drawBackground(m_background, seed);
    m_base = m_background.clone();
    renderFace(m_base, m_skin, m_geometry, 0.0, seed);
    // Sensor noise: a pool of small random images, one added to each frame.
    cv::RNG rng(seed * 7 + 5);
    for (int i = 0; i < 12; ++i) {
        cv::Mat n(size, CV_8UC3);
        rng.fill(n, cv::RNG::UNIFORM, 0, 5);
        m_noise.push_back(n);
    }
}

bool SyntheticFaceSource::open(int)
{
    m_open = m_openable;
    return m_open;
}

double SyntheticFaceSource::closureAt(double t) const
{
    for (const ScriptedBlink& b : m_script.blinks) {
        if (t < b.start || t >= b.start + b.duration)
            continue;
        const double p = (t - b.start) / b.duration;
        if (p < 0.35)
            return p / 0.35;
        if (p < 0.45)
            return 1.0;
        return 1.0 - (p - 0.45) / 0.55;
    }
    return 0.0;
}

bool SyntheticFaceSource::faceAt(double t) const
{
    for (const Absence& a : m_script.absences)
        if (t >= a.start && t < a.end)
            return false;
    return true;
}

bool SyntheticFaceSource::read(cv::Mat& frame)
{
    if (!m_open)
        return false;
    const double t = m_frames / m_fps;
    if (t >= m_script.length) {
        frame.release();
        return false;
    }
    ++m_frames;
    if (m_clock)
        m_clock->advanceSeconds(1.0 / m_fps);
    m_lastFace = faceAt(t);
    if (m_lastFace) {
        m_base.copyTo(frame);
        const double c = closureAt(t);
        if (c > 0)
            renderEyes(frame, m_skin, m_geometry, c);
    } else {
        m_background.copyTo(frame);
    }
    m_rng = m_rng * 1664525u + 1013904223u;
    cv::add(frame, m_noise[(m_rng >> 16) % m_noise.size()], frame);
    cv::subtract(frame, cv::Scalar::all(2), frame);
    return true;
}

Model::FaceDetectFn SyntheticFaceSource::faceDetector()
{
    return [this](unsigned char* buffer, unsigned char*, int width, int, int) -> int* {
        if (!buffer)
            return nullptr;
        int32_t count = 0;
        if (m_lastFace) {
            count = 1;
            const float s = float(width) / float(m_size.width);
            const Geometry& g = m_geometry;
            const cv::Rect r = g.faceRect();
            int16_t rec[142] = {};
            rec[0] = 99;
            rec[1] = int16_t(std::lround(r.x * s));
            rec[2] = int16_t(std::lround(r.y * s));
            rec[3] = int16_t(std::lround(r.width * s));
            rec[4] = int16_t(std::lround(r.height * s));
            const cv::Point2f points[5] = {
                g.leftEye, g.rightEye, {g.centre.x, g.leftEye.y + 0.22f * g.faceHeight},
                {g.centre.x - 0.8f * g.eyeWidth, g.leftEye.y + 0.38f * g.faceHeight},
                {g.centre.x + 0.8f * g.eyeWidth, g.leftEye.y + 0.38f * g.faceHeight}};
            for (int i = 0; i < 5; ++i) {
                rec[5 + 2 * i] = int16_t(std::lround(points[i].x * s));
                rec[6 + 2 * i] = int16_t(std::lround(points[i].y * s));
            }
            std::memcpy(buffer + 4, rec, sizeof rec);
        }
        std::memcpy(buffer, &count, sizeof count);
        return reinterpret_cast<int*>(buffer);
    };
}

// ---------------------------------------------------------------- landmarks

bool trainLandmarkModel(const std::string& path, int samples, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    dlib::array<dlib::array2d<unsigned char>> images;
    std::vector<std::vector<dlib::full_object_detection>> shapes;
    const cv::Size size(320, 240);
    for (int i = 0; i < samples; ++i) {
        Geometry g = Geometry::forFrame(size);
        const float scale = 0.7f + 0.5f * unit(rng);
        const cv::Point2f offset((unit(rng) - 0.5f) * 60.0f, (unit(rng) - 0.5f) * 40.0f);
        auto place = [&](cv::Point2f p) { return g.centre + offset + (p - g.centre) * scale; };
        g.leftEye = place(g.leftEye);
        g.rightEye = place(g.rightEye);
        g.centre = g.centre + offset;
        g.faceWidth *= scale;
        g.faceHeight *= scale;
        g.eyeWidth *= scale;
        g.eyeHeight *= scale;

        cv::Mat colour(size, CV_8UC3), skin;
        drawBackground(colour, seed + i);
        renderFace(colour, skin, g, unit(rng) < 0.3f ? unit(rng) : 0.0, seed + i);
        cv::Mat grey;
        cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
        images.push_back(dlib::array2d<unsigned char>());
        dlib::assign_image(images.back(), dlib::cv_image<unsigned char>(grey));

        const cv::Rect r = g.faceRect();
        std::vector<dlib::point> parts;
        for (const cv::Point2f& eye : {g.leftEye, g.rightEye}) {
            parts.emplace_back(std::lround(eye.x - g.eyeWidth / 2), std::lround(eye.y));
            parts.emplace_back(std::lround(eye.x + g.eyeWidth / 2), std::lround(eye.y));
        }
        shapes.push_back({dlib::full_object_detection(
            dlib::rectangle(r.x, r.y, r.x + r.width, r.y + r.height), parts)});
    }
    dlib::shape_predictor_trainer trainer;
    trainer.set_oversampling_amount(10);
    trainer.set_cascade_depth(6);
    trainer.set_tree_depth(3);
    trainer.set_num_trees_per_cascade_level(40);
    trainer.set_feature_pool_size(200);
    trainer.set_num_threads(2);
    trainer.be_quiet();
    try {
        const dlib::shape_predictor sp = trainer.train(images, shapes);
        dlib::serialize(path) << sp;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace synthface
