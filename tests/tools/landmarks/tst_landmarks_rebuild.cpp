// Rebuilds the eye-landmark model from the committed labels and settings and
// checks that it is as accurate on the held-out people as the committed
// "data.dat". Needs the training photos that tools/landmarks/setup-sources.sh
// gathers (in $LUMORA_LANDMARK_SOURCES or /var/tmp/lumora-landmark-sources);
// skips, saying so, when they are not there.

#include <QDir>
#include <QtTest>

#include <dlib/serialize.h>

#include "tools/landmarks/landmarks.h"
#include "tools/landmarks/options.h"

using namespace landmarks;

class TestLandmarksRebuild : public QObject
{
    Q_OBJECT

private slots:
    void rebuiltModelMatchesCommittedAccuracy()
    {
        const QByteArray env = qgetenv("LUMORA_LANDMARK_SOURCES");
        const std::string sources =
            env.isEmpty() ? std::string("/var/tmp/lumora-landmark-sources") : env.toStdString();
        if (!QDir(QString::fromStdString(sources) + "/dlib/johns").exists())
            QSKIP("training photos missing: run tools/landmarks/setup-sources.sh first");

        const std::string tool = LUMORA_SOURCE_DIR "/tools/landmarks";
        Options options(0, nullptr, {});
        QVERIFY(options.addDefaultsFrom(tool + "/model-params.txt"));
        const auto holdout = readHoldout(tool + "/holdout.txt");
        QVERIFY(!holdout.empty());
        std::vector<FaceLabel> trainLabels, testLabels;
        for (const auto& l : readLabelFolder(tool + "/labels"))
            (isHeldOut(l, holdout) ? testLabels : trainLabels).push_back(l);
        QVERIFY(testLabels.size() >= 20);

        TrainParams params = trainParamsFrom(options);
        params.verbose = false;
        const dlib::shape_predictor rebuilt =
            train(makeTrainingSet(sources, trainLabels, trainingSetFrom(options)), params);

        dlib::shape_predictor committed;
        dlib::deserialize(LUMORA_SOURCE_DIR "/data/data.dat") >> committed;
        const auto test = makeTestSet(sources, testLabels, 7, 5);
        QCOMPARE(test.size(), 5 * testLabels.size());  // five detector-like boxes per face
        const Accuracy a = evaluate(committed, test);
        const Accuracy b = evaluate(rebuilt, test);
        qInfo("committed: median %.4f p90 %.4f; rebuilt: median %.4f p90 %.4f", a.median, a.p90,
              b.median, b.p90);
        QVERIFY(b.median <= 0.05 && b.p90 <= 0.10);
        QVERIFY(std::abs(b.median - a.median) <= 0.006);
        QVERIFY(std::abs(b.p90 - a.p90) <= 0.012);

        // The same on the boxes the program's own detector gave.
        const auto detected = makeDetectorTestSet(sources, testLabels);
        QVERIFY(detected.size() >= 20);
        const Accuracy c = evaluate(committed, detected);
        const Accuracy d = evaluate(rebuilt, detected);
        qInfo("detector boxes: committed: median %.4f p90 %.4f; rebuilt: median %.4f p90 %.4f",
              c.median, c.p90, d.median, d.p90);
        QVERIFY(d.median <= 0.05 && d.p90 <= 0.10);
        QVERIFY(std::abs(d.median - c.median) <= 0.006);
        QVERIFY(std::abs(d.p90 - c.p90) <= 0.015);
    }
};

// Training takes longer than QtTest's default five minutes per function.
int main(int argc, char** argv)
{
    qputenv("QTEST_FUNCTION_TIMEOUT", "3600000");
    QCoreApplication app(argc, argv);
    TestLandmarksRebuild test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_landmarks_rebuild.moc"
