// The presence probe on X11: the idle time comes from the X server's
// screen-saver extension and the pointer position from a small object on the
// GUI thread (the scheduler's thread never touches QCursor).

#include "app/platform/systempresence.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

namespace {

// The last pointer position seen on the GUI thread, readable from any thread.
struct CursorState
{
    std::atomic<bool> valid{false};
    std::atomic<qint64> packed{0};

    void store(const QPoint& p)
    {
        packed.store((static_cast<qint64>(p.x()) << 32) | static_cast<quint32>(p.y()));
        valid.store(true);
    }
    QPoint load() const
    {
        const qint64 v = packed.load();
        return QPoint(static_cast<int>(v >> 32), static_cast<int>(static_cast<qint32>(v & 0xffffffff)));
    }
};

bool isWaylandSession()
{
    const QByteArray type = qgetenv("XDG_SESSION_TYPE");
    return type == "wayland" || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

class X11PresenceProbe : public PresenceProbe
{
public:
    explicit X11PresenceProbe(int cursorSampleMs)
    {
        auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        if (!app) {
            m_description = QStringLiteral("none: no GUI application");
            return;
        }
        const QString platform = QGuiApplication::platformName();
        if (platform != QLatin1String("xcb")) {
            m_description = QStringLiteral("none: platform %1").arg(platform);
            return;
        }
        // Through XWayland the X server sees only X clients' input, which
        // would make a busy user look idle.
        if (isWaylandSession()) {
            m_description = QStringLiteral("none: Wayland session");
            return;
        }
        openIdleSource();
        startCursorSampler(app, cursorSampleMs);
        QStringList parts;
        if (m_connection)
            parts << QStringLiteral("X11 idle time");
        else
            parts << QStringLiteral("no X11 idle time (%1)").arg(m_idleProblem);
        parts << (m_sampler ? QStringLiteral("pointer position")
                            : QStringLiteral("no pointer position (not created on the GUI thread)"));
        m_description = parts.join(QStringLiteral(", "));
    }

    ~X11PresenceProbe() override
    {
        if (m_connection)
            xcb_disconnect(m_connection);
        if (m_sampler)
            m_sampler->deleteLater();
    }

    PresenceSample sample() override
    {
        PresenceSample s;
        if (m_connection) {
            xcb_screensaver_query_info_reply_t* reply = xcb_screensaver_query_info_reply(
                m_connection, xcb_screensaver_query_info(m_connection, m_root), nullptr);
            if (reply) {
                s.idleMs = reply->ms_since_user_input;
                s.hasSource = true;
                free(reply);
            }
        }
        if (m_cursor && m_cursor->valid.load()) {
            s.hasCursor = true;
            s.cursor = m_cursor->load();
            s.hasSource = true;
        }
        return s;
    }

    QString sourceDescription() const override { return m_description; }

private:
    void openIdleSource()
    {
        int screenNumber = 0;
        xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
        if (!c || xcb_connection_has_error(c)) {
            m_idleProblem = QStringLiteral("no X display");
            if (c)
                xcb_disconnect(c);
            return;
        }
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_screensaver_id);
        if (!ext || !ext->present) {
            m_idleProblem = QStringLiteral("no screen-saver extension");
            xcb_disconnect(c);
            return;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem) {
            m_idleProblem = QStringLiteral("no screen");
            xcb_disconnect(c);
            return;
        }
        m_root = it.data->root;
        m_connection = c;
    }

    void startCursorSampler(QGuiApplication* app, int intervalMs)
    {
        if (QThread::currentThread() != app->thread())
            return;
        m_cursor = std::make_shared<CursorState>();
        auto* timer = new QTimer(app);
        std::shared_ptr<CursorState> state = m_cursor;
        QObject::connect(timer, &QTimer::timeout, timer, [state]() { state->store(QCursor::pos()); });
        state->store(QCursor::pos());
        timer->start(intervalMs);
        m_sampler = timer;
    }

    QString m_description;
    QString m_idleProblem;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    std::shared_ptr<CursorState> m_cursor;
    QPointer<QTimer> m_sampler;
};

}  // namespace

std::shared_ptr<PresenceProbe> createSystemPresenceProbe(int cursorSampleMs)
{
    return std::make_shared<X11PresenceProbe>(cursorSampleMs);
}
