// Titles of the windows on screen, read from the X server.

#include "app/platform/x11/windowtitles.h"

#include <QSysInfo>
#include <QVector>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

QVector<xcb_atom_t> internAtoms(xcb_connection_t* c, const QVector<const char*>& names)
{
    QVector<xcb_intern_atom_cookie_t> cookies;
    for (const char* name : names)
        cookies.append(xcb_intern_atom(c, 1, uint16_t(std::strlen(name)), name));
    QVector<xcb_atom_t> atoms;
    for (const auto& cookie : cookies) {
        Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, cookie, nullptr));
        atoms.append(r ? r->atom : xcb_atom_t(XCB_ATOM_NONE));
    }
    return atoms;
}

// The managed windows of one root, or its children without a window manager.
QVector<xcb_window_t> topLevelWindows(xcb_connection_t* c, xcb_window_t root, xcb_atom_t clientList)
{
    QVector<xcb_window_t> windows;
    if (clientList != XCB_ATOM_NONE) {
        Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, clientList, XCB_ATOM_WINDOW, 0, 16384), nullptr));
        if (r && r->type == XCB_ATOM_WINDOW && r->format == 32) {
            const auto* w = static_cast<const xcb_window_t*>(xcb_get_property_value(r.get()));
            const int n = xcb_get_property_value_length(r.get()) / 4;
            for (int i = 0; i < n; ++i)
                windows.append(w[i]);
            return windows;
        }
    }
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (tree) {
        const xcb_window_t* w = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
            windows.append(w[i]);
    }
    return windows;
}

QString propertyText(xcb_get_property_reply_t* r, xcb_atom_t utf8)
{
    if (!r || r->type == XCB_ATOM_NONE || r->format != 8)
        return QString();
    const char* data = static_cast<const char*>(xcb_get_property_value(r));
    const int size = xcb_get_property_value_length(r);
    if (r->type == utf8)
        return QString::fromUtf8(data, size);
    return QString::fromLatin1(data, size);  // STRING is Latin-1
}

quint32 propertyCardinal(xcb_get_property_reply_t* r)
{
    if (!r || r->type != XCB_ATOM_CARDINAL || r->format != 32 || xcb_get_property_value_length(r) < 4)
        return 0;
    return *static_cast<const quint32*>(xcb_get_property_value(r));
}

}  // namespace

namespace SystemSession {

QStringList getAllWindowTitles(xcb_connection_t* c, qint64 ownPid)
{
    QStringList titles;
    if (!c || xcb_connection_has_error(c))
        return titles;
    const QVector<xcb_atom_t> atoms =
        internAtoms(c, {"_NET_CLIENT_LIST", "_NET_WM_NAME", "UTF8_STRING", "_NET_WM_PID"});
    const xcb_atom_t clientList = atoms[0], netWmName = atoms[1], utf8 = atoms[2], netWmPid = atoms[3];
    const QString host = QSysInfo::machineHostName();

    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it)) {
        const QVector<xcb_window_t> windows = topLevelWindows(c, it.data->root, clientList);
        // Ask for everything first, then collect, so the scan costs one round trip.
        struct Pending {
            xcb_get_window_attributes_cookie_t attributes;
            xcb_get_property_cookie_t netName;
            xcb_get_property_cookie_t name;
            xcb_get_property_cookie_t pid;
            xcb_get_property_cookie_t machine;
        };
        QVector<Pending> pending;
        pending.reserve(windows.size());
        for (xcb_window_t w : windows) {
            Pending p;
            p.attributes = xcb_get_window_attributes(c, w);
            p.netName = xcb_get_property(c, 0, w, netWmName != XCB_ATOM_NONE ? netWmName : xcb_atom_t(XCB_ATOM_WM_NAME),
                                         XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
            p.name = xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
            p.pid = xcb_get_property(c, 0, w, netWmPid, XCB_ATOM_CARDINAL, 0, 1);
            p.machine = xcb_get_property(c, 0, w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
            pending.append(p);
        }
        for (const Pending& p : pending) {
            Reply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(c, p.attributes, nullptr));
            Reply<xcb_get_property_reply_t> netName(xcb_get_property_reply(c, p.netName, nullptr));
            Reply<xcb_get_property_reply_t> name(xcb_get_property_reply(c, p.name, nullptr));
            Reply<xcb_get_property_reply_t> pid(xcb_get_property_reply(c, p.pid, nullptr));
            Reply<xcb_get_property_reply_t> machine(xcb_get_property_reply(c, p.machine, nullptr));
            if (!a || a->map_state != XCB_MAP_STATE_VIEWABLE)
                continue;  // hidden, minimised or gone meanwhile
            if (ownPid > 0 && propertyCardinal(pid.get()) == quint32(ownPid)) {
                // A process number means ours only on this machine.
                const QString client = propertyText(machine.get(), utf8);
                if (client.isEmpty() || client == host)
                    continue;
            }
            QString title = propertyText(netName.get(), utf8);
            if (title.isEmpty())
                title = propertyText(name.get(), utf8);
            titles.append(title.toLower());
        }
    }
    return titles;
}

}  // namespace SystemSession
