#pragma once
// What the three reminder pop-ups share: their window kind, the saved
// position in group "G", moving by drag and the fade-in.

#include <QPoint>
#include <QSize>
#include <QString>

class QMouseEvent;
class QPropertyAnimation;
class QWidget;

namespace reminderpopup {

class Drag;

// Frameless, always-on-top tool window at opacity 0.8 that never takes the
// keyboard focus, neither when it appears nor when it is clicked.
void setUpWindow(QWidget* popup);

// The "windowOpacity" fade from 0 to 0.8, a child of the pop-up.
QPropertyAnimation* createFadeIn(QWidget* popup, int durationMs);

// A pop-up's place, kept in group "G" under two keys and read once.
class SavedPosition
{
public:
    SavedPosition(const QString& keyX, const QString& keyY) : m_keyX(keyX), m_keyY(keyY) {}
    // The fallback applies when a key is absent; it is not written back.
    void load(const QPoint& fallback);
    QPoint point() const { return m_point; }
    // A correction that stays in memory; the settings keep the old place.
    void setInMemory(const QPoint& point) { m_point = point; }
    void store(const QPoint& point);
    // Moves a shown pop-up by the least distance that brings it wholly inside
    // the full geometry of the screen it lies on most (a pop-up wider in
    // another language, a place saved on a larger screen), and shifts the
    // place in memory with it; the settings keep the old values. Nothing
    // moves during a drag or when the pop-up lies on no screen.
    void keepWhollyOnScreen(QWidget* popup, const Drag& drag);

private:
    QString m_keyX, m_keyY;
    QPoint m_point;
};

// True when the pop-up lies on no screen (a monitor removed, a resolution changed).
bool isOffScreen(const QWidget* popup);

// The primary screen's full geometry (not the available one).
QSize primaryScreenSize();

// The press point of a drag; (0, 0) means no drag is under way, also when
// the user really pressed at the pop-up's top-left pixel.
class Drag
{
public:
    void press(const QMouseEvent* event);
    // Moves the pop-up so the grabbed pixel stays under the cursor.
    void move(QWidget* popup, const QMouseEvent* event) const;
    bool isPressed() const { return !m_pressPoint.isNull(); }
    void reset() { m_pressPoint = QPoint(); }

private:
    QPoint m_pressPoint;
};

}  // namespace reminderpopup
