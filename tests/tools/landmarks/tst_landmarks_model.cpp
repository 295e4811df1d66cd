// The committed eye-landmark model: it is the file the build puts beside the
// program, it loads with four points, stays small, and on a face it never saw
// in training it finds both eyes, the eye on the image's left first.

#include <QFileInfo>
#include <QtTest>

#include <dlib/serialize.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "tools/landmarks/landmarks.h"

using namespace landmarks;

class TestLandmarksModel : public QObject
{
    Q_OBJECT

    dlib::shape_predictor m_model;
    cv::Mat m_face;
    FaceLabel m_label;

    // Predicted points against the teacher's, each as a fraction of the
    // teacher's eye distance; fails on a swapped order as well as on a miss.
    void checkPoints(const Points& got, const Points& want)
    {
        const double d = eyeDistance(want);
        for (int i = 0; i < 4; ++i) {
            const double err = cv::norm(got[i] - want[i]) / d;
            QVERIFY2(err < 0.12, qPrintable(QString("point %1 is %2 eye distances off").arg(i).arg(err)));
        }
        QVERIFY(got[0].x < got[1].x && got[1].x < got[2].x && got[2].x < got[3].x);
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
        m_face = cv::imread(LUMORA_SOURCE_DIR "/tests/tools/landmarks/grace_hopper.jpg", cv::IMREAD_GRAYSCALE);
        QVERIFY(!m_face.empty());
        QVERIFY(readLabelFile(LUMORA_SOURCE_DIR "/tests/tools/landmarks/grace_hopper.txt", &m_label));
    }

    void hasFourPointsAndFitsTheSizeLimit()
    {
        QCOMPARE(m_model.num_parts(), 4ul);
        QVERIFY(QFileInfo(LUMORA_SOURCE_DIR "/data/data.dat").size() <= 8 * 1024 * 1024);
    }

    // The sample's label comes from the 68-point teacher: its points 36 and
    // 39 (the subject's right eye) lie on the image's left.
    void firstEyeIsOnTheImagesLeft()
    {
        dlib::array2d<unsigned char> img;
        toDlib(m_face, &img);
        checkPoints(predict(m_model, img, m_label.box), m_label.points);
    }

    // The label's order is the teacher's: its points 36 and 39 (the subject's
    // right eye) are the sample's points 0 and 1 and lie on the image's left.
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
        const cv::Rect& b = m_label.box;
        const auto shape = teacher(img, dlib::rectangle(b.x, b.y, b.x + b.width - 1, b.y + b.height - 1));
        const int corners[4] = {36, 39, 42, 45};
        for (int i = 0; i < 4; ++i) {
            const cv::Point2f t(float(shape.part(corners[i]).x()), float(shape.part(corners[i]).y()));
            QVERIFY2(cv::norm(t - m_label.points[i]) <= 1.0, qPrintable(QString("point %1").arg(corners[i])));
        }
        QVERIFY(shape.part(39).x() < m_face.cols / 2 && shape.part(42).x() > m_face.cols / 2);
    }

    void mirroredFaceKeepsTheOrder()
    {
        cv::Mat flipped;
        cv::flip(m_face, flipped, 1);
        dlib::array2d<unsigned char> img;
        toDlib(flipped, &img);
        cv::Rect box = m_label.box;
        box.x = flipped.cols - box.x - box.width;
        checkPoints(predict(m_model, img, box), mirrorPoints(m_label.points, flipped.cols));
    }

    // The engine's box differs from the teacher's; the points must hold up
    // under boxes shifted and resized like a detector's.
    void toleratesDetectorLikeBoxes()
    {
        dlib::array2d<unsigned char> img;
        toDlib(m_face, &img);
        const cv::Rect b = m_label.box;
        const int dx = b.width / 12, dw = b.width / 10;
        for (const cv::Rect& box : {cv::Rect(b.x - dx, b.y, b.width, b.height), cv::Rect(b.x + dx, b.y + dx, b.width, b.height),
                                    cv::Rect(b.x - dw / 2, b.y - dw / 2, b.width + dw, b.height + dw),
                                    cv::Rect(b.x + dw / 2, b.y + dw / 2, b.width - dw, b.height - dw)})
            checkPoints(predict(m_model, img, box), m_label.points);
    }
};

QTEST_GUILESS_MAIN(TestLandmarksModel)
#include "tst_landmarks_model.moc"
