#pragma once
// Tells the scheduler whether the user is at the computer: the time since the
// last keyboard or pointer input and the pointer position. On Linux the idle
// time comes from the X server's screen-saver extension and the pointer
// position from a small object on the GUI thread (the worker never touches
// QCursor). Where nothing can be read (no X display, a Wayland session, the
// offscreen platform) the probe says so and the user counts as present.

#include <QPoint>
#include <QString>
#include <memory>

struct PresenceSample
{
    bool hasSource = false;  // false: nothing could be read
    qint64 idleMs = -1;      // since the last keyboard or pointer input; -1 unknown
    bool hasCursor = false;
    QPoint cursor;
};

class PresenceProbe
{
public:
    virtual ~PresenceProbe() = default;
    // Called on the scheduler's thread.
    virtual PresenceSample sample() = 0;
    // What the probe reads, or why it reads nothing; for the log.
    virtual QString sourceDescription() const = 0;
};

// The probe of this platform. Create it on the GUI thread (the pointer is
// sampled there every cursorSampleMs); it may then be used from any one thread.
std::shared_ptr<PresenceProbe> createSystemPresenceProbe(int cursorSampleMs = 2000);
