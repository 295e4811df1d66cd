// lumora-replay as a user runs it: a short clip and the synthetic face run
// through; the end of the input is told from a failure, which exits
// non-zero with its reason; hostile clips and frame rates are refused.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/videoio.hpp>

#include "tests/support/hostileinputs.h"
#include "tools/synthface/synthface.h"

namespace {

const QString kTool = QStringLiteral(LUMORA_BIN_DIR "/lumora-replay");
const QString kModel = QStringLiteral(LUMORA_SOURCE_DIR "/data/data.dat");

struct Run {
    int code = -1;
    QByteArray out, err;
};

Run replay(const QStringList& args, const QByteArray& faultAt = QByteArray())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!faultAt.isEmpty())
        env.insert("LUMORA_REPLAY_FAULT_AT_FRAME", faultAt);
    p.setProcessEnvironment(env);
    p.start(kTool, args);
    Run r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

}  // namespace

class TestLumoraReplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFile::exists(kTool))
            QSKIP("lumora-replay is not built");
    }

    // A clip of the synthetic face runs to its end: a normal end, exit 0.
    // The same clip with a read that throws in the middle is a failure.
    void clipRunsThroughAndFailureIsTold()
    {
        QTemporaryDir dir;
        const QString clip = dir.filePath("face.avi");
        synthface::SyntheticFaceSource face(synthface::Script::regular(1, 1.0, 1.0, 0.25, 3));
        QVERIFY(face.open(0));
        cv::VideoWriter writer(clip.toStdString(), cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                               30, cv::Size(640, 480));
        QVERIFY(writer.isOpened());
        cv::Mat frame;
        for (int i = 0; i < 60 && face.read(frame); ++i)
            writer.write(frame);
        writer.release();

        const Run whole = replay({"--model", kModel, clip});
        QCOMPARE(whole.code, 0);
        QVERIFY2(whole.out.contains("frames 52 "), whole.out.constData());

        const Run broken = replay({"--model", kModel, clip}, "30");
        QCOMPARE(broken.code, 1);
        QVERIFY2(broken.err.contains("the frame step failed: injected fault at frame 30"), broken.err.constData());

        // Shorter than the engine's opening: nothing was measured.
        const QString shortClip = dir.filePath("short.y4m");
        QVERIFY(hostile::writeY4m(shortClip, 64, 48, 5, 64 * 48));
        const Run tooShort = replay({"--model", kModel, shortClip});
        QCOMPARE(tooShort.code, 1);
        QVERIFY2(tooShort.err.contains("ended after 5 frames"), tooShort.err.constData());
    }

    // The synthetic face in every mode; a failure in the middle of a
    // measurement is told as such, not as the end of the source.
    void syntheticModes()
    {
        const Run detect = replay({"--length", "4", "synthetic:3"});
        QCOMPARE(detect.code, 0);
        QVERIFY(detect.out.contains("frames "));
        const Run broken = replay({"--length", "4", "--mode", "measurement", "synthetic:3"}, "40");
        QCOMPARE(broken.code, 1);
        QVERIFY(broken.out.contains("errorOccurred(6)"));
        QVERIFY2(broken.err.contains("injected fault at frame 40"), broken.err.constData());
        const Run ended = replay({"--length", "4", "--mode", "measurement", "synthetic:3"});
        QCOMPARE(ended.code, 1);
        QVERIFY2(ended.err.contains("the source ended before the run's report"), ended.err.constData());
    }

    void refusesHostileInput()
    {
        QTemporaryDir dir;
        const struct {
            const char* name;
            int width, height;
            qint64 bytes;
        } clips[] = {{"1x5000.y4m", 1, 5000, 5000}, {"2x4000.y4m", 2, 4000, 8000}, {"huge.y4m", 20000, 20000, 4096}};
        for (const auto& c : clips) {
            const QString path = dir.filePath(c.name);
            QVERIFY(hostile::writeY4m(path, c.width, c.height, 20, c.bytes));
            QElapsedTimer timer;
            timer.start();
            const Run r = replay({"--model", kModel, path});
            QVERIFY(timer.elapsed() < 20000);
            QVERIFY2(r.code == 1, c.name);
            QVERIFY2(r.err.contains("lumora-replay: "), c.name);
        }
        QVERIFY(hostile::childPeakMegabytes() < 500);

        for (const char* fps : {"inf", "1e308", "nan", "0", "-30", "0.5", "5000", "fast"}) {
            const Run r = replay({"--fps", fps, "synthetic"});
            QCOMPARE(r.code, 2);
            QVERIFY(r.err.contains("--fps"));
        }
    }
};

QTEST_GUILESS_MAIN(TestLumoraReplay)
#include "tst_lumorareplay.moc"
