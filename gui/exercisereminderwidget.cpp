#include "gui/exercisereminderwidget.h"

#include "ui_exercisereminderwidget.h"

#include <QDebug>
#include <QEvent>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QTimer>

namespace {
constexpr int kFadeInMs = 200;
constexpr int kExerciseMs = 10000;
const char* const kPictures[ExerciseReminderWidget::kExerciseCount] = {
    ":/icons/LookingIntoWindow.gif", ":/icons/squeeze.gif", ":/icons/leftRight.gif", ":/icons/rotate.gif"};
}  // namespace

ExerciseReminderWidget::ExerciseReminderWidget(QWidget* parent)
    : QWidget(parent), ui(new Ui::ExerciseReminderWidget), m_position(QStringLiteral("ERPX"), QStringLiteral("ERPY"))
{
    ui->setupUi(this);
    reminderpopup::setUpWindow(this);
    m_fadeIn = reminderpopup::createFadeIn(this, kFadeInMs);

    const QPoint fallback = defaultPosition();
    m_position.load(fallback);
    qDebug() << "ExerciseReminderWidget init position" << m_position.point().x() << m_position.point().y()
             << "default one" << fallback.x() << fallback.y();

    for (QMovie& movie : m_movies)
        movie.setParent(this);
    loadTexts();
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &ExerciseReminderWidget::fadeOut);
    showCurrentExercise();
}

ExerciseReminderWidget::~ExerciseReminderWidget()
{
    delete m_fadeIn;
    delete ui;
}

// Top-left corner at the primary screen's centre.
QPoint ExerciseReminderWidget::defaultPosition()
{
    const QSize screen = reminderpopup::primaryScreenSize();
    return QPoint(screen.width() / 2, screen.height() / 2);
}

void ExerciseReminderWidget::loadTexts()
{
    m_texts[0] = tr("Look out of the window (or towards any other long distance) for 10 sec.");
    m_texts[1] = tr("Blink while squeezing your lids for 10 sec.");
    m_texts[2] = tr("Move your eyes from side to side for 10 sec.");
    m_texts[3] = tr("Rotate your eyes for 10 sec.");
    for (int i = 0; i < kExerciseCount; ++i) {
        if (m_movies[i].fileName() != QLatin1String(kPictures[i]))
            m_movies[i].setFileName(QString::fromLatin1(kPictures[i]));
    }
}

void ExerciseReminderWidget::showCurrentExercise()
{
    ui->label_text->setText(m_texts[m_index]);
    ui->label_image->setMovie(&m_movies[m_index]);
    // Its first picture is in place before the pop-up shows, so the pop-up
    // has its full size when it is placed, and does not grow afterwards.
    m_movies[m_index].jumpToFrame(0);
}

void ExerciseReminderWidget::fadeIn()
{
    qDebug() << "ExerciseReminderWidget::fadeIn()";
    move(m_position.point());
    show();
    adjustSize();
    m_fadeIn->stop();
    m_fadeIn->start();
    checkIfReminderVisible();
    m_timer->start(kExerciseMs);
    m_movies[m_index].start();
}

void ExerciseReminderWidget::fadeOut()
{
    qDebug() << "ExerciseReminderWidget::fadeOut()";
    // The user still holds the pop-up after dragging it: keep where it is now.
    if (m_drag.isPressed())
        savePosition();
    hide();
    m_fadeIn->stop();
    m_movies[m_index].stop();
    m_index = (m_index + 1) % kExerciseCount;
    showCurrentExercise();
    emit exerciseFinished();
}

void ExerciseReminderWidget::stop()
{
    qDebug() << "ExerciseReminderWidget::stop()";
    if (!m_timer->isActive())
        return;
    m_timer->stop();
    fadeOut();
}

void ExerciseReminderWidget::on_pushButton_skip_clicked()
{
    m_timer->stop();
    if (parentWidget())
        parentWidget()->hide();
    fadeOut();
}

void ExerciseReminderWidget::checkIfReminderVisible()
{
    if (reminderpopup::isOffScreen(this)) {
        qDebug() << "ExerciseReminderWidget: reminder off the screen, changing its position";
        m_position.setInMemory(defaultPosition());
        move(m_position.point());
    }
    m_position.keepWhollyOnScreen(this, m_drag);
}

void ExerciseReminderWidget::savePosition()
{
    m_position.store(pos());
    qDebug() << "ExerciseReminderWidget::savePosition()" << pos().x() << pos().y();
    m_drag.reset();
}

void ExerciseReminderWidget::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(event);
}

void ExerciseReminderWidget::mouseReleaseEvent(QMouseEvent* event)
{
    qDebug() << "ExerciseReminderWidget::mouseReleaseEvent()" << event->pos();
    if (m_drag.isPressed())
        savePosition();
}

void ExerciseReminderWidget::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.move(this, event);
}

void ExerciseReminderWidget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        loadTexts();
        showCurrentExercise();
    }
    QWidget::changeEvent(event);
}
