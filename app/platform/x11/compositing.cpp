#include "app/platform/compositing.h"

#include <QByteArray>
#include <QGuiApplication>
#include <cstdlib>

#include "app/platform/x11/xconnection.h"

namespace compositing {

namespace {

bool selectionOwned(const XConnection& x)
{
    xcb_connection_t* c = x.connection();
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(x.screenNumber());
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, quint16(name.size()), name.constData()), nullptr);
    if (!atom)
        return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    // With only_if_exists set, no atom means no client ever claimed it.
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    if (!owner)
        return false;
    const bool owned = owner->owner != XCB_NONE;
    std::free(owner);
    return owned;
}

}  // namespace

bool translucencyBlended()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return true;
    const XConnection x;
    // No answer from the server: keep the look the windows were made with.
    return !x.isValid() || selectionOwned(x);
}

}  // namespace compositing
