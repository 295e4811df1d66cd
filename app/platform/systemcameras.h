#pragma once
// This platform's camera list: the devices that can capture video, by
// device number. The one list serves the main window's camera list, the
// scheduler's row-to-device mapping and, through the scheduler, the engine,
// so a row names the same device everywhere.

#include <memory>

#include "core/control/cameralist.h"

// The list, read anew at each call of cameras().
std::shared_ptr<CameraList> createSystemCameraList();
