#include "gui/reminderpopup.h"

#include "app/settings.h"

#include <QApplication>
#include <QDebug>
#include <QDesktopWidget>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace reminderpopup {

namespace {

constexpr double kOpacity = 0.8;

// The least move that brings rect wholly inside area; a rect larger than
// area keeps its top or left edge inside.
QPoint shiftInside(const QRect& rect, const QRect& area)
{
    auto shift = [](int low, int high, int areaLow, int areaHigh) {
        if (high > areaHigh)
            return std::max(areaHigh - high, areaLow - low);
        return low < areaLow ? areaLow - low : 0;
    };
    return QPoint(shift(rect.left(), rect.right(), area.left(), area.right()),
                  shift(rect.top(), rect.bottom(), area.top(), area.bottom()));
}

}  // namespace

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

void SavedPosition::keepWhollyOnScreen(QWidget* popup, const Drag& drag)
{
    if (drag.isPressed())
        return;
    const int number = QApplication::desktop()->screenNumber(popup);
    const QScreen* screen = QGuiApplication::screens().value(number);
    if (!screen)
        return;
    const QPoint by = shiftInside(popup->frameGeometry(), screen->geometry());
    if (by.isNull())
        return;
    qDebug().noquote() << QString::fromLatin1(popup->metaObject()->className()) +
                              QStringLiteral("::keepWhollyOnScreen() partly off the screen, moved by")
                       << by.x() << by.y();
    popup->move(popup->pos() + by);
    m_point += by;
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
