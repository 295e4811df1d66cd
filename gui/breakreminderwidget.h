#pragma once
// The break pop-up: tells the user it is time for a computer break and
// offers to skip or snooze it. When a break ends is the scheduler's decision.

#include "gui/reminderpopup.h"

#include <QPoint>
#include <QWidget>

class QPropertyAnimation;
namespace Ui {
class BreakReminderWidget;
}

class BreakReminderWidget : public QWidget
{
    Q_OBJECT
public:
    explicit BreakReminderWidget(QWidget* parent = nullptr);
    ~BreakReminderWidget() override;

signals:
    void skipClicked();
    void snoozeClicked();

public slots:
    void fadeIn();
    void fadeOut();
    void checkIfReminderVisible();
    void savePosition();

private slots:
    void on_pushButton_skip_clicked();
    void on_pushButton_snooze_clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QPoint defaultPosition() const;
    void hideWithParent();

    Ui::BreakReminderWidget* ui;
    // Top-left corner.
    reminderpopup::SavedPosition m_position;
    QPropertyAnimation* m_fadeIn = nullptr;
    reminderpopup::Drag m_drag;
};
