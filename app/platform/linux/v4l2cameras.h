#pragma once
// The camera list on Linux: the V4L2 nodes that can capture video, by
// device number; createSystemCameraList() reads them below /dev.

#include <QString>

#include "app/platform/systemcameras.h"

// The device index behind a V4L2 device path: "/dev/video2" gives 2, and a
// link such as "/dev/v4l/by-id/..." is followed first. -1 when the path names
// no video device.
int v4l2DeviceIndex(const QString& devicePath);

// The V4L2 nodes under devDir that can capture video, by device number, each
// described by its card name. Metadata and output nodes are left out.
QVector<CameraEntry> listV4l2CaptureDevices(const QString& devDir = QStringLiteral("/dev"));
