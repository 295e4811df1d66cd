#pragma once
// The main window: status, settings, about and camera-test pages, the tray
// icon, and the reminder pop-ups it owns.

#include <QDateTime>
#include <QImage>
#include <QSystemTrayIcon>
#include <QVector>
#include <QWidget>

#include "core/lumoratypes.h"

class QCloseEvent;
class QMouseEvent;

namespace Ui {
class widget_lumora;
}
// The generated form of the main window.
using Ui_LumoraGUI = Ui::widget_lumora;

class LumoraGUI : public QWidget
{
    Q_OBJECT
public:
    explicit LumoraGUI(QWidget* parent = nullptr);
    ~LumoraGUI() override;

    bool isClosing() const { return m_closing; }

signals:
    void pauseRequested(bool);
    void disableCameraUse(bool);
    void lidStatusOpen(bool);
    void powerSaverActivated(bool);
    void poweredByBattery(bool);
    void trainingEnabled(bool);
    void trainingPeriodChanged(int);
    void reminderInteractivityChanged(bool);
    void training_mgd_status_changed(bool);
    void hideBlinkReminderByMouseRequested();
    void breakReminderEnabled(bool);
    void timeBetweenBreaksChanged(int);
    void includeNaturalBreaksChanged(bool);
    void naturalBreakDurationChanged(uint);
    void skipBreakClicked();
    void snoozeBreakClicked();
    void eyeExerciseReminderEnabled(bool);
    void exerciseFinished();
    void measurementEnabled(bool);
    void measurementRequested();
    void blinkRateChanged(float);
    void showStatisticsRequired();
    void cameraPreviewEnabled(bool);
    void cameraIDchanged(int);
    void screenControlEnabled(bool, int);
    void brightnessSliderPositionChanged(int);
    void colorTemperatureSliderPositionChanged(int);
    void languageChanged();
    void proxyGuiRequested();
    void useWebcamInBreaksChanged(bool);
    void displayConfigurationChanged(int);
    void breakReminderDurationChanged(int);
    void automaticBrightnessEnabled(bool);
    void autoBrightnessAdjustmentChanged(int);
    void guiInitialized();
    void cameraBackendChanged(int);

public slots:
    void init();
    void loadSettings();
    void openWindow();
    void showReminder();
    void responceToBlink();
    void showBreakReminder();
    void hideBreakReminder();
    void showExercise();
    void hideExerciseReminder();
    void showBubleNotificationAboutMeasurement(double);
    // The image is the window's own copy; it is shown at once.
    void showImage(QImage frame);
    void showError(Error);
    void adjustSystemTrayBasedOnFunctionalityAccessingCamera(Feature);
    void updateHealthStatus(QVector<double>, QVector<int>, QVector<QDateTime>);
    void setBrightnessSliderPosition(int);
    void setColorTemperatureSliderPosition(int);
    void disableHWbrightnessControl();
    void enableHWbrightnessControl(int);
    void showInternetUnreachable();
    void on_toolButton_titleBarClose_clicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Ui_LumoraGUI* ui = nullptr;
    bool m_closing = false;
};
