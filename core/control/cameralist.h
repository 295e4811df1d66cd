#pragma once
// The cameras the user can choose from, in the order the main window's camera
// list shows them, each with the device index the engine opens. On Linux the
// list order and the /dev/videoN numbers differ (metadata nodes, sorting by
// name), so a row is not a device index.

#include <QString>
#include <QVector>
#include <memory>

struct CameraEntry
{
    QString description;
    int deviceIndex = 0;
};

class CameraList
{
public:
    virtual ~CameraList() = default;
    virtual QVector<CameraEntry> cameras() = 0;
};

// The device index behind a V4L2 device path: "/dev/video2" gives 2, and a
// link such as "/dev/v4l/by-id/..." is followed first. -1 when the path names
// no video device.
int v4l2DeviceIndex(const QString& devicePath);

// The V4L2 nodes under devDir that can capture video, by device number.
QVector<CameraEntry> listV4l2CaptureDevices(const QString& devDir = QStringLiteral("/dev"));

// This platform's list: the cameras of Qt's camera list (the main window's
// order), each mapped to its /dev/videoN index. When Qt lists no camera but
// V4L2 capture nodes exist, those are listed by number.
std::shared_ptr<CameraList> createSystemCameraList();
