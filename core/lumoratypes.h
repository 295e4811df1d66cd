#pragma once
// Types that cross threads between the engine, the scheduler, the
// measurement store and the main window.

#include <QDateTime>
#include <QMetaType>
#include <QVector>

// What is using the camera or running right now.
enum Feature {
    BREAK = 0,
    EXERCISE = 1,
    FREE_CAMERA = 2,           // nothing uses the camera
    TRAINING = 3,              // plain blink reminder
    INTERACTIVE_TRAINING = 4,  // blink reminder watched by the camera
    MEASUREMENT = 5
};

// Errors of the camera engine.
enum Error {
    NO_ERROR = 0,
    LOW_MEMORY_OR_MISSING_MODEL = 1,  // insufficient memory or "data.dat" missing
    CAMERA_OCCUPIED = 2,
    LOW_FPS = 3,
    NO_FACE = 4,
    MORE_FACES = 5,
    EMPTY_FRAME = 6,
    MISSING_SYSTEM_TOOL = 7,
    NO_CAMERA = 8
};

Q_DECLARE_METATYPE(Feature)
Q_DECLARE_METATYPE(Error)

// Registers every type that crosses threads through queued signals, in the
// order the start-up registers them.
void registerCrossThreadTypes();
