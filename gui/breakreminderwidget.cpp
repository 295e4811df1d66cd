#include "gui/breakreminderwidget.h"

#include "ui_breakreminderwidget.h"

#include <QDebug>
#include <QEvent>
#include <QMouseEvent>
#include <QPropertyAnimation>

namespace {
constexpr int kFadeInMs = 100;
constexpr int kAboveBottom = 100;
}  // namespace

BreakReminderWidget::BreakReminderWidget(QWidget* parent)
    : QWidget(parent), ui(new Ui::BreakReminderWidget), m_position(QStringLiteral("BRPX"), QStringLiteral("BRPY"))
{
    ui->setupUi(this);
    reminderpopup::setUpWindow(this);
    m_fadeIn = reminderpopup::createFadeIn(this, kFadeInMs);
    // The default uses the form's size, before anything was shown.
    const QPoint fallback = defaultPosition();
    m_position.load(fallback);
    qDebug() << "BreakReminder init position" << m_position.point().x() << m_position.point().y() << "default one"
             << fallback.x() << fallback.y();
}

BreakReminderWidget::~BreakReminderWidget()
{
    delete m_fadeIn;
    delete ui;
}

// Bottom-right corner of the primary screen, 100 pixels above its bottom edge.
QPoint BreakReminderWidget::defaultPosition() const
{
    const QSize screen = reminderpopup::primaryScreenSize();
    return QPoint(screen.width() - width(), screen.height() - height() - kAboveBottom);
}

void BreakReminderWidget::fadeIn()
{
    move(m_position.point());
    show();
    adjustSize();
    m_fadeIn->stop();
    m_fadeIn->start();
    checkIfReminderVisible();
}

void BreakReminderWidget::fadeOut()
{
    hide();
    m_fadeIn->stop();
}

void BreakReminderWidget::checkIfReminderVisible()
{
    if (reminderpopup::isOffScreen(this)) {
        qDebug() << "BRW: reminder off the screen, changing its position";
        m_position.setInMemory(defaultPosition());
        move(m_position.point());
    }
    m_position.keepWhollyOnScreen(this, m_drag);
}

void BreakReminderWidget::savePosition()
{
    m_position.store(pos());
    qDebug() << "BreakReminder::savePosition()" << pos().x() << pos().y();
    m_drag.reset();
}

void BreakReminderWidget::hideWithParent()
{
    if (parentWidget())
        parentWidget()->hide();
    fadeOut();
}

void BreakReminderWidget::on_pushButton_skip_clicked()
{
    hideWithParent();
    emit skipClicked();
}

void BreakReminderWidget::on_pushButton_snooze_clicked()
{
    hideWithParent();
    emit snoozeClicked();
}

void BreakReminderWidget::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(event);
}

void BreakReminderWidget::mouseReleaseEvent(QMouseEvent* event)
{
    qDebug() << "BreakReminderWidget::mouseReleaseEvent()" << event->pos();
    if (m_drag.isPressed())
        savePosition();
}

void BreakReminderWidget::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.move(this, event);
}

void BreakReminderWidget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QWidget::changeEvent(event);
}
