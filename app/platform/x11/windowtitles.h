#pragma once
// Titles of the windows on screen, read from the X server.

#include <QStringList>

#include <xcb/xcb.h>

namespace SystemSession {

// Titles of the viewable top-level windows, lower-cased, in the order the
// window manager lists them (_NET_CLIENT_LIST); without a window manager,
// the root window's children in stacking order. A window without a name
// gives an empty text; no connection gives an empty list.
QStringList getAllWindowTitles(xcb_connection_t* connection);

}  // namespace SystemSession
