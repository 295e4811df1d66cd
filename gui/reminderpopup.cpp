#include "gui/reminderpopup.h"

#include "app/settings.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>
#include <QWidget>

namespace reminderpopup {

namespace {
constexpr double kOpacity = 0.8;
}

void setUpWindow(QWidget* popup)
{
    // Without WindowDoesNotAcceptFocus an X11 window manager would hand the
    // focus to a pop-up that is clicked, taking it from the user's work;
    // buttons still receive their clicks.
    popup->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus);
    popup->setAttribute(Qt::WA_ShowWithoutActivating);
    popup->setAttribute(Qt::WA_MacAlwaysShowToolWindow);
    popup->setWindowOpacity(kOpacity);
}

QPropertyAnimation* createFadeIn(QWidget* popup, int durationMs)
{
    auto* animation = new QPropertyAnimation(popup, "windowOpacity", popup);
    animation->setDuration(durationMs);
    animation->setStartValue(0.0);
    animation->setEndValue(kOpacity);
    return animation;
}

void SavedPosition::load(const QPoint& fallback)
{
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("G"));
    m_point = QPoint(settings->value(m_keyX, fallback.x()).toInt(), settings->value(m_keyY, fallback.y()).toInt());
    settings->endGroup();
}

void SavedPosition::store(const QPoint& point)
{
    m_point = point;
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("G"));
    settings->setValue(m_keyX, point.x());
    settings->setValue(m_keyY, point.y());
    settings->endGroup();
}

bool isOffScreen(const QWidget* popup)
{
    return QApplication::desktop()->screenNumber(popup) == -1;
}

QSize primaryScreenSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize();
}

void Drag::press(const QMouseEvent* event)
{
    m_pressPoint = event->localPos().toPoint();
}

void Drag::move(QWidget* popup, const QMouseEvent* event) const
{
    if (m_pressPoint.isNull() || !(event->buttons() & Qt::LeftButton))
        return;
    popup->move(popup->pos() + (event->pos() - m_pressPoint));
}

}  // namespace reminderpopup
