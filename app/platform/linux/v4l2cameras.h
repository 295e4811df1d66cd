#pragma once
// This platform's camera enumeration: the V4L2 nodes that can capture video,
// by device number. The one list serves the main window's camera list, the
// scheduler's row-to-device mapping and, through the scheduler, the engine,
// so a row names the same device everywhere.

#include <QString>
#include <memory>

#include "core/control/cameralist.h"

// The device index behind a V4L2 device path: "/dev/video2" gives 2, and a
// link such as "/dev/v4l/by-id/..." is followed first. -1 when the path names
// no video device.
int v4l2DeviceIndex(const QString& devicePath);

// The V4L2 nodes under devDir that can capture video, by device number, each
// described by its card name. Metadata and output nodes are left out.
QVector<CameraEntry> listV4l2CaptureDevices(const QString& devDir = QStringLiteral("/dev"));

// The list above, read anew at each call.
std::shared_ptr<CameraList> createSystemCameraList(const QString& devDir = QStringLiteral("/dev"));
