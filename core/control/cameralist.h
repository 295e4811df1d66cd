#pragma once
// The cameras the user can choose from, in the order the main window's camera
// list shows them, each with the device index the engine opens. A row of the
// list is not a device index: the scheduler maps the chosen row to the
// entry's index before it tells the engine. The platform's enumeration is
// given to the scheduler and the main window by the application object, so
// both see the same list.

#include <QString>
#include <QVector>

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

// A list that names no camera: what the scheduler uses when nobody gives it
// the platform's enumeration.
class NoCameraList : public CameraList
{
public:
    QVector<CameraEntry> cameras() override { return {}; }
};
