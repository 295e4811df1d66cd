// The engine's choice of the face to track, with faces injected through the
// detector seam.

#include <QtTest>

#include <array>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "core/facedetection/facedetectcnn.h"
#include "core/model.h"

namespace {

int g_outsideFrame = 0; // rectangles that reached past the frame

using Face = std::array<short, 15>; // confidence, x, y, width, height, 5 landmark points

Face face(short conf, short x, short y, short w, short h = 0)
{
    Face f{};
    f[0] = conf, f[1] = x, f[2] = y, f[3] = w, f[4] = h ? h : w;
    f[5] = x + w / 4, f[6] = y + w / 3;         // left eye
    f[7] = x + 3 * w / 4, f[8] = y + w / 3;     // right eye
    return f;
}

struct Choice
{
    Model model;
    std::vector<Face> faces;
    bool returnNull = false;
    int calls = 0;
    int seenWidth = 0, seenHeight = 0, seenStep = 0;
    cv::Mat seenImage; // a copy of the picture the detector was given
    std::vector<unsigned char> buffer = std::vector<unsigned char>(0x20000);
    float e1x = -1, e1y = -1, e2x = -1, e2y = -1;
    int e1s = -1, e2s = -1;

    Choice()
    {
        model.setFaceDetector([this](unsigned char*, unsigned char* image, int w, int h, int step) -> int* {
            ++calls;
            seenWidth = w, seenHeight = h, seenStep = step;
            seenImage = cv::Mat(h, w, CV_8UC3, image, std::size_t(step)).clone();
            if (returnNull)
                return nullptr;
            int* count = reinterpret_cast<int*>(buffer.data());
            *count = int(faces.size());
            short* records = reinterpret_cast<short*>(buffer.data() + 4);
            for (std::size_t i = 0; i < faces.size(); ++i)
                std::copy(faces[i].begin(), faces[i].end(), records + i * facedetect::kFaceRecordShorts);
            return count;
        });
    }

    // The chosen rectangle (empty when none), checked to lie inside the frame.
    cv::Rect choose(cv::Rect* previous = nullptr, cv::Mat frame = cv::Mat(480, 640, CV_8UC3, cv::Scalar(0)))
    {
        cv::Rect* r = model.detectBestNearestFace2(frame, previous, &e1x, &e1y, &e1s, &e2x, &e2y, &e2s);
        if (!r)
            return {};
        const cv::Rect out = *r;
        delete r;
        if ((out & cv::Rect(0, 0, frame.cols, frame.rows)) != out || out.width <= 0 || out.height <= 0)
            ++g_outsideFrame;
        return out;
    }
};

} // namespace

class TestFaceChoice : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { QCOMPARE(g_outsideFrame, 0); }

    void widestWithNothingTracked()
    {
        Choice c;
        c.faces = {face(95, 10, 10, 30), face(95, 60, 20, 40, 44), face(89, 100, 10, 60), face(100, 5, 60, 24)};
        const cv::Rect r = c.choose();
        QCOMPARE(r, cv::Rect(240, 80, 160, 176));
        QCOMPARE(c.seenWidth, 160);
        QCOMPARE(c.seenHeight, 120);
        QVERIFY(c.seenStep >= 480);
        QCOMPARE(c.e1x, 4.0f * (60 + 10));
        QCOMPARE(c.e1y, 4.0f * (20 + 13));
        QCOMPARE(c.e2x, 4.0f * (60 + 30));
        QCOMPARE(c.e1s, 80);
        QCOMPARE(c.e2s, 80);

        // Equal widths: the first in the list.
        c.faces = {face(95, 10, 10, 30), face(99, 90, 10, 30)};
        QCOMPARE(c.choose().x, 40);
    }

    void thresholdsWithNothingTracked()
    {
        Choice c;
        c.faces = {face(90, 10, 10, 25)};
        QCOMPARE(c.choose().width, 100);
        c.faces = {face(89, 10, 10, 40), face(95, 60, 10, 24)};
        c.e1x = -1;
        QCOMPARE(c.choose(), cv::Rect());
        QCOMPARE(c.e1x, -1.0f); // nothing written
        c.faces = {};
        QCOMPARE(c.choose(), cv::Rect());
        c.returnNull = true;
        QCOMPARE(c.choose(), cv::Rect());
    }

    void nearestWhileTracking()
    {
        Choice c;
        cv::Rect previous(100, 100, 80, 80); // centre (140, 140)
        // A confident face far away, a less confident one near: the near one.
        c.faces = {face(99, 100, 80, 50), face(85, 30, 30, 30)};
        QCOMPARE(c.choose(&previous), cv::Rect(120, 120, 120, 120));
        // Confidence 40 counts, 39 does not; width 25 counts, 24 does not.
        c.faces = {face(39, 30, 30, 30), face(40, 100, 80, 50)};
        QCOMPARE(c.choose(&previous).x, 400);
        c.faces = {face(99, 30, 30, 24), face(40, 100, 80, 25)};
        QCOMPARE(c.choose(&previous).x, 400);
        c.faces = {face(39, 30, 30, 30), face(95, 30, 30, 24)};
        QCOMPARE(c.choose(&previous), cv::Rect());
        // Equal distances: the first. Faces centred at (140 -/+ 40, 140).
        c.faces = {face(50, 15, 20, 30), face(60, 35, 20, 30)};
        QCOMPARE(c.choose(&previous).x, 60);
        // However far the nearest face is, it is taken.
        previous = cv::Rect(0, 0, 10, 10);
        c.faces = {face(50, 120, 80, 30)};
        QCOMPARE(c.choose(&previous).x, 480);
    }

    // Detections past the frame's edges give rectangles inside it.
    void rectangleStaysInsideTheFrame()
    {
        Choice c;
        c.faces = {face(95, -1, -2, 30)};
        QCOMPARE(c.choose(), cv::Rect(0, 0, 116, 112));
        c.faces = {face(95, 150, 100, 30)};
        QCOMPARE(c.choose(), cv::Rect(600, 400, 37, 77));
        // A frame whose width is not a multiple of 4: 645 / 4 -> 161 columns.
        c.faces = {face(95, 140, 100, 30)};
        const cv::Rect r = c.choose(nullptr, cv::Mat(482, 645, CV_8UC3, cv::Scalar(0)));
        QCOMPARE(c.seenWidth, 161);
        QCOMPARE(r, cv::Rect(560, 400, 82, 79));
    }

    void unusableFrames()
    {
        Choice c;
        c.faces = {face(95, 10, 10, 30)};
        QCOMPARE(c.choose(nullptr, cv::Mat()), cv::Rect());
        QCOMPARE(c.choose(nullptr, cv::Mat(480, 640, CV_8UC1, cv::Scalar(0))), cv::Rect());
        QCOMPARE(c.calls, 0);
    }

    // The detector sees the frame at a quarter of its size, exactly as
    // OpenCV's area resize makes it, whatever the frame's size.
    void quarterSizeIsTheAreaResize_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("640x480") << 640 << 480;
        QTest::newRow("640x512") << 640 << 512;
        QTest::newRow("644x364") << 644 << 364;
        QTest::newRow("640x478") << 640 << 478;
        QTest::newRow("641x480") << 641 << 480;
        QTest::newRow("16x8") << 16 << 8;
    }

    void quarterSizeIsTheAreaResize()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        cv::Mat frame(height, width, CV_8UC3);
        cv::theRNG().state = 12345;
        cv::randu(frame, 0, 256);
        // Blocks whose sums fall exactly halfway between two values.
        frame(cv::Rect(0, 0, 4, 4)).setTo(cv::Scalar(8, 24, 255));
        frame.at<cv::Vec3b>(0, 0) = cv::Vec3b(0, 16, 247);
        Choice c;
        c.choose(nullptr, frame);
        QCOMPARE(c.calls, 1);
        cv::Mat expected;
        cv::resize(frame, expected, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
        QCOMPARE(c.seenImage.size(), expected.size());
        QCOMPARE(cv::norm(c.seenImage, expected, cv::NORM_INF), 0.0);
    }

    // Without a seam the built-in detector runs; without the engine's buffer
    // it reports that and finds nothing.
    void builtInDetector()
    {
        Model model;
        float f = 0;
        int s = 0;
        cv::Mat frame(480, 640, CV_8UC3, cv::Scalar(90, 120, 200));
        QVERIFY(!model.detectBestNearestFace2(frame, nullptr, &f, &f, &s, &f, &f, &s));
    }
};

QTEST_GUILESS_MAIN(TestFaceChoice)
#include "tst_facechoice.moc"
