#pragma once
// Tells the scheduler whether the user is at the computer: the time since the
// last keyboard or pointer input and the pointer position. The platform's
// probe is given to the scheduler by the application object; where nothing
// can be read the probe says so and the user counts as present.

#include <QPoint>
#include <QString>

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

// A probe that reads nothing: the user always counts as present.
class NoPresenceProbe : public PresenceProbe
{
public:
    PresenceSample sample() override { return {}; }
    QString sourceDescription() const override { return QStringLiteral("none: no probe given"); }
};
