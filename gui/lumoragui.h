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
class QCPItemText;
class QEvent;
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
    // The blink-monitoring status line.
    enum BlinkMonitoringMessage {
        NO_MESSAGE = 0,
        MEASUREMENT_STARTS_SHORTLY = 1,
        NO_MEASUREMENT_YET = 2,
        MEASUREMENT_IN_PROGRESS = 3,
        TRAINING_OBSERVES_USER = 4
    };

    explicit LumoraGUI(QWidget* parent = nullptr);
    ~LumoraGUI() override;

    bool isClosing() const { return m_closing; }
    // Test seam: the width camera-test images are scaled to.
    int previewWidth() const { return m_previewWidth; }

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

    // Appearance and retranslation (lumoragui_appearance.cpp).
protected:
    void changeEvent(QEvent* event) override;
private slots:
    void adjustGUIelementsSizes();
private:
    void adjustGUIappearance();
    void configureGraphLanguage();
    void initializeShadowsForWidgets();

    // User texts of the status line and of the engine's errors.
    QString errorToText(Error e) const;
    QString messageToText(BlinkMonitoringMessage m) const;

private:
    Ui_LumoraGUI* ui = nullptr;
    bool m_closing = false;

    // State the window's look is derived from.
    QSystemTrayIcon* m_trayIcon = nullptr;
    QString m_statusText;
    Error m_currentError = NO_ERROR;
    BlinkMonitoringMessage m_statusMessage = NO_MESSAGE;
    bool m_errorShown = false;
    bool m_errorBalloonShown = false;
    bool m_presentationMode = false;
    bool m_cameraPaused = false;
    bool m_interactiveReminderSuspended = false;
    int m_previewWidth = 400;
    QVector<QDateTime> m_recentTimes;
    QVector<QString> m_recentTimeTexts;
    QCPItemText* m_healthyText = nullptr;
};
