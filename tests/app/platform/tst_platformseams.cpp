// The platform pieces the application object gives the scheduler and the
// main window: the V4L2 camera enumeration and the presence probe (on the
// offscreen platform and, in the X11 build of this test, on the virtual X
// display).

#include <QCursor>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

#include "app/platform/linux/v4l2cameras.h"
#include "app/platform/systempresence.h"

class TestPlatformSeams : public QObject
{
    Q_OBJECT

private slots:
    void deviceIndexFromPath();
    void presenceProbeOfThisPlatform();
    void waylandSessionHasNoSource();
};

void TestPlatformSeams::deviceIndexFromPath()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path();
    QVERIFY(QDir(root).mkpath("v4l/by-id"));
    QFile node(root + "/video12");
    QVERIFY(node.open(QIODevice::WriteOnly));
    node.close();
    QVERIFY(QFile::link(root + "/video12", root + "/v4l/by-id/usb-Cam-video-index0"));

    QCOMPARE(v4l2DeviceIndex("/dev/video0"), 0);
    QCOMPARE(v4l2DeviceIndex("/dev/video10"), 10);
    QCOMPARE(v4l2DeviceIndex(root + "/v4l/by-id/usb-Cam-video-index0"), 12);
    QCOMPARE(v4l2DeviceIndex("/dev/video"), -1);
    QCOMPARE(v4l2DeviceIndex("/dev/videox1"), -1);
    QCOMPARE(v4l2DeviceIndex("/dev/media0"), -1);
    QCOMPARE(v4l2DeviceIndex(QString()), -1);
    // A plain file named like a device is no capture device.
    QVERIFY(listV4l2CaptureDevices(root).isEmpty());
}


void TestPlatformSeams::presenceProbeOfThisPlatform()
{
    const auto probe = createSystemPresenceProbe(20);
    const PresenceSample s = probe->sample();
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        QVERIFY(!s.hasSource);
        QCOMPARE(probe->sourceDescription(), QStringLiteral("none: platform ") + QGuiApplication::platformName());
        return;
    }
    QCOMPARE(probe->sourceDescription(), QStringLiteral("X11 idle time, pointer position"));
    QVERIFY(s.hasSource);
    QVERIFY(s.idleMs >= 0);
    QVERIFY(s.hasCursor);
    const QPoint target(123, 77);
    QCursor::setPos(target);
    QTRY_COMPARE_WITH_TIMEOUT(probe->sample().cursor, target, 5000);
    // Idle time grows while nobody touches anything.
    const qint64 before = probe->sample().idleMs;
    QTest::qWait(300);
    QVERIFY(probe->sample().idleMs > before);
}


void TestPlatformSeams::waylandSessionHasNoSource()
{
    qputenv("XDG_SESSION_TYPE", "wayland");
    const auto probe = createSystemPresenceProbe(20);
    qunsetenv("XDG_SESSION_TYPE");
    QVERIFY(!probe->sample().hasSource);
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        QCOMPARE(probe->sourceDescription(), QStringLiteral("none: Wayland session"));
}


QTEST_MAIN(TestPlatformSeams)
#include "tst_platformseams.moc"
