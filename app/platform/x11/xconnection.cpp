#include "app/platform/x11/xconnection.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cstdlib>

XConnection::XConnection(const QByteArray& display, QObject* parent)
    : QObject(parent)
{
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem && i < screenNumber; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return;
    }
    m_connection = c;
    m_root = it.data->root;
    m_screenNumber = screenNumber;
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &XConnection::dispatchEvents);
}

XConnection::~XConnection()
{
    delete m_notifier;
    if (m_connection)
        xcb_disconnect(m_connection);
}

void XConnection::dispatchEvents()
{
    m_dispatchQueued = false;
    if (!m_connection || m_dispatching)
        return;
    m_dispatching = true;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        emit eventReceived(event);
        std::free(event);
    }
    if (xcb_connection_has_error(m_connection))
        m_notifier->setEnabled(false);  // the server went away; nothing more will come
    m_dispatching = false;
}

void XConnection::dispatchEventsLater()
{
    if (m_dispatchQueued || !m_connection)
        return;
    m_dispatchQueued = true;
    QTimer::singleShot(0, this, &XConnection::dispatchEvents);
}
