#pragma once
// One connection of our own to an X server, read from the Qt event loop.
// It works whatever Qt platform plugin the program uses, so the session
// listener and the hotkeys also run (or fail cleanly) under offscreen.

#include <QByteArray>
#include <QObject>

#include <xcb/xcb.h>

class QSocketNotifier;

class XConnection : public QObject
{
    Q_OBJECT
public:
    // An empty display name means $DISPLAY.
    explicit XConnection(const QByteArray& display = QByteArray(), QObject* parent = nullptr);
    ~XConnection() override;

    bool isValid() const { return m_connection != nullptr; }
    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const { return m_root; }
    // The display's default screen, whose root root() is.
    int screenNumber() const { return m_screenNumber; }

    // Hands every event waiting in the connection to eventReceived(). Run it
    // after a blocking reply too: xcb may have queued events while waiting,
    // and those never wake the socket notifier again.
    void dispatchEvents();
    // The same, from the event loop's next turn.
    void dispatchEventsLater();

signals:
    // Delivered directly; the event is freed when the handlers return.
    void eventReceived(xcb_generic_event_t* event);

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    int m_screenNumber = 0;
    QSocketNotifier* m_notifier = nullptr;
    bool m_dispatching = false;
    bool m_dispatchQueued = false;
};
