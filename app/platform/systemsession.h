#pragma once
// The session listener's platform-neutral face. It reports events of the
// user's session as numbered status codes through sessionChangeDetected(int):
//
//   0 screen locked              1 screen unlocked
//   2 machine goes to sleep      3 machine woke
//   4 screens woke               5 screens went to sleep
//   6 screen saver started       7 screen saver stopped
//   8/9 lid opened/closed        10 display configuration changed
//   11/12 cloned screen appeared/gone
//   13/14 running on battery/mains   15/16 power saver off/on
//   17 screen resolution changed
//   18/19 a listed process runs / no listed process runs
//   20/21 a listed window title exists / none exists
//   22/23 a listed pause title exists / none exists
//
// The Linux listener sends 0 to 7 and 18 to 23. Codes 18 to 23 are the
// results of the periodic checks: while a check is on it reports its result
// every 2 seconds, whether or not it changed, so a receiver must treat a
// repeated code as no change.

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QString>
#include <QStringList>

namespace SystemSession {

class EventFilter : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    // The listener for this platform; the caller owns it.
    static EventFilter* create();
    ~EventFilter() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override = 0;

signals:
    void sessionChangeDetected(int status);

public slots:
    virtual void checkBatteryStatus() {}
    virtual void checkPowerSaverMode() {}
    virtual void checkForDuplicateScreen() {}
    virtual void enableWindowsTitleListener(bool) {}
    virtual void enablePauseTitleListener(bool) {}
    virtual void enableProcessListener(bool) {}
    virtual void setTitlesToCheck(QString) {}
    virtual void setPauseTitlesToCheck(QString) {}
    virtual void setProcessesToCheck(QString) {}
    virtual void checkProcessesAndWindowsTitles() {}

protected:
    explicit EventFilter(QObject* parent = nullptr);
};

}  // namespace SystemSession
