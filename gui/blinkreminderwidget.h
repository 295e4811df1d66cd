#pragma once
// The blink reminder: a black strip with an animated eye and "just blink ;)"
// at the saved place, optionally with a looping sound. It hides when the
// user blinks, when the reminder time ends, or when the pointer touches it.
// In position-change mode the user drags it to a new place.

#include "gui/reminderpopup.h"

#include <QPoint>
#include <QWidget>

class QLabel;
class QMovie;
class QSound;

class BlinkReminderWidget : public QWidget
{
    Q_OBJECT
public:
    explicit BlinkReminderWidget(QWidget* parent = nullptr);
    ~BlinkReminderWidget() override;

    void changePosition();
    // Leaves position-change mode, stores a changed position and hides.
    void savePosition();

    bool isChangingPosition() const { return m_changingPosition; }
    const QSound* sound() const { return m_sound; }
    const QMovie* movie() const { return m_movie; }

signals:
    void hideBlinkReminderByMouseRequested();

public slots:
    void rollOut(bool soundEnabled);
    void rollIn();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    static QPoint defaultPosition();
    void layOutText();
    // Right edge at the saved x, top at the saved y, current size.
    void place();
    void hideSteps();

    // x of the right edge (exclusive), y of the top edge.
    reminderpopup::SavedPosition m_position;
    bool m_changingPosition = false;
    QSound* m_sound = nullptr;
    QMovie* m_movie = nullptr;
    QLabel* m_picture = nullptr;
    QLabel* m_text = nullptr;
    reminderpopup::Drag m_drag;
};
