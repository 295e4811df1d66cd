// Hotkeys on X11: passive key grabs on the root window through a connection
// of our own. Native codes are X key codes and X modifier masks.

#include "app/platform/x11/globalshortcut_x11.h"

#include "app/platform/globalshortcut_p.h"
#include "app/platform/x11/xconnection.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>
#include <QSet>
#include <QVector>
#include <cstdlib>

#include <xcb/xcb_keysyms.h>

QByteArray GlobalShortcutX11::display;

namespace {

constexpr quint32 kRelevantMods = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
constexpr xcb_keysym_t kNumLockKeysym = 0xff7f;

// Qt keys outside Latin-1 and their X keysyms.
struct KeyEntry {
    int key;
    xcb_keysym_t keysym;
};
const KeyEntry kKeyTable[] = {
    {Qt::Key_Escape, 0xff1b},       {Qt::Key_Tab, 0xff09},          {Qt::Key_Backtab, 0xfe20},
    {Qt::Key_Backspace, 0xff08},    {Qt::Key_Return, 0xff0d},       {Qt::Key_Enter, 0xff8d},
    {Qt::Key_Insert, 0xff63},       {Qt::Key_Delete, 0xffff},       {Qt::Key_Pause, 0xff13},
    {Qt::Key_Print, 0xff61},        {Qt::Key_SysReq, 0xff15},       {Qt::Key_Clear, 0xff0b},
    {Qt::Key_Home, 0xff50},         {Qt::Key_End, 0xff57},          {Qt::Key_Left, 0xff51},
    {Qt::Key_Up, 0xff52},           {Qt::Key_Right, 0xff53},        {Qt::Key_Down, 0xff54},
    {Qt::Key_PageUp, 0xff55},       {Qt::Key_PageDown, 0xff56},     {Qt::Key_Shift, 0xffe1},
    {Qt::Key_Control, 0xffe3},      {Qt::Key_Meta, 0xffeb},         {Qt::Key_Alt, 0xffe9},
    {Qt::Key_AltGr, 0xfe03},        {Qt::Key_CapsLock, 0xffe5},     {Qt::Key_NumLock, 0xff7f},
    {Qt::Key_ScrollLock, 0xff14},   {Qt::Key_Menu, 0xff67},         {Qt::Key_Help, 0xff6a},
    {Qt::Key_VolumeDown, 0x1008ff11}, {Qt::Key_VolumeMute, 0x1008ff12}, {Qt::Key_VolumeUp, 0x1008ff13},
    {Qt::Key_MediaPlay, 0x1008ff14}, {Qt::Key_MediaStop, 0x1008ff15}, {Qt::Key_MediaPrevious, 0x1008ff16},
    {Qt::Key_MediaNext, 0x1008ff17}, {Qt::Key_MonBrightnessUp, 0x1008ff02},
    {Qt::Key_MonBrightnessDown, 0x1008ff03},
};

xcb_keysym_t keysymForKey(Qt::Key withFlags)
{
    const Qt::Key key = Qt::Key(withFlags & ~Qt::KeypadModifier);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return 0xffbe + xcb_keysym_t(key - Qt::Key_F1);
    for (const KeyEntry& e : kKeyTable)
        if (e.key == key)
            return e.keysym;
    // Latin-1 keys are their own keysyms; Qt names letters by the upper case.
    if (key >= 0x20 && key <= 0xff)
        return QChar(ushort(key)).toLower().unicode();
    // Other characters: the keysyms X reserves for Unicode.
    if (key > 0xff && key < 0x01000000)
        return 0x01000000 | xcb_keysym_t(key);
    return 0;
}

// The hotkeys' X connection, its key map and its grabs; lives until the
// application object ends.
class HotkeyServer : public QObject
{
public:
    explicit HotkeyServer(QObject* parent) : QObject(parent), x(GlobalShortcutX11::display, this)
    {
        if (!x.isValid()) {
            qWarning() << "GlobalShortcut: no X display, hotkeys cannot be registered";
            return;
        }
        symbols = xcb_key_symbols_alloc(x.connection());
        readNumLockMask();
        QObject::connect(&x, &XConnection::eventReceived, this, [this](xcb_generic_event_t* e) { onEvent(e); });
    }
    ~HotkeyServer() override
    {
        if (symbols)
            xcb_key_symbols_free(symbols);
    }

    static HotkeyServer* instance()
    {
        static QPointer<HotkeyServer> server;
        if (!server && QCoreApplication::instance())
            server = new HotkeyServer(QCoreApplication::instance());
        return server && server->x.isValid() ? server.data() : nullptr;
    }

    // The modifier sets a grab must cover so that Caps Lock and Num Lock
    // do not stop a hotkey from firing.
    QVector<quint16> lockVariants() const
    {
        QVector<quint16> v{0, XCB_MOD_MASK_LOCK};
        if (numLockMask)
            v << numLockMask << quint16(numLockMask | XCB_MOD_MASK_LOCK);
        return v;
    }

    void ungrab(quint32 key, quint32 mods)
    {
        for (quint16 extra : lockVariants())
            xcb_ungrab_key(x.connection(), xcb_keycode_t(key), x.root(), quint16(mods | extra));
        xcb_flush(x.connection());
    }

    XConnection x;
    xcb_key_symbols_t* symbols = nullptr;
    quint16 numLockMask = 0;
    QSet<QPair<quint32, quint32>> grabs;

private:
    void readNumLockMask()
    {
        numLockMask = 0;
        xcb_connection_t* c = x.connection();
        xcb_keycode_t* numLock = xcb_key_symbols_get_keycode(symbols, kNumLockKeysym);
        auto* map = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
        if (numLock && map) {
            const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map);
            for (int mod = 0; mod < 8; ++mod)
                for (int i = 0; i < map->keycodes_per_modifier; ++i) {
                    const xcb_keycode_t code = codes[mod * map->keycodes_per_modifier + i];
                    for (const xcb_keycode_t* n = numLock; code && *n; ++n)
                        if (*n == code)
                            numLockMask |= quint16(1 << mod);
                }
        }
        std::free(map);
        std::free(numLock);
    }

    void onEvent(xcb_generic_event_t* event)
    {
        switch (event->response_type & 0x7f) {
        case XCB_KEY_PRESS: {
            const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
            GlobalShortcutPrivate::activateShortcut(press->detail, press->state & kRelevantMods);
            break;
        }
        case XCB_MAPPING_NOTIFY:
            xcb_refresh_keyboard_mapping(symbols, reinterpret_cast<xcb_mapping_notify_event_t*>(event));
            readNumLockMask();
            break;
        default:
            break;
        }
    }
};

}  // namespace

quint32 GlobalShortcutPrivate::nativeKeycode(Qt::Key key)
{
    HotkeyServer* server = HotkeyServer::instance();
    const xcb_keysym_t keysym = keysymForKey(key);
    if (!server || !keysym)
        return 0;
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(server->symbols, keysym);
    const quint32 code = codes ? codes[0] : 0;
    std::free(codes);
    return code;
}

quint32 GlobalShortcutPrivate::nativeModifiers(Qt::KeyboardModifiers modifiers)
{
    quint32 native = 0;
    if (modifiers & Qt::ShiftModifier)
        native |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        native |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        native |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier)
        native |= XCB_MOD_MASK_4;
    return native;
}

bool GlobalShortcutPrivate::registerShortcut(quint32 nativeKey, quint32 nativeMods)
{
    HotkeyServer* server = HotkeyServer::instance();
    // Key code 0 would be X's "any key": a key the layout cannot type must
    // not take over the whole keyboard. A combination is grabbed once.
    if (!server || nativeKey == 0 || server->grabs.contains(qMakePair(nativeKey, nativeMods)))
        return false;
    xcb_connection_t* c = server->x.connection();
    QVector<xcb_void_cookie_t> cookies;
    for (quint16 extra : server->lockVariants())
        cookies << xcb_grab_key_checked(c, 0, server->x.root(), quint16(nativeMods | extra), xcb_keycode_t(nativeKey),
                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    bool ok = true;
    for (const xcb_void_cookie_t& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
            ok = false;  // another client holds it (BadAccess)
            std::free(error);
        }
    }
    if (ok)
        server->grabs.insert(qMakePair(nativeKey, nativeMods));
    else
        server->ungrab(nativeKey, nativeMods);  // drop the variants we did get
    server->x.dispatchEventsLater();
    return ok;
}

bool GlobalShortcutPrivate::unregisterShortcut(quint32 nativeKey, quint32 nativeMods)
{
    HotkeyServer* server = HotkeyServer::instance();
    if (!server || !server->grabs.remove(qMakePair(nativeKey, nativeMods)))
        return false;
    server->ungrab(nativeKey, nativeMods);
    return true;
}
