// The fake webcam as a V4L2 client sees it, which the end-to-end tests
// rely on: a format it does not offer is answered with the one it does, the
// frames come in the clip's order with their bytes, a frame with no buffer
// queued is dropped and counted, and an unplug ends the descriptor and the
// node until the replug. This program runs itself with the library
// preloaded as the client (FAKEWEBCAM_TEST_CLIENT set), which prints what it
// saw.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/fakewebcamclip.h"

namespace {

// Streams from /dev/video0: `frames` frames checked against the clip file,
// then (with `hold`) all buffers kept for a second, then frames until one
// fails; prints "key value" lines.
int client()
{
    const int frames = qEnvironmentVariableIntValue("CLIENT_FRAMES");
    QFile clipFile(qEnvironmentVariable("FAKEWEBCAM_CLIP"));
    clipFile.open(QIODevice::ReadOnly);
    const QByteArray clip = clipFile.readAll();
    QVector<QByteArray> clipFrames;
    for (int at = 36; at + 4 <= clip.size();) {
        quint32 n;
        memcpy(&n, clip.constData() + at, 4);
        clipFrames << clip.mid(at + 4, int(n));
        at += 4 + int(n);
    }

    const int fd = open("/dev/video0", O_RDWR | O_NONBLOCK);
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.width = 640;
    f.fmt.pix.height = 480;
    f.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    if (fd < 0 || ioctl(fd, VIDIOC_S_FMT, &f) != 0)
        return 1;
    printf("format %.4s %ux%u\n", reinterpret_cast<const char*>(&f.fmt.pix.pixelformat), f.fmt.pix.width,
           f.fmt.pix.height);
    v4l2_requestbuffers req{};
    req.count = 4;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (ioctl(fd, VIDIOC_REQBUFS, &req) != 0)
        return 1;
    QVector<const char*> memory;
    for (quint32 i = 0; i < req.count; ++i) {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        b.index = i;
        ioctl(fd, VIDIOC_QUERYBUF, &b);
        memory << static_cast<const char*>(mmap(nullptr, b.length, PROT_READ, MAP_SHARED, fd, b.m.offset));
        ioctl(fd, VIDIOC_QBUF, &b);
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ioctl(fd, VIDIOC_STREAMON, &type);

    // One frame: wait until readable, dequeue, compare, queue again.
    int differ = 0, gaps = 0, got = 0;
    qint64 last = -1;
    const auto next = [&]() {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval tv{5, 0};
        select(fd + 1, &set, nullptr, nullptr, &tv);
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        if (ioctl(fd, VIDIOC_DQBUF, &b) != 0)
            return errno;
        const QByteArray& want = clipFrames.at(int(b.sequence % quint32(clipFrames.size())));
        differ += b.bytesused != quint32(want.size()) || memcmp(memory[int(b.index)], want.constData(), want.size());
        gaps += last >= 0 && b.sequence != last + 1;
        last = b.sequence;
        ++got;
        return ioctl(fd, VIDIOC_QBUF, &b) == 0 ? 0 : errno;
    };
    int error = 0;
    while (got < frames && !error)
        error = next();
    printf("frames %d differ %d gaps %d\n", got, differ, gaps);
    if (qEnvironmentVariableIsSet("CLIENT_HOLD")) {
        sleep(1);  // the four queued buffers fill, then frames drop
        last = -1;
        for (int i = 0; i < 8 && !error; ++i)
            error = next();
        printf("after hold differ %d\n", differ);
    }
    while (!error)
        error = next();
    struct stat st;
    printf("ended %s node %s\n", strerrorname_np(error),
           stat("/dev/video0", &st) == 0 ? "present" : strerrorname_np(errno));
    close(fd);
    if (qEnvironmentVariableIsSet("CLIENT_WAIT_REPLUG")) {
        sleep(2);
        const int again = open("/dev/video0", O_RDWR | O_NONBLOCK);
        printf("reopen %s\n", again >= 0 ? "works" : strerrorname_np(errno));
    }
    return 0;
}

}  // namespace

class TestFakeWebcam : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void streamsClipFramesInOrder_data();
    void streamsClipFramesInOrder();
    void unplugEndsStreamUntilReplug();

private:
    // Runs the client with the library preloaded; its output and the log.
    QString runClient(const QMap<QString, QString>& env, QString* log);
    QTemporaryDir m_dir;
    QMap<QString, QString> m_clips;
};

void TestFakeWebcam::initTestCase()
{
    const QString video = talkingFaceClip("cap13_edit2.webm");
    if (video.isEmpty())
        QSKIP("the talking-face clips are not fetched (scripts/fetch-clips.sh)");
    for (const QString format : {"yuyv", "mjpeg"}) {
        m_clips[format] = m_dir.filePath(format + ".raw");
        QCOMPARE(makeFakeWebcamClip(video, m_clips[format], format, QSize(320, 240)), QString());
    }
}

QString TestFakeWebcam::runClient(const QMap<QString, QString>& env, QString* log)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("FAKEWEBCAM_TEST_CLIENT", "1");
    e.insert("LD_PRELOAD", fakeWebcamLibrary());
    e.insert("FAKEWEBCAM_LOG", m_dir.filePath("log"));
    for (auto it = env.begin(); it != env.end(); ++it)
        e.insert(it.key(), it.value());
    QFile::remove(m_dir.filePath("log"));
    p.setProcessEnvironment(e);
    p.start(QCoreApplication::applicationFilePath(), QStringList());
    p.waitForFinished(60000);
    QFile f(m_dir.filePath("log"));
    f.open(QIODevice::ReadOnly);
    *log = QString::fromUtf8(f.readAll());
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

void TestFakeWebcam::streamsClipFramesInOrder_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("fourcc");
    QTest::newRow("yuyv") << "yuyv"
                          << "YUYV";
    QTest::newRow("mjpeg") << "mjpeg"
                           << "MJPG";
}

// Asked for BGR24 at 640x480, it offers its own format at the clip's size;
// 30 frames come in order with the clip's bytes; holding every buffer for
// a second drops the frames of that second, which the close line counts.
void TestFakeWebcam::streamsClipFramesInOrder()
{
    QFETCH(QString, format);
    QFETCH(QString, fourcc);
    QString log;
    const QString out = runClient({{"FAKEWEBCAM_CLIP", m_clips[format]},
                                   {"FAKEWEBCAM_FORMAT", format},
                                   {"CLIENT_FRAMES", "30"},
                                   {"CLIENT_HOLD", "1"},
                                   {"FAKEWEBCAM_UNPLUG_AFTER", "100"}},
                                  &log);
    QVERIFY2(out.contains("format " + fourcc + " 320x240\n"), qPrintable(out));
    QVERIFY2(out.contains("frames 30 differ 0 gaps 0\n"), qPrintable(out));
    QVERIFY2(out.contains("after hold differ 0\n"), qPrintable(out));
    const QRegularExpressionMatch close =
        QRegularExpression("close /dev/video0 fd=\\d+ delivered=(\\d+) dropped=(\\d+) ")
            .match(log);
    QVERIFY2(close.hasMatch(), qPrintable(log));
    // 100 frame times in all; the held second (25 of them) less the four
    // buffers that were queued when it began.
    QCOMPARE(close.captured(1).toInt() + close.captured(2).toInt(), 100);
    QVERIFY2(close.captured(2).toInt() >= 15, qPrintable(log));
}

// After 20 frames the device goes: the stream ends with ENODEV, the node
// is gone; a second after, it is back and opens again.
void TestFakeWebcam::unplugEndsStreamUntilReplug()
{
    QString log;
    const QString out = runClient({{"FAKEWEBCAM_CLIP", m_clips["yuyv"]},
                                   {"CLIENT_FRAMES", "10"},
                                   {"FAKEWEBCAM_UNPLUG_AFTER", "20"},
                                   {"FAKEWEBCAM_REPLUG_AFTER_S", "1"},
                                   {"CLIENT_WAIT_REPLUG", "1"}},
                                  &log);
    QVERIFY2(out.contains("ended ENODEV node ENOENT\n"), qPrintable(out));
    QVERIFY2(out.contains("reopen works\n"), qPrintable(out));
    QVERIFY2(log.contains("unplug /dev/video0 after 20 frames\n"), qPrintable(log));
    QVERIFY2(log.contains(QRegularExpression("delivered=20 dropped=0 ")), qPrintable(log));
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("FAKEWEBCAM_TEST_CLIENT"))
        return client();
    QCoreApplication app(argc, argv);
    TestFakeWebcam test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fakewebcam.moc"
