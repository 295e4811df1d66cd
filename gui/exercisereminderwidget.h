#pragma once
// The eye-exercise pop-up: shows one of four short exercises with its
// animation for ten seconds, then the next one at the next exercise break.

#include "gui/reminderpopup.h"

#include <QMovie>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <array>

class QPropertyAnimation;
class QTimer;
namespace Ui {
class ExerciseReminderWidget;
}

class ExerciseReminderWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kExerciseCount = 4;

    explicit ExerciseReminderWidget(QWidget* parent = nullptr);
    ~ExerciseReminderWidget() override;

signals:
    void exerciseFinished();

public slots:
    void fadeIn();
    // Ends a running exercise early; does nothing when none runs.
    void stop();
    void fadeOut();
    void loadTexts();
    void checkIfReminderVisible();
    void savePosition();

private slots:
    void on_pushButton_skip_clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    static QPoint defaultPosition();
    void showCurrentExercise();

    std::array<QString, kExerciseCount> m_texts;
    std::array<QMovie, kExerciseCount> m_movies;
    Ui::ExerciseReminderWidget* ui;
    // Top-left corner.
    reminderpopup::SavedPosition m_position;
    int m_index = 0;
    QTimer* m_timer = nullptr;
    QPropertyAnimation* m_fadeIn = nullptr;
    reminderpopup::Drag m_drag;
};
