// The built-in trained detector on real pictures, and the lumora-detect tool.
// data/grace_hopper.jpg (320 x 375) holds one frontal face that the dlib
// teacher (frontal detector + 68-point model) puts at box (96, 82, 130, 130)
// with eye centres (136.8, 123.5) and (189.8, 119.3); data/coffee.jpg has no face.

#include "tests/support/hostileinputs.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "core/facedetection/facedetectcnn.h"

using namespace facedetect;

namespace {

const QString kData = QStringLiteral(LUMORA_SOURCE_DIR "/tests/tools/detect/data/");
const QString kTool = QStringLiteral(LUMORA_BIN_DIR "/lumora-detect");

struct Box
{
    double x, y, w, h;
};

double iou(const Box& a, const Box& b)
{
    const double ix = std::max(0.0, std::min(a.x + a.w, b.x + b.w) - std::max(a.x, b.x));
    const double iy = std::max(0.0, std::min(a.y + a.h, b.y + b.h) - std::max(a.y, b.y));
    return ix * iy / (a.w * a.h + b.w * b.h - ix * iy);
}

// The teacher's face in pixels of the 320-wide file, scaled by f.
Box teacherBox(double f) { return {96 * f, 82 * f, 130 * f, 130 * f}; }

cv::Mat load(const QString& name)
{
    return cv::imread((kData + name).toStdString(), cv::IMREAD_COLOR);
}

// What the engine gives the detector: width 640, then a quarter, area-averaged.
cv::Mat engineCopy(const cv::Mat& img)
{
    cv::Mat wide, small;
    const double f = 640.0 / img.cols;
    cv::resize(img, wide, cv::Size(640, int(std::lround(img.rows * f))), 0, 0, cv::INTER_LINEAR);
    cv::resize(wide, small, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    return small;
}

std::vector<DetectedFace> detect(cv::Mat img)
{
    if (!img.isContinuous())
        img = img.clone();
    return cnn_object_detect(img.data, img.cols, img.rows, int(img.step));
}

QList<QList<int>> runTool(const QStringList& args, int* exitCode)
{
    QProcess p;
    p.start(kTool, args);
    p.waitForFinished(60000);
    *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    QList<QList<int>> faces;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QList<int> v;
        for (const QByteArray& t : line.split(' '))
            v << t.toInt();
        faces << v;
    }
    return faces;
}

} // namespace

class TestLumoraDetect : public QObject
{
    Q_OBJECT
private slots:
    // The trained weights find the face the way the engine asks for it: one
    // face confident enough for the engine to pick (confidence 90), on the box
    // of the teacher, eyes in place, the first eye on the image's left, also in
    // the mirrored picture. Weaker detections come after it (sorted by score).
    void findsTheFaceAtEngineScale()
    {
        const cv::Mat img = load("grace_hopper.jpg");
        QVERIFY(!img.empty());
        const cv::Mat small = engineCopy(img); // 160 x 188: 0.5 of the file
        for (bool mirrored : {false, true}) {
            cv::Mat in = small;
            if (mirrored)
                cv::flip(small, in, 1);
            const std::vector<DetectedFace> faces = detect(in);
            QVERIFY(!faces.empty());
            const DetectedFace& d = faces[0];
            QVERIFY2(d.score * d.score * 100.0f >= 90.0f, qPrintable(QString::number(d.score)));
            for (std::size_t i = 1; i < faces.size(); ++i)
                QVERIFY(faces[i].score * faces[i].score * 100.0f < 90.0f);
            Box want = teacherBox(0.5);
            double e0x = 136.8 * 0.5, e1x = 189.8 * 0.5;
            const double e0y = 123.5 * 0.5, e1y = 119.3 * 0.5;
            if (mirrored) {
                want.x = small.cols - want.x - want.w;
                const double l = small.cols - e1x, r = small.cols - e0x;
                e0x = l;
                e1x = r;
            }
            const double overlap = iou({double(d.x), double(d.y), double(d.width), double(d.height)}, want);
            QVERIFY2(overlap >= 0.6, qPrintable(QString::number(overlap)));
            const double eyeDistance = std::hypot(e1x - e0x, (mirrored ? e0y - e1y : e1y - e0y));
            QVERIFY(d.landmarks[0] < d.landmarks[2]);
            // Integer pixels of a 160-wide copy: allow a pixel on top of 15 %.
            const double tol = 0.15 * eyeDistance + 1.0;
            const double y0 = mirrored ? e1y : e0y, y1 = mirrored ? e0y : e1y;
            QVERIFY(std::hypot(d.landmarks[0] - e0x, d.landmarks[1] - y0) <= tol);
            QVERIFY(std::hypot(d.landmarks[2] - e1x, d.landmarks[3] - y1) <= tol);
            // Nose below the eyes, mouth corners below the nose.
            QVERIFY(d.landmarks[5] > std::max(d.landmarks[1], d.landmarks[3]));
            QVERIFY(d.landmarks[7] > d.landmarks[5] && d.landmarks[9] > d.landmarks[5]);
        }
    }

    void noFaceWhereThereIsNone()
    {
        const cv::Mat coffee = load("coffee.jpg");
        QVERIFY(!coffee.empty());
        QCOMPARE(int(detect(engineCopy(coffee)).size()), 0);
        QCOMPARE(int(detect(cv::Mat(120, 160, CV_8UC3, cv::Scalar(128, 128, 128))).size()), 0);
        cv::Mat noise(120, 160, CV_8UC3);
        cv::randu(noise, 0, 256);
        QCOMPARE(int(detect(noise).size()), 0);
    }

    // The tool prints confidence, box and five points in pixels of the file,
    // at the engine's scale by default and on the picture as given with --raw.
    void toolPrintsFacesInFilePixels()
    {
        if (!QFile::exists(kTool))
            QSKIP("lumora-detect is not built");
        int code = -1;
        const QList<QList<int>> faces = runTool({kData + "grace_hopper.jpg"}, &code);
        QCOMPARE(code, 0);
        QVERIFY(!faces.isEmpty());
        for (int i = 1; i < faces.size(); ++i)
            QVERIFY(faces[i][0] < 90);
        const QList<int>& f = faces[0];
        QCOMPARE(f.size(), 15);
        QVERIFY(f[0] >= 90 && f[0] <= 100);
        QVERIFY(iou({double(f[1]), double(f[2]), double(f[3]), double(f[4])}, teacherBox(1.0)) >= 0.6);
        QVERIFY(std::abs(f[5] - 137) <= 12 && std::abs(f[7] - 190) <= 12);

        // --raw on the 320-wide file itself: the same face, also in file pixels.
        const QList<QList<int>> raw = runTool({"--raw", kData + "grace_hopper.jpg"}, &code);
        QCOMPARE(code, 0);
        QVERIFY(!raw.isEmpty());
        QVERIFY(iou({double(raw[0][1]), double(raw[0][2]), double(raw[0][3]), double(raw[0][4])},
                    teacherBox(1.0)) >= 0.5);

        // Several files: a header line each; an unreadable one makes the exit status 1.
        QProcess p;
        p.start(kTool, {kData + "coffee.jpg", kData + "missing.jpg", kData + "grace_hopper.jpg"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 1);
        const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
        QVERIFY(lines.size() >= 3);
        QVERIFY(lines[0].endsWith("coffee.jpg") && lines[1].endsWith("grace_hopper.jpg"));

        runTool({}, &code);
        QCOMPARE(code, 2);
        runTool({"--weights", kData + "coffee.jpg", kData + "grace_hopper.jpg"}, &code);
        QCOMPARE(code, 1);
    }

    // Pictures of shapes no camera or photo has are reported and refused
    // before they are decoded; the pictures around them still print their
    // faces, and the exit status tells that one failed.
    void refusesHostilePictures()
    {
        if (!QFile::exists(kTool))
            QSKIP("lumora-detect is not built");
        QTemporaryDir dir;
        const QString thin = dir.filePath("1x5000.png");
        const QString narrow = dir.filePath("2x4000.png");
        const QString huge = dir.filePath("20000x20000.png");
        const QString flat = dir.filePath("5000x3.png");
        QVERIFY(hostile::writeGreyPng(thin, 1, 5000));
        QVERIFY(hostile::writeGreyPng(narrow, 2, 4000));
        QVERIFY(hostile::writeGreyPng(flat, 5000, 3));
        QVERIFY(hostile::writePng(huge, 20000, 20000, QByteArray(20001 * 4, '\0')));
        for (const QStringList& args : {QStringList{huge}, QStringList{"--raw", huge}, QStringList{thin},
                                        QStringList{narrow}, QStringList{flat}}) {
            QProcess p;
            QElapsedTimer timer;
            timer.start();
            p.start(kTool, args);
            QVERIFY(p.waitForFinished(30000));
            QVERIFY(timer.elapsed() < 10000);
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), 1);
            QVERIFY2(p.readAllStandardError().contains("no camera or photo has"), qPrintable(args.join(' ')));
        }
        QVERIFY(hostile::childPeakMegabytes() < 500);

        QProcess p;
        p.start(kTool, {kData + "grace_hopper.jpg", huge, thin, kData + "coffee.jpg"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
        QVERIFY(lines.size() >= 3);
        QVERIFY(lines[0].endsWith("grace_hopper.jpg"));
        QVERIFY(lines[1].split(' ').size() == 15 && lines[1].split(' ')[0].toInt() >= 90);
        QVERIFY(lines.last().endsWith("coffee.jpg"));
        const QByteArray errors = p.readAllStandardError();
        QVERIFY(errors.contains("20000x20000.png") && errors.contains("1x5000.png"));
    }
};

QTEST_GUILESS_MAIN(TestLumoraDetect)
#include "tst_lumoradetect.moc"
