// The landmark tools' own pieces: label files, point order and mirroring,
// the augmentation keeping points on the face, the synthetic faces, and
// training plus evaluation end to end on a small synthetic set.

#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

#include <opencv2/imgproc.hpp>

#include "tools/landmarks/landmarks.h"
#include "tools/landmarks/options.h"

using namespace landmarks;

namespace {

FaceLabel sampleLabel()
{
    FaceLabel l;
    l.source = "dlib/johns/John Doe/0001.jpg";
    l.frame = 12;
    l.person = "johns-John_Doe";
    l.box = cv::Rect(40, 50, 120, 118);
    l.points = {cv::Point2f(70.5f, 90.f), cv::Point2f(88.f, 91.5f), cv::Point2f(112.f, 91.f),
                cv::Point2f(130.f, 89.5f)};
    l.openness = 0.25f;
    return l;
}

}  // namespace

class TestLandmarksTools : public QObject
{
    Q_OBJECT

private slots:
    void labelRoundTripAndMalformedText()
    {
        const FaceLabel l = sampleLabel();
        FaceLabel r;
        QVERIFY(parseLabel(formatLabel(l), &r));
        QCOMPARE(QString::fromStdString(r.source), QString::fromStdString(l.source));  // spaces kept
        QCOMPARE(r.frame, 12);
        QCOMPARE(QString::fromStdString(r.person), QString::fromStdString(l.person));
        QCOMPARE(r.box, l.box);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(r.points[i], l.points[i]);
        QCOMPARE(r.openness, 0.25f);
        QVERIFY(r.detectorBox.empty());  // the detector missed it: no "detbox" line

        FaceLabel found = l;
        found.detectorBox = cv::Rect(35, 60, 131, 130);
        QVERIFY(formatLabel(found).find("detbox 35 60 131 130\n") != std::string::npos);
        QVERIFY(parseLabel(formatLabel(found), &r));
        QCOMPARE(r.detectorBox, found.detectorBox);
        QCOMPARE(r.box, l.box);

        // A label without a person falls back to its source; a still image has frame -1.
        QVERIFY(parseLabel("source a/b.jpg\nbox 1 2 3 4\npoints 1 1 2 2 3 3 4 4\n", &r));
        QCOMPARE(r.person, std::string("a/b.jpg"));
        QCOMPARE(r.frame, -1);

        FaceLabel untouched = l;
        const char* bad[] = {
            "box 1 2 3 4\npoints 1 1 2 2 3 3 4 4\n",                    // no source
            "source x\npoints 1 1 2 2 3 3 4 4\n",                      // no box
            "source x\nbox 1 2 3 4\n",                                 // no points
            "source x\nbox 1 2 0 4\npoints 1 1 2 2 3 3 4 4\n",          // empty box
            "source x\nbox 1 2 3 4\npoints 1 1 2 2 3 3 4\n",            // a coordinate short
            "source x\nbox 1 2 3 4\npoints 1 1 2 2 3 3 4 4\nextra 1\n", // unknown key
            "source x\nbox 1 2 3 4\ndetbox 1 2 0 4\npoints 1 1 2 2 3 3 4 4\n", // empty detector box
            "source x\nbox 1 2 3 4\ndetbox 1 2 3\npoints 1 1 2 2 3 3 4 4\n",   // detector box short
        };
        for (const char* text : bad) {
            QVERIFY2(!parseLabel(text, &untouched), text);
            QCOMPARE(untouched.box, l.box);
        }
    }

    void labelFolderHoldoutAndParams()
    {
        QTemporaryDir dir;
        const std::string d = dir.path().toStdString();
        FaceLabel a = sampleLabel(), b = sampleLabel();
        b.person = "gramps-o";
        std::ofstream(d + "/b.txt") << formatLabel(b);
        std::ofstream(d + "/a.txt") << formatLabel(a);
        std::ofstream(d + "/broken.txt") << "source only\n";
        std::ofstream(d + "/notes.md") << "not a label";
        const auto labels = readLabelFolder(d);
        QCOMPARE(labels.size(), size_t(2));
        QCOMPARE(labels[0].person, a.person);  // sorted by file name

        std::ofstream(d + "/holdout") << "# held out\ngramps-o   # portraits\n\n";
        const auto held = readHoldout(d + "/holdout");
        QCOMPARE(held.size(), size_t(1));
        QVERIFY(isHeldOut(labels[1], held));
        QVERIFY(!isHeldOut(labels[0], held));

        // Command line wins over the parameter file.
        std::ofstream(d + "/params") << "cascade 7  # levels\ntrees 50\nper-face 9\n";
        char arg0[] = "t", arg1[] = "--trees", arg2[] = "80";
        char* argv[] = {arg0, arg1, arg2};
        Options o(3, argv, {});
        QVERIFY(o.addDefaultsFrom(d + "/params"));
        QVERIFY(!o.addDefaultsFrom(d + "/missing"));
        const TrainParams p = trainParamsFrom(o);
        QCOMPARE(p.cascadeDepth, 7ul);
        QCOMPARE(p.treesPerLevel, 80ul);
        QCOMPARE(trainingSetFrom(o).perFace, 9);
    }

    void pointOrderAndMirroring()
    {
        const Points p = sampleLabel().points;
        const Points shuffled = {p[2], p[0], p[3], p[1]};
        QCOMPARE(orderLeftToRight(shuffled), p);

        const Points m = mirrorPoints(p, 200);
        // The image-left eye of the mirror is the old image-right eye.
        QCOMPARE(m[0], cv::Point2f(199 - p[3].x, p[3].y));
        QCOMPARE(m[3], cv::Point2f(199 - p[0].x, p[0].y));
        QVERIFY(m[0].x < m[1].x && m[1].x < m[2].x && m[2].x < m[3].x);
        QCOMPARE(mirrorPoints(m, 200), p);
        QCOMPARE(eyeDistance(p), float(cv::norm(cv::Point2f(121.f, 90.25f) - cv::Point2f(79.25f, 90.75f))));
    }

    // Dots painted at the labelled points must still sit under the points
    // after rotation, scaling, mirroring and the photometric changes, and
    // the box must stay where a detector would put it.
    void augmentationMovesPointsWithTheImage()
    {
        const FaceLabel l = sampleLabel();
        cv::Mat img(260, 240, CV_8U, cv::Scalar(30));
        for (const auto& p : l.points)
            cv::circle(img, p, 4, cv::Scalar(250), -1);
        std::mt19937 rng(5);
        const AugmentOptions o;
        for (int i = 0; i < 200; ++i) {
            const Sample s = augment(img, l, rng, o);
            QVERIFY(s.points[0].x <= s.points[1].x && s.points[1].x <= s.points[2].x &&
                    s.points[2].x <= s.points[3].x);
            const double scale = eyeDistance(s.points) / eyeDistance(l.points);
            QVERIFY(s.box.width >= o.minBoxWidth * (1 - o.boxShrink) - 1);
            QVERIFY(s.box.width <= o.maxBoxWidth * (1 + o.boxGrow) + 1);
            const double grown = s.box.width / (l.box.width * scale) - 1;
            QVERIFY(grown > -o.boxShrink - 0.02 && grown < o.boxGrow + 0.02);
            cv::Mat bg;
            cv::blur(s.grey, bg, cv::Size(3, 3));
            const double background = cv::mean(s.grey)[0];
            for (const auto& p : s.points) {
                QVERIFY(cv::Rect(0, 0, s.grey.cols, s.grey.rows).contains(p));
                QVERIFY2(bg.at<uchar>(p) > background + 25, "point left its dot");
            }
            // The eyes keep their place in the box within the jitter.
            const cv::Point2f eyes = (s.points[0] + s.points[3]) * 0.5f;
            const cv::Point2f lEyes = (l.points[0] + l.points[3]) * 0.5f;
            const double relY = (eyes.y - s.box.y) / s.box.height;
            const double lRelY = (lEyes.y - l.box.y) / double(l.box.height);
            QVERIFY(std::abs(relY - lRelY) < 0.25);
        }
    }

    // With the program's detector box in the label, training boxes follow
    // that box (its offset from the teacher's kept) with only a small wobble.
    void augmentationFollowsTheDetectorBox()
    {
        FaceLabel l = sampleLabel();
        l.detectorBox = cv::Rect(30, 64, 140, 134);  // larger and lower than the teacher's
        cv::Mat img(260, 240, CV_8U, cv::Scalar(30));
        std::mt19937 rng(9);
        AugmentOptions o;
        o.maxRotationDeg = 0;
        o.mirror = false;
        const cv::Point2f lEyes = (l.points[0] + l.points[3]) * 0.5f;
        const auto& d = l.detectorBox;
        for (int i = 0; i < 100; ++i) {
            const Sample s = augment(img, l, rng, o);
            const double scale = eyeDistance(s.points) / eyeDistance(l.points);
            const double grown = s.box.width / (d.width * scale) - 1;
            QVERIFY(std::abs(grown) < o.detectorSizeJitter + 0.02);
            const cv::Point2f eyes = (s.points[0] + s.points[3]) * 0.5f;
            const double relX = (eyes.x - s.box.x) / s.box.width;
            const double relY = (eyes.y - s.box.y) / s.box.height;
            QVERIFY(std::abs(relX - (lEyes.x - d.x) / d.width) < 0.08);
            QVERIFY(std::abs(relY - (lEyes.y - d.y) / d.height) < 0.08);
        }
        QCOMPARE(iou(cv::Rect(0, 0, 10, 10), cv::Rect(5, 0, 10, 10)), 50.0 / 150.0);
        QCOMPARE(iou(cv::Rect(0, 0, 10, 10), cv::Rect(20, 0, 10, 10)), 0.0);
        QCOMPARE(iou(cv::Rect(), cv::Rect()), 0.0);
    }

    void syntheticFacesLookLikeDetectorInput()
    {
        std::mt19937 rng(3);
        for (int i = 0; i < 100; ++i) {
            const Sample s = drawSyntheticFace(rng);
            QCOMPARE(s.grey.type(), CV_8UC1);
            QVERIFY(s.points[0].x < s.points[1].x && s.points[1].x < s.points[2].x &&
                    s.points[2].x < s.points[3].x);
            for (const auto& p : s.points)
                QVERIFY(s.box.contains(p));
            const double ratio = s.box.width / eyeDistance(s.points);
            QVERIFY(ratio > 1.8 && ratio < 3.2);
        }
    }

    void percentiles()
    {
        QCOMPARE(percentile({}, 0.5), 0.0);
        QCOMPARE(percentile({4, 1, 3, 2}, 0.5), 2.5);
        QCOMPARE(percentile({5}, 0.9), 5.0);
        QCOMPARE(percentile({0, 10}, 0.9), 9.0);
    }

    // A few seconds of training on synthetic faces must clearly beat a
    // model that has hardly trained.
    void trainingLearnsAndEvaluationMeasures()
    {
        std::mt19937 rng(11);
        std::vector<Sample> trainSet, testSet;
        for (int i = 0; i < 150; ++i)
            trainSet.push_back(drawSyntheticFace(rng));
        for (int i = 0; i < 40; ++i)
            testSet.push_back(drawSyntheticFace(rng));
        TrainParams tiny;
        tiny.cascadeDepth = 1;
        tiny.treesPerLevel = 1;
        tiny.oversampling = 1;
        tiny.verbose = false;
        TrainParams small = tiny;
        small.cascadeDepth = 3;
        small.treesPerLevel = 40;
        small.oversampling = 3;
        const auto weak = evaluate(train(trainSet, tiny), testSet);
        const auto better = evaluate(train(trainSet, small), testSet);
        QCOMPARE(better.faces, size_t(40));
        QVERIFY(better.median <= better.p90);
        QVERIFY(better.microsPerPrediction > 0);
        QVERIFY2(better.median < weak.median * 0.7,
                 qPrintable(QString("median %1 vs %2").arg(better.median).arg(weak.median)));
    }
};

QTEST_GUILESS_MAIN(TestLandmarksTools)
#include "tst_landmarks_tools.moc"
