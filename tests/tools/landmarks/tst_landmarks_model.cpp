// The committed eye-landmark model: it is the file the build puts beside the
// program, it loads with four points, stays small, and on faces of people it
// never saw in training, in the boxes the engine's own face detector gives,
// it finds the eye corners, the eye on the image's left first.

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <algorithm>
#include <dlib/image_transforms/assign_image.h>
#include <dlib/opencv/cv_image.h>
#include <dlib/serialize.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "core/facedetection/facedetectcnn.h"
#include "core/model.h"
#include "tools/landmarks/landmarks.h"

using namespace landmarks;

namespace {

// A picture as the engine holds a frame (width 640, grey for the model), the
// face its face choice would follow and the teacher's points in that frame.
struct EngineView
{
    QString name;
    cv::Mat grey;
    cv::Rect box;  // empty when the detector found no face to follow
    Points points;
};

EngineView engineView(const QString& name, const cv::Mat& bgr, const Points& points)
{
    EngineView e;
    e.name = name;
    const double f = 640.0 / bgr.cols;
    cv::Mat frame;
    cv::resize(bgr, frame, cv::Size(640, int(bgr.rows * f)), 0, 0, cv::INTER_LINEAR);
    cv::cvtColor(frame, e.grey, cv::COLOR_BGR2GRAY);
    for (int i = 0; i < 4; ++i)
        e.points[i] = points[i] * float(f);
    // The engine's face choice with the program's detector (built-in
    // weights), on a buffer of our own: the engine allocates its own when
    // it starts.
    Model model;
    std::vector<unsigned char> buffer(0x20000);
    model.setFaceDetector([&buffer](unsigned char*, unsigned char* pixels, int w, int h, int step) {
        return facedetect::cnn_face_detect(buffer.data(), pixels, w, h, step);
    });
    float x1, y1, x2, y2;
    int s1, s2;
    cv::Rect* box = model.detectBestNearestFace2(frame, nullptr, &x1, &y1, &s1, &x2, &y2, &s2);
    if (box)
        e.box = *box;
    delete box;
    return e;
}

} // namespace

class TestLandmarksModel : public QObject
{
    Q_OBJECT

    dlib::shape_predictor m_model;
    FaceLabel m_grace;
    std::vector<EngineView> m_views;
    std::vector<std::pair<cv::Mat, Points>> m_pictures;  // colour picture and teacher's points, as m_views

    // The model as the engine calls it (right and bottom one past the box).
    Points predictIn(const cv::Mat& grey, const cv::Rect& b)
    {
        dlib::array2d<unsigned char> img;
        dlib::assign_image(img, dlib::cv_image<unsigned char>(grey));
        const auto shape = m_model(img, dlib::rectangle(b.x, b.y, b.x + b.width, b.y + b.height));
        Points out;
        for (int i = 0; i < 4; ++i)
            out[i] = cv::Point2f(float(shape.part(i).x()), float(shape.part(i).y()));
        return out;
    }

    // Corner errors of every face, each as a fraction of the teacher's eye
    // distance, over the boxes boxesOf gives for the face; the points must
    // come in the model's order (left to right) on every one. The targets
    // are those of the model: median at most 5 %, 90th percentile at most
    // 10 %.
    template <typename Boxes>
    void checkAccuracy(const std::vector<EngineView>& views, Boxes boxesOf)
    {
        std::vector<double> errors;
        for (const EngineView& e : views) {
            QVERIFY2(!e.box.empty(), qPrintable(e.name + ": the detector found no face to follow"));
            const double d = eyeDistance(e.points);
            double worst = 0;
            for (const cv::Rect& box : boxesOf(e.box)) {
                const Points p = predictIn(e.grey, box);
                QVERIFY2(p[0].x < p[1].x && p[1].x < p[2].x && p[2].x < p[3].x,
                         qPrintable(e.name + ": points out of order"));
                for (int i = 0; i < 4; ++i) {
                    errors.push_back(cv::norm(p[i] - e.points[i]) / d);
                    worst = std::max(worst, errors.back());
                }
            }
            qInfo("%s: worst corner %.3f", qPrintable(e.name), worst);
        }
        const double median = percentile(errors, 0.5), p90 = percentile(errors, 0.9);
        qInfo("median %.4f, p90 %.4f of %zu corners", median, p90, errors.size());
        QVERIFY2(median <= 0.05, qPrintable(QString("median corner error %1").arg(median)));
        QVERIFY2(p90 <= 0.10, qPrintable(QString("90th percentile corner error %1").arg(p90)));
    }

private slots:
    void initTestCase()
    {
        const QString bin = QStringLiteral(LUMORA_BIN_DIR "/data.dat");
        const QString committed = QStringLiteral(LUMORA_SOURCE_DIR "/data/data.dat");
        QVERIFY2(QFileInfo::exists(bin), "the build must copy data.dat beside the program");
        QFile a(bin), b(committed);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY2(a.readAll() == b.readAll(), "data.dat beside the program differs from the committed one");
        dlib::deserialize(bin.toStdString()) >> m_model;
        QVERIFY(readLabelFile(LUMORA_SOURCE_DIR "/tests/tools/landmarks/grace_hopper.txt", &m_grace));

        // Webcam-like pictures of held-out people (tools/landmarks/make-test-faces.py).
        const QDir faces(QStringLiteral(LUMORA_SOURCE_DIR "/tests/tools/landmarks/faces"));
        for (const QString& txt : faces.entryList({"*.txt"}, QDir::Files, QDir::Name)) {
            FaceLabel label;
            QVERIFY(readLabelFile(faces.filePath(txt).toStdString(), &label));
            const QString name = QFileInfo(txt).completeBaseName();
            const cv::Mat bgr = cv::imread(faces.filePath(name + ".jpg").toStdString(), cv::IMREAD_COLOR);
            QVERIFY(!bgr.empty());
            m_pictures.emplace_back(bgr, label.points);
            m_views.push_back(engineView(name, bgr, label.points));
        }
        QVERIFY(m_views.size() >= 6);
    }

    void hasFourPointsAndFitsTheSizeLimit()
    {
        QCOMPARE(m_model.num_parts(), 4ul);
        QVERIFY(QFileInfo(LUMORA_SOURCE_DIR "/data/data.dat").size() <= 8 * 1024 * 1024);
    }

    // The labels' order is the teacher's: its points 36 and 39 (the subject's
    // right eye) are the points 0 and 1 and lie on the image's left.
    void teacherPutsTheSubjectsRightEyeOnTheImagesLeft()
    {
        const char* teacherPath = "/usr/share/dlib/shape_predictor_68_face_landmarks.dat";
        if (!QFileInfo::exists(teacherPath))
            QSKIP("teacher model (libdlib-data) not installed");
        dlib::shape_predictor teacher;
        dlib::deserialize(teacherPath) >> teacher;
        // Grey from colour, as the labeller makes it (a grey JPEG decode differs a little).
        cv::Mat grey;
        cv::cvtColor(cv::imread(LUMORA_SOURCE_DIR "/tests/tools/landmarks/grace_hopper.jpg"), grey,
                     cv::COLOR_BGR2GRAY);
        dlib::array2d<unsigned char> img;
        toDlib(grey, &img);
        const cv::Rect& b = m_grace.box;
        const auto shape = teacher(img, dlib::rectangle(b.x, b.y, b.x + b.width - 1, b.y + b.height - 1));
        const int corners[4] = {36, 39, 42, 45};
        for (int i = 0; i < 4; ++i) {
            const cv::Point2f t(float(shape.part(corners[i]).x()), float(shape.part(corners[i]).y()));
            QVERIFY2(cv::norm(t - m_grace.points[i]) <= 1.0, qPrintable(QString("point %1").arg(corners[i])));
        }
        QVERIFY(shape.part(39).x() < grey.cols / 2 && shape.part(42).x() > grey.cols / 2);
    }

    void findsTheCornersInTheEnginesBoxes()
    {
        checkAccuracy(m_views, [](const cv::Rect& b) { return std::vector<cv::Rect>{b}; });
    }

    // A mirrored face is found by the detector anew; the order stays left to right.
    void mirroredFacesKeepTheOrder()
    {
        std::vector<EngineView> mirrored;
        for (size_t i = 0; i < m_views.size(); ++i) {
            cv::Mat flipped;
            cv::flip(m_pictures[i].first, flipped, 1);
            mirrored.push_back(engineView(m_views[i].name + " (mirrored)", flipped,
                                          mirrorPoints(m_pictures[i].second, flipped.cols)));
        }
        checkAccuracy(mirrored, [](const cv::Rect& b) { return std::vector<cv::Rect>{b}; });
    }

    // The detector's box wobbles from one detection to the next (a few per
    // cent on a webcam clip); the points must hold up under boxes shifted
    // and resized by about as much as the largest wobble.
    void toleratesTheDetectorsWobble()
    {
        checkAccuracy(m_views, [](const cv::Rect& b) {
            const int dx = b.width / 20, dw = b.width / 12;
            return std::vector<cv::Rect>{cv::Rect(b.x - dx, b.y, b.width, b.height),
                                         cv::Rect(b.x + dx, b.y + dx, b.width, b.height),
                                         cv::Rect(b.x - dw / 2, b.y - dw / 2, b.width + dw, b.height + dw),
                                         cv::Rect(b.x + dw / 2, b.y + dw / 2, b.width - dw, b.height - dw)};
        });
    }
};

QTEST_GUILESS_MAIN(TestLandmarksModel)
#include "tst_landmarks_model.moc"
