#include "gui/blinkreminderwidget.h"

#include <QDebug>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QMovie>
#include <QSound>

namespace {
constexpr int kDefaultTop = 200;
const QRect kPictureGeometry(2, 2, 169, 100);
const QRect kTextGeometry(173, 2, 550, 104);
}  // namespace

BlinkReminderWidget::BlinkReminderWidget(QWidget* parent)
    : QWidget(parent), m_position(QStringLiteral("RPX"), QStringLiteral("RPY"))
{
    qDebug() << "blink reminder construction";
    reminderpopup::setUpWindow(this);
    setMouseTracking(true);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("background:black;"));

    m_movie = new QMovie(QStringLiteral(":/icons/blinkNotify.gif"), QByteArray(), this);
    m_picture = new QLabel(this);
    m_picture->setGeometry(kPictureGeometry);
    m_picture->setMovie(m_movie);
    m_text = new QLabel(this);
    m_text->setText(tr("just blink ;)"));
    m_text->setStyleSheet(QStringLiteral("font-size:35px;color:white;margin-right:5px;margin-top:20px"));

    m_sound = new QSound(QStringLiteral("qrc:/audio/marimba2500ms.wav"), this);
    m_sound->setLoops(QSound::Infinite);

    m_position.load(defaultPosition());
}

BlinkReminderWidget::~BlinkReminderWidget()
{
    m_movie->stop();
    delete m_movie;
    m_picture->deleteLater();
    m_text->deleteLater();
}

// Right edge on the primary screen's right edge, 200 pixels below its top.
QPoint BlinkReminderWidget::defaultPosition()
{
    return QPoint(reminderpopup::primaryScreenSize().width(), kDefaultTop);
}

void BlinkReminderWidget::layOutText()
{
    m_text->setGeometry(kTextGeometry);
    m_text->adjustSize();
}

void BlinkReminderWidget::place()
{
    setGeometry(m_position.point().x() - width(), m_position.point().y(), width(), height());
}

void BlinkReminderWidget::rollOut(bool soundEnabled)
{
    if (m_changingPosition || isVisible())
        return;
    layOutText();
    // Sized and placed before it is mapped, so it never flashes elsewhere.
    adjustSize();
    place();
    show();
    updateGeometry();
    adjustSize();
    m_movie->start();
    place();
    // A place on a monitor that is gone comes back onto the primary screen,
    // in memory only: the stored position changes when the user moves it.
    if (reminderpopup::isOffScreen(this)) {
        qDebug() << "BlinkReminderWidget: reminder off the screen, changing its position";
        m_position.setInMemory(defaultPosition());
        place();
    }
    m_position.keepWhollyOnScreen(this, m_drag);
    if (soundEnabled)
        m_sound->play();
}

void BlinkReminderWidget::hideSteps()
{
    m_sound->stop();
    setGeometry(m_position.point().x(), m_position.point().y(), 0, height());
    hide();
    m_movie->stop();
}

void BlinkReminderWidget::rollIn()
{
    if (m_changingPosition || !isVisible())
        return;
    hideSteps();
}

void BlinkReminderWidget::enterEvent(QEvent* event)
{
    if (!m_changingPosition) {
        if (isVisible())
            hideSteps();
        emit hideBlinkReminderByMouseRequested();
    }
    QWidget::enterEvent(event);
}

void BlinkReminderWidget::changePosition()
{
    rollOut(false);
    m_changingPosition = true;
    setCursor(Qt::SizeAllCursor);
    m_movie->stop();
}

void BlinkReminderWidget::savePosition()
{
    m_changingPosition = false;
    setCursor(Qt::ArrowCursor);
    const QPoint rightTop(x() + width(), y());
    if (rightTop != m_position.point()) {
        qDebug() << "BlinkReminderWidget::savePosition()" << rightTop.x() << rightTop.y();
        m_position.store(rightTop);
    }
    m_drag.reset();
    hideSteps();
}

void BlinkReminderWidget::mousePressEvent(QMouseEvent* event)
{
    if (m_changingPosition)
        m_drag.press(event);
    else
        m_drag.reset();
}

void BlinkReminderWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (m_changingPosition)
        m_drag.move(this, event);
}

void BlinkReminderWidget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        m_text->setText(tr("just blink ;)"));
        layOutText();
        adjustSize();
        if (isVisible())
            place();
    }
    QWidget::changeEvent(event);
}
