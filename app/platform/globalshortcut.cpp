#include "app/platform/globalshortcut.h"

#include "app/platform/globalshortcut_p.h"

#include <QDebug>

QHash<QPair<quint32, quint32>, GlobalShortcut*> GlobalShortcutPrivate::shortcuts;

namespace {
// The keypad flag stays with the key: it names which key, not a modifier.
constexpr int kModifierBits = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

QString portableText(Qt::Key key, Qt::KeyboardModifiers mods)
{
    return QKeySequence(int(key) | int(mods)).toString(QKeySequence::PortableText);
}
}  // namespace

GlobalShortcutPrivate::GlobalShortcutPrivate(GlobalShortcut* q) : q_ptr(q) {}

bool GlobalShortcutPrivate::setShortcut(const QKeySequence& shortcut)
{
    const int all = shortcut.isEmpty() ? 0 : shortcut[0];
    key = Qt::Key(all & ~kModifierBits);
    mods = Qt::KeyboardModifiers(all & kModifierBits);
    const quint32 nativeKey = nativeKeycode(key);
    const quint32 nativeMods = nativeModifiers(mods);
    if (!registerShortcut(nativeKey, nativeMods)) {
        qWarning().noquote() << "GlobalShortcut failed to register:" << portableText(key, mods);
        return false;
    }
    shortcuts.insert(qMakePair(nativeKey, nativeMods), q_ptr);
    return true;
}

bool GlobalShortcutPrivate::unsetShortcut()
{
    const auto pair = qMakePair(nativeKeycode(key), nativeModifiers(mods));
    if (shortcuts.value(pair) == q_ptr && unregisterShortcut(pair.first, pair.second)) {
        shortcuts.remove(pair);
        key = Qt::Key(0);
        mods = Qt::NoModifier;
        return true;
    }
    qWarning().noquote() << "GlobalShortcut failed to unregister:" << portableText(key, mods);
    return false;
}

void GlobalShortcutPrivate::activateShortcut(quint32 nativeKey, quint32 nativeMods)
{
    GlobalShortcut* shortcut = shortcuts.value(qMakePair(nativeKey, nativeMods));
    if (shortcut && shortcut->isEnabled())
        emit shortcut->activated();
}

GlobalShortcut::GlobalShortcut(QObject* parent)
    : QObject(parent), d_ptr(new GlobalShortcutPrivate(this))
{
}

GlobalShortcut::GlobalShortcut(const QKeySequence& shortcut, QObject* parent)
    : GlobalShortcut(parent)
{
    setShortcut(shortcut);
}

GlobalShortcut::~GlobalShortcut()
{
    if (d_ptr->key != 0)
        d_ptr->unsetShortcut();
    delete d_ptr;
}

QKeySequence GlobalShortcut::shortcut() const
{
    return QKeySequence(int(d_ptr->key) | int(d_ptr->mods));
}

bool GlobalShortcut::setShortcut(const QKeySequence& shortcut)
{
    if (d_ptr->key != 0)
        d_ptr->unsetShortcut();
    if (shortcut.isEmpty())
        return true;  // nothing to register: the sequence was cleared
    return d_ptr->setShortcut(shortcut);
}

bool GlobalShortcut::isEnabled() const
{
    return d_ptr->enabled;
}

void GlobalShortcut::setEnabled(bool enabled)
{
    d_ptr->enabled = enabled;
}

void GlobalShortcut::setDisabled(bool disabled)
{
    d_ptr->enabled = !disabled;
}
