#pragma once
// Titles of the windows on screen, read from the X server.

#include <QStringList>

#include <xcb/xcb.h>

namespace SystemSession {

// Titles of the viewable top-level windows, lower-cased, in the order the
// window manager lists them (_NET_CLIENT_LIST); without a window manager,
// the root window's children in stacking order. A window without a name
// gives an empty text; no connection gives an empty list. Windows of the
// process ownPid on this machine (_NET_WM_PID, and WM_CLIENT_MACHINE where
// set) are left out, so a program's scan does not see its own windows; 0
// leaves none out.
QStringList getAllWindowTitles(xcb_connection_t* connection, qint64 ownPid = 0);

}  // namespace SystemSession
