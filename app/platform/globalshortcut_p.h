#pragma once
// The portable part of a hotkey (the process-wide table, enabling,
// activation) and the operations the windowing system's part provides.

#include <QHash>
#include <QPair>
#include <Qt>

class GlobalShortcut;
class QKeySequence;

class GlobalShortcutPrivate
{
public:
    explicit GlobalShortcutPrivate(GlobalShortcut* q);

    bool setShortcut(const QKeySequence& shortcut);
    bool unsetShortcut();

    // Windowing-system part. A key the keyboard layout cannot type has the
    // native code 0, which is never registered.
    static quint32 nativeKeycode(Qt::Key key);
    static quint32 nativeModifiers(Qt::KeyboardModifiers modifiers);
    static bool registerShortcut(quint32 nativeKey, quint32 nativeMods);
    static bool unregisterShortcut(quint32 nativeKey, quint32 nativeMods);
    static void activateShortcut(quint32 nativeKey, quint32 nativeMods);

    GlobalShortcut* q_ptr;
    bool enabled = true;
    Qt::Key key = Qt::Key(0);
    Qt::KeyboardModifiers mods = Qt::NoModifier;

    static QHash<QPair<quint32, quint32>, GlobalShortcut*> shortcuts;
};
