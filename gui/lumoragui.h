#pragma once
// The main window: status, settings, about and camera-test pages, the tray
// icon, and the reminder pop-ups it owns.

#include <QDateTime>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QKeySequence>
#include <QLocale>
#include <QPoint>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QVector>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "core/lumoratypes.h"

class BlinkReminderWidget;
class BreakReminderWidget;
class CameraList;
class ExerciseReminderWidget;
class LivePicture;
class QAction;
class QButtonGroup;
class QCloseEvent;
class QCPItemLine;
class QCPItemText;
class QEvent;
class QLineEdit;
class QMenu;
class QMouseEvent;
class QScreen;
class QSound;
class QTimer;
class StartAtLogin;
class UpdateCenter;
namespace SystemSession {
class EventFilter;
}

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

    // The platform pieces the window uses; the application object gives the
    // camera list it shares with the scheduler. Without them the window uses
    // this platform's own (set before init()).
    void setCameraList(std::shared_ptr<CameraList> cameras);
    void setStartAtLogin(std::shared_ptr<StartAtLogin> startAtLogin);
    // Where the session listener comes from (tests give their own).
    void setSessionListenerFactory(std::function<SystemSession::EventFilter*()> factory);

    // The tray menu as it stands (test seam).
    QMenu* trayMenu() const { return m_trayMenu; }
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }
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
    // The engine could not read its landmark model: nothing will start.
    void showModelUnreadable();
    // The camera's picture has changed since it was opened: it delivers.
    void cameraPictureChanged();

    // Title bar, opening, hiding and quitting (lumoragui.cpp).
protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
private slots:
    void on_toolButton_titleBarSettings_clicked();
    void on_toolButton_titleBarAbout_clicked();
    void on_toolButton_titleBarWebcam_clicked();
    void on_toolButton_titleBarBack_clicked();
    void hideBlinkReminder();
    void resetMouseCursor();
private:
    void applyStatusMessageRule();
    void checkForUpdates();
    void moveToPrimaryScreen();
    // Reminder pop-ups (lumoragui_popups.cpp).
    void createReminderPopups();
    // Checked: the user places the blink reminder; unchecked: its place is kept.
    void placeBlinkReminder(bool placing);
    BlinkReminderWidget* m_blinkReminder = nullptr;
    BreakReminderWidget* m_breakReminder = nullptr;
    ExerciseReminderWidget* m_exerciseReminder = nullptr;

    // Tray icon and pause actions (lumoragui_tray.cpp).
private slots:
    void showWindow(QSystemTrayIcon::ActivationReason reason);
    void pauseApp();
    void resumeApp();
    void pauseCameraUse();
    void resumeCameraUse();
    void systemAdapter(int status);
private:
    // Pauses taken and ended for a session reason (lumoragui_session.cpp).
    bool automaticPauseHeld() const;
    bool automaticCameraPauseHeld() const;
    void pauseForReason(bool& reason);
    void resumeForReason(bool& reason);
    void pauseCameraForReason(bool& reason);
    void resumeCameraForReason(bool& reason);
    void createTrayIcon();
    void rebuildTrayMenu();
    static bool trayAvailable();
    // A balloon at the tray icon, shown once the tray has the icon.
    void showTrayBalloon(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon,
                         int ms);
    void showPendingBalloon();
    struct Balloon {
        QString title;
        QString message;
        QSystemTrayIcon::MessageIcon icon;
        int ms;
    };
    std::optional<Balloon> m_pendingBalloon;
    QTimer* m_balloonTimer = nullptr;
    QElapsedTimer m_balloonWait;

    // Stored settings and their handlers (lumoragui_settings.cpp).
private slots:
    void on_checkBox_isMGDenabled_toggled(bool checked);
    void on_checkBox_isMGDenabled_clicked();
    void on_radioButton_isReminderInteractive_toggled(bool checked);
    void on_radioButton_isReminderSimple_toggled(bool checked);
    void on_checkBox_enableCompletedMeasurementNotification_toggled(bool checked);
    void on_toolButton_blinkMonitoringOnOff_toggled(bool checked);
    void on_toolButton_blinkTrainingOnOff_toggled(bool checked);
    void on_checkBox_settingsSendStatistics_toggled(bool checked);
    void on_checkBox_includeNaturalBreaks_toggled(bool checked);
    void on_spinBox_trainingPeriod_valueChanged(int value);
    void on_spinBox_timeBetweenBreaks_valueChanged(int value);
    void on_spinBox_naturalBreaksDuration_valueChanged(int value);
    void on_toolButton_eyeExerciseOnOff_toggled(bool checked);
    void on_toolButton_computerBreaksOnOff_toggled(bool checked);
    void on_checkBox_enableBeta_toggled(bool checked);
    void on_checkBox_enableSound_toggled(bool checked);
    void on_checkBox_whenTitleExists_toggled(bool checked);
    void on_checkBox_whenProcessRun_toggled(bool checked);
    void on_checkBox_pauseApp_whenTitleExist_toggled(bool checked);
    void on_lineEdit_whenProcessRun_textChanged(const QString& text);
    void on_lineEdit_whenTitleExists_textChanged(const QString& text);
    void on_lineEdit_pauseApp_whenTitleExists_textChanged(const QString& text);
    void on_checkBox_pauseOnBattery_toggled(bool checked);
    void on_checkBox_pauseAppWhenClonedScreen_toggled(bool checked);
    void on_toolButton_screenControlOnOff_toggled(bool checked);
    void on_checkBox_hotkeysEnable_toggled(bool checked);
    void colorTemperature_valueChanged(int id, bool checked);
private:
    void store(const char* key, const QVariant& value);
    using TitleListSetter = std::function<void(SystemSession::EventFilter*, QString)>;
    void passTitleList(QLineEdit* edit, QTimer*& draft, TitleListSetter apply);
    QTimer* m_titleListDraft = nullptr;
    QTimer* m_pauseTitleListDraft = nullptr;
    // Status page pieces the window's own code calls (lumoragui_status.cpp).
    void checkToDisableErrorToolTipIfNoCameraNeeded();
    void configurelGraphAppearance();
    // The camera may not be used: the program or its camera use is paused.
    bool cameraUseHeld() const;
    // What holds the camera, as the title says it.
    QString cameraHoldText() const;
    void showCameraHold();
    void showPreviewPicture(const QImage& frame);
    QTimer* m_previewRetryTimer = nullptr;
    // The retries of one error write one line.
    bool m_retryLogged = false;
    // An error is shown that live camera pictures end.
    void clearCameraError();
    bool m_errorAwaitsPicture = false;
private slots:
    void retryLivePreview();
    void plotMouseOver(QMouseEvent* event);
    void updateGraph(QVector<double> rates);
    void on_pushButton_blinkMonitoringTakeFirstMeasurement_clicked();

    // Settings, camera-test and about page actions (lumoragui_actions.cpp).
private slots:
    void on_checkBox_settingsStartOnStartUp_toggled(bool checked);
    void reloadCameras(int id);
    void on_comboBox_chooseCamera_activated(int index);
    void loadLanguagesToComboBox();
    void on_comboBox_chosenLanguage_activated(int index);
    void on_keySequenceEdit_hotkeysIncreaseHWScreenBrightness_editingFinished();
    void on_keySequenceEdit_hotkeysDecreaseHWScreenBrightness_editingFinished();
    void on_keySequenceEdit_hotkeysChangeColorTemperature_editingFinished();
    void increaseBrightness();
    void decreaseBrightness();
    void changeColorTemperature();
    void on_slider_brightness_valueChanged(int value);
    void on_pushButton_changeBlinkReminderPosition_toggled(bool checked);
    void on_pushButton_notices_clicked();
    void on_toolButton_6_clicked();
    void on_toolButton_7_clicked();
    void on_toolButton_facebook_clicked();
    void on_pushButton_cameraSettings_clicked();
    void on_pushButton_privacySettings_clicked();
    void on_pushButton_settingsProxy_clicked();

    // Appearance and retranslation (lumoragui_appearance.cpp).
protected:
    void changeEvent(QEvent* event) override;
private slots:
    void adjustGUIelementsSizes();
private:
    void adjustGUIappearance();
    void setTrayState(const QString& icon, const QString& toolTip);
    void configureGraphLanguage();
    void initializeShadowsForWidgets();

    // Fitting the window into its screen (lumoragui_geometry.cpp).
public:
    void setVisible(bool visible) override;
private slots:
    void fitToScreen();
    void followScreen();
private:
    QScreen* screenForFit() const;
    void reserveStatusLineHeight(int pagesWidth);
    void fitLanguageListToEntries();
    QPointer<QScreen> m_fitScreen;
    bool m_watchingPages = false;
    bool m_fitting = false;
    bool m_fitAfterDrag = false;

    // User texts of the status line and of the engine's errors.
    QString errorToText(Error e) const;
    QString messageToText(BlinkMonitoringMessage m) const;

private:
    Ui_LumoraGUI* ui = nullptr;
    bool m_closing = false;

    // State the window's look is derived from.
    QSystemTrayIcon* m_trayIcon = nullptr;
    // The icon the tray shows, so that the same one is not drawn again.
    QString m_trayIconName;
    QString m_statusText;
    // The last state drawn without a pause or an error: what the title
    // keeps while an error shows. Its text is made again at each drawing,
    // so it follows the language.
    bool m_lastStateCameraPaused = false;
    Error m_currentError = NO_ERROR;
    BlinkMonitoringMessage m_statusMessage = NO_MESSAGE;
    bool m_errorShown = false;
    // The error whose balloon was shown: not shown again, whatever starts
    // and ends in between, until the camera gives a live picture or another
    // error comes.
    Error m_balloonError = NO_ERROR;
    bool m_presentationMode = false;
    bool m_cameraPaused = false;
    bool m_interactiveReminderSuspended = false;
    int m_previewWidth = 400;
    QVector<QDateTime> m_recentTimes;
    QVector<QString> m_recentTimeTexts;
    QCPItemText* m_healthyText = nullptr;
    QCPItemLine* m_healthyLine = nullptr;
    QVector<double> m_recentRates;
    QVector<int> m_recentLengths;

    // Window, tray and settings state (lumoragui.cpp, _tray, _settings, _actions).
    SystemSession::EventFilter* m_sessionListener = nullptr;
    std::function<SystemSession::EventFilter*()> m_sessionListenerFactory;
    // The updater facade, taken by init(); the process owns it.
    QPointer<UpdateCenter> m_updateCenter;
    QString m_updateFeedAddress;
    std::shared_ptr<CameraList> m_cameras;
    std::shared_ptr<StartAtLogin> m_startAtLogin;
    QSound* m_blinkSound = nullptr;
    QButtonGroup* m_colorTemperatureGroup = nullptr;
    QMenu* m_trayMenu = nullptr;
    QImage m_previewPlaceholder;
    // Where camera-test pictures land (made by the constructor's first one).
    LivePicture* m_livePicture = nullptr;
    // The picture on the camera-test page and the width it was scaled to.
    qint64 m_shownPictureKey = 0;
    int m_shownPictureWidth = 0;
    QPoint m_dragAnchor;
    QUrl m_homePage;
    QUrl m_healthPage;
    QUrl m_socialPage;
    QFont m_graphFont;
    QVector<QLocale> m_languages;
    int m_languageIndex = 0;
    int m_preferredCameraIndex = 0;
    // The camera index last sent, and what the log last said of the list.
    void sendCameraIndex(int index);
    int m_sentCameraIndex = -1;
    QString m_loggedCameras;
    bool m_initialized = false;
    bool m_loadingSettings = false;
    bool m_modelUnreadable = false;
    // Remembered switch states (the error tooltip rule reads them).
    bool m_isInteractiveReminder = false;
    bool m_isTrainingOn = false;
    bool m_isMeasurementOn = false;
    bool m_isBreaksOn = false;
    bool m_isExercisesOn = false;
    // Why the program or its camera use is paused, one flag per reason.
    bool m_pausedByLock = false;
    bool m_pausedBySleep = false;
    bool m_pausedByScreensAsleep = false;
    bool m_pausedByScreenSaver = false;
    bool m_pausedByClonedScreen = false;
    bool m_pausedByProcess = false;
    bool m_pausedByPauseTitle = false;
    bool m_cameraPausedByBattery = false;
    bool m_cameraPausedByTitle = false;
    QKeySequence m_hotkeyBrightnessUp;
    QKeySequence m_hotkeyBrightnessDown;
    QKeySequence m_hotkeyColorTemperature;
};
