#pragma once
// A system-wide hotkey: holds one key sequence, registers it with the
// windowing system so that it fires whatever window has the keyboard focus,
// and emits activated() when it is pressed while enabled.

#include <QKeySequence>
#include <QObject>

class GlobalShortcutPrivate;

class GlobalShortcut : public QObject
{
    Q_OBJECT
public:
    explicit GlobalShortcut(QObject* parent = nullptr);
    // Registers the sequence at once.
    explicit GlobalShortcut(const QKeySequence& shortcut, QObject* parent = nullptr);
    ~GlobalShortcut() override;

    QKeySequence shortcut() const;
    // Releases the current hotkey, then registers the first key combination
    // of the sequence; true on success. An empty sequence only releases.
    bool setShortcut(const QKeySequence& shortcut);

    bool isEnabled() const;

public slots:
    void setEnabled(bool enabled);
    void setDisabled(bool disabled);

signals:
    void activated();

private:
    GlobalShortcutPrivate* d_ptr;
    friend class GlobalShortcutPrivate;
};
