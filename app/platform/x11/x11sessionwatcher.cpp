#include "app/platform/x11/x11sessionwatcher.h"

#include "app/platform/x11/xconnection.h"

#include <QTimer>
#include <cstdlib>

#include <xcb/dpms.h>
#include <xcb/screensaver.h>

namespace SystemSession {

X11SessionWatcher::X11SessionWatcher(XConnection* x, QObject* parent)
    : QObject(parent), m_x(x)
{
    xcb_connection_t* c = x->connection();
    if (!c)
        return;
    connect(x, &XConnection::eventReceived, this, &X11SessionWatcher::onEvent);

    const xcb_query_extension_reply_t* saver = xcb_get_extension_data(c, &xcb_screensaver_id);
    if (saver && saver->present) {
        m_saverEventBase = saver->first_event;
        auto* info = xcb_screensaver_query_info_reply(c, xcb_screensaver_query_info(c, x->root()), nullptr);
        if (info) {
            // The state the session starts in is taken as it is, not reported.
            m_saverActive = info->state == XCB_SCREENSAVER_STATE_ON || info->state == XCB_SCREENSAVER_STATE_CYCLE;
            std::free(info);
        }
        xcb_screensaver_select_input(c, x->root(), XCB_SCREENSAVER_EVENT_NOTIFY_MASK);
        xcb_flush(c);
    }

    const xcb_query_extension_reply_t* dpms = xcb_get_extension_data(c, &xcb_dpms_id);
    if (dpms && dpms->present) {
        auto* capable = xcb_dpms_capable_reply(c, xcb_dpms_capable(c), nullptr);
        if (capable && capable->capable) {
            auto* info = xcb_dpms_info_reply(c, xcb_dpms_info(c), nullptr);
            if (info) {
                m_screensAsleep = info->state && info->power_level != XCB_DPMS_DPMS_MODE_ON;
                std::free(info);
            }
            m_powerTimer = new QTimer(this);
            m_powerTimer->setInterval(kScreenPowerPollMs);
            connect(m_powerTimer, &QTimer::timeout, this, &X11SessionWatcher::pollPower);
            m_powerTimer->start();
        }
        std::free(capable);
    }
    x->dispatchEventsLater();
}

void X11SessionWatcher::applyPowerLevel(bool dpmsEnabled, int level)
{
    const bool asleep = dpmsEnabled && level != XCB_DPMS_DPMS_MODE_ON;
    if (asleep == m_screensAsleep)
        return;
    m_screensAsleep = asleep;
    emit screensAsleepChanged(asleep);
}

void X11SessionWatcher::pollPower()
{
    xcb_connection_t* c = m_x->connection();
    if (xcb_connection_has_error(c)) {
        m_powerTimer->stop();  // the X server is gone
        return;
    }
    auto* info = xcb_dpms_info_reply(c, xcb_dpms_info(c), nullptr);
    if (info) {
        applyPowerLevel(info->state, info->power_level);
        std::free(info);
    }
    m_x->dispatchEventsLater();
}

void X11SessionWatcher::onEvent(xcb_generic_event_t* event)
{
    if (m_saverEventBase < 0 || (event->response_type & 0x7f) != m_saverEventBase + XCB_SCREENSAVER_NOTIFY)
        return;
    const auto* notify = reinterpret_cast<const xcb_screensaver_notify_event_t*>(event);
    // Cycle means the saver runs and changes its picture; only on and off count.
    const bool active = notify->state != XCB_SCREENSAVER_STATE_OFF;
    if (active == m_saverActive)
        return;
    m_saverActive = active;
    emit screenSaverChanged(active);
}

}  // namespace SystemSession
