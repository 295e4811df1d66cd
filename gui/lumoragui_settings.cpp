#include "gui/lumoragui.h"

// The user's settings in group "G": loading them into the widgets at start
// and the handlers that store each change at once and pass it on.

#include <QDebug>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolTip>

#include "app/platform/startatlogin.h"
#include "app/platform/systemsession.h"
#include "app/settings.h"
#include "net/updater/updatecenter.h"
#include "ui_lumoragui.h"

// While loadSettings() pushes the stored values the handlers pass each value
// on but store nothing, so absent keys stay absent.
void LumoraGUI::store(const char* key, const QVariant& value)
{
    if (!m_loadingSettings)
        saveSetting(QString::fromLatin1(key), value);
}

// Each stored value is put into its widget without the change signal and
// then handed to the widget's handler once, so every receiver hears the
// stored value even where it equals the form's initial state.
void LumoraGUI::loadSettings()
{
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("G"));
    const auto boolValue = [&settings](const char* key, bool fallback) {
        return settings->value(QString::fromLatin1(key), fallback).toBool();
    };
    const auto intValue = [&settings](const char* key, int fallback) {
        return settings->value(QString::fromLatin1(key), fallback).toInt();
    };
    const auto textValue = [&settings](const char* key) {
        return settings->value(QString::fromLatin1(key), QString()).toString();
    };
    const auto check = [](QAbstractButton* button, bool on) {
        const QSignalBlocker block(button);
        button->setChecked(on);
    };
    const auto setSpin = [](QSpinBox* box, int value) {
        const QSignalBlocker block(box);
        box->setValue(value);
        return box->value();
    };
    const auto setText = [](QLineEdit* edit, const QString& text) {
        const QSignalBlocker block(edit);
        edit->setText(text);
    };

    m_loadingSettings = true;
    bool on = boolValue("TMGD", false);
    check(ui->checkBox_isMGDenabled, on);
    on_checkBox_isMGDenabled_toggled(on);

    on = boolValue("IR", true);
    check(on ? static_cast<QAbstractButton*>(ui->radioButton_isReminderInteractive)
             : static_cast<QAbstractButton*>(ui->radioButton_isReminderSimple),
          true);
    on_radioButton_isReminderInteractive_toggled(on);

    on = boolValue("NCM", true);
    check(ui->checkBox_enableCompletedMeasurementNotification, on);
    on_checkBox_enableCompletedMeasurementNotification_toggled(on);

    // The two switches act only on a change of their remembered state;
    // flipping that state first makes the loaded value one.
    on = boolValue("M", true);
    check(ui->toolButton_blinkMonitoringOnOff, on);
    m_isMeasurementOn = !on;
    on_toolButton_blinkMonitoringOnOff_toggled(on);

    on = boolValue("T", true);
    check(ui->toolButton_blinkTrainingOnOff, on);
    m_isTrainingOn = !on;
    on_toolButton_blinkTrainingOnOff_toggled(on);

    on = boolValue("WS", true);
    check(ui->checkBox_settingsStartOnStartUp, on);
    on_checkBox_settingsStartOnStartUp_toggled(on);

    on = boolValue("S", false);
    check(ui->checkBox_settingsSendStatistics, on);
    on_checkBox_settingsSendStatistics_toggled(on);

    on = boolValue("INB", true);
    check(ui->checkBox_includeNaturalBreaks, on);
    on_checkBox_includeNaturalBreaks_toggled(on);

    on_spinBox_trainingPeriod_valueChanged(setSpin(ui->spinBox_trainingPeriod, intValue("TP", 30)));
    on_spinBox_timeBetweenBreaks_valueChanged(setSpin(ui->spinBox_timeBetweenBreaks, intValue("TBRR", 50)));
    on_spinBox_naturalBreaksDuration_valueChanged(setSpin(ui->spinBox_naturalBreaksDuration, intValue("NBD", 3)));

    on = boolValue("REER", true);
    check(ui->toolButton_eyeExerciseOnOff, on);
    on_toolButton_eyeExerciseOnOff_toggled(on);

    on = boolValue("BRE", true);
    check(ui->toolButton_computerBreaksOnOff, on);
    on_toolButton_computerBreaksOnOff_toggled(on);

    on = boolValue("EB", false);
    check(ui->checkBox_enableBeta, on);
    on_checkBox_enableBeta_toggled(on);

    m_preferredCameraIndex = intValue("CID", 0);
    reloadCameras(m_preferredCameraIndex);

    on = boolValue("SOUND", false);
    check(ui->checkBox_enableSound, on);
    on_checkBox_enableSound_toggled(on);

    on = boolValue("WTE", false);
    check(ui->checkBox_whenTitleExists, on);
    on_checkBox_whenTitleExists_toggled(on);

    on = boolValue("WPR", false);
    check(ui->checkBox_whenProcessRun, on);
    on_checkBox_whenProcessRun_toggled(on);

    on = boolValue("PAWTE", false);
    check(ui->checkBox_pauseApp_whenTitleExist, on);
    on_checkBox_pauseApp_whenTitleExist_toggled(on);

    QString text = textValue("WPRL");
    setText(ui->lineEdit_whenProcessRun, text);
    on_lineEdit_whenProcessRun_textChanged(text);

    text = textValue("WTEL");
    setText(ui->lineEdit_whenTitleExists, text);
    on_lineEdit_whenTitleExists_textChanged(text);

    text = textValue("PAWTEL");
    setText(ui->lineEdit_pauseApp_whenTitleExists, text);
    on_lineEdit_pauseApp_whenTitleExists_textChanged(text);
    m_loadingSettings = false;

    settings->endGroup();
}

void LumoraGUI::on_checkBox_isMGDenabled_toggled(bool checked)
{
    store("TMGD", checked);
    emit training_mgd_status_changed(checked);
}

void LumoraGUI::on_checkBox_isMGDenabled_clicked()
{
    QToolTip::showText(ui->checkBox_isMGDenabled->mapToGlobal(QPoint(0, 0)), ui->checkBox_isMGDenabled->toolTip(),
                       ui->checkBox_isMGDenabled);
}

void LumoraGUI::on_radioButton_isReminderInteractive_toggled(bool checked)
{
    m_isInteractiveReminder = checked;
    // While camera use is paused the window itself switches to the simple
    // reminder (and back on resume); the user's own choice stays stored.
    if (!m_cameraPaused)
        store("IR", checked);
    ui->checkBox_isMGDenabled->setEnabled(checked);
    emit reminderInteractivityChanged(checked);
    checkToDisableErrorToolTipIfNoCameraNeeded();
}

void LumoraGUI::on_radioButton_isReminderSimple_toggled(bool checked)
{
    qDebug() << "LumoraGUI::on_radioButton_isReminderSimple_toggled" << checked;
}

void LumoraGUI::on_checkBox_enableCompletedMeasurementNotification_toggled(bool checked)
{
    store("NCM", checked);
}

void LumoraGUI::on_toolButton_blinkMonitoringOnOff_toggled(bool checked)
{
    if (checked == m_isMeasurementOn)
        return;
    m_isMeasurementOn = checked;
    applyStatusMessageRule();
    adjustGUIappearance();
    emit measurementEnabled(checked);
    store("M", checked);
    checkToDisableErrorToolTipIfNoCameraNeeded();
}

void LumoraGUI::on_toolButton_blinkTrainingOnOff_toggled(bool checked)
{
    if (checked == m_isTrainingOn)
        return;
    m_isTrainingOn = checked;
    if (m_statusMessage == TRAINING_OBSERVES_USER)
        m_statusMessage = NO_MESSAGE;
    adjustGUIappearance();
    emit trainingEnabled(checked);
    store("T", checked);
    checkToDisableErrorToolTipIfNoCameraNeeded();
}

void LumoraGUI::on_checkBox_settingsSendStatistics_toggled(bool checked)
{
    store("S", checked);
}

void LumoraGUI::on_checkBox_includeNaturalBreaks_toggled(bool checked)
{
    emit includeNaturalBreaksChanged(checked);
    store("INB", checked);
}

void LumoraGUI::on_spinBox_trainingPeriod_valueChanged(int value)
{
    emit trainingPeriodChanged(value * 1000);
    store("TP", value);
}

void LumoraGUI::on_spinBox_timeBetweenBreaks_valueChanged(int value)
{
    emit timeBetweenBreaksChanged(value);
    store("TBRR", value);
}

void LumoraGUI::on_spinBox_naturalBreaksDuration_valueChanged(int value)
{
    emit naturalBreakDurationChanged(static_cast<uint>(value));
    store("NBD", value);
}

void LumoraGUI::on_toolButton_eyeExerciseOnOff_toggled(bool checked)
{
    m_isExercisesOn = checked;
    emit eyeExerciseReminderEnabled(checked);
    store("REER", checked);
    checkToDisableErrorToolTipIfNoCameraNeeded();
}

void LumoraGUI::on_toolButton_computerBreaksOnOff_toggled(bool checked)
{
    qDebug() << "LumoraGUI::on_toolButton_computerBreaks_toggled" << checked;
    m_isBreaksOn = checked;
    emit breakReminderEnabled(checked);
    store("BRE", checked);
    checkToDisableErrorToolTipIfNoCameraNeeded();
}

void LumoraGUI::on_checkBox_enableBeta_toggled(bool checked)
{
    store("EB", checked);
    if (m_updateCenter)
        m_updateCenter->setEnableBeta(m_updateFeedAddress, checked);
}

void LumoraGUI::on_checkBox_enableSound_toggled(bool checked)
{
    store("SOUND", checked);
}

void LumoraGUI::on_checkBox_whenTitleExists_toggled(bool checked)
{
    ui->lineEdit_whenTitleExists->setEnabled(checked);
    if (m_sessionListener)
        m_sessionListener->enableWindowsTitleListener(checked);
    store("WTE", checked);
    if (!checked)
        resumeCameraForReason(m_cameraPausedByTitle);
}

void LumoraGUI::on_checkBox_whenProcessRun_toggled(bool checked)
{
    ui->lineEdit_whenProcessRun->setEnabled(checked);
    if (m_sessionListener)
        m_sessionListener->enableProcessListener(checked);
    store("WPR", checked);
    if (!checked)
        resumeForReason(m_pausedByProcess);
}

void LumoraGUI::on_checkBox_pauseApp_whenTitleExist_toggled(bool checked)
{
    ui->lineEdit_pauseApp_whenTitleExists->setEnabled(checked);
    if (m_sessionListener)
        m_sessionListener->enablePauseTitleListener(checked);
    store("PAWTE", checked);
    if (!checked)
        resumeForReason(m_pausedByPauseTitle);
}

void LumoraGUI::on_lineEdit_whenProcessRun_textChanged(const QString& text)
{
    store("WPRL", text);
    if (m_sessionListener)
        m_sessionListener->setProcessesToCheck(text);
}

// A title list the user is typing is a draft: each letter would otherwise
// pause or resume the program (and every resume moves the next break and
// exercise). It is stored as typed, and the listener gets it once the
// typing settles, at Enter or when the field loses the focus. A list set by
// the program itself (loading the settings) goes to the listener at once.
void LumoraGUI::passTitleList(QLineEdit* edit, QTimer*& draft, TitleListSetter apply)
{
    static constexpr int kSettleMs = 1000;
    if (!draft) {
        draft = new QTimer(this);
        draft->setSingleShot(true);
        draft->setInterval(kSettleMs);
        QTimer* timer = draft;
        const auto pass = [this, edit, timer, apply] {
            timer->stop();
            if (m_sessionListener)
                (m_sessionListener->*apply)(edit->text());
        };
        connect(timer, &QTimer::timeout, this, pass);
        connect(edit, &QLineEdit::editingFinished, this, [timer, pass] {
            if (timer->isActive())
                pass();
        });
    }
    if (edit->isModified()) {
        draft->start();
        return;
    }
    draft->stop();
    if (m_sessionListener)
        (m_sessionListener->*apply)(edit->text());
}

void LumoraGUI::on_lineEdit_whenTitleExists_textChanged(const QString& text)
{
    store("WTEL", text);
    passTitleList(ui->lineEdit_whenTitleExists, m_titleListDraft, &SystemSession::EventFilter::setTitlesToCheck);
}

void LumoraGUI::on_lineEdit_pauseApp_whenTitleExists_textChanged(const QString& text)
{
    store("PAWTEL", text);
    passTitleList(ui->lineEdit_pauseApp_whenTitleExists, m_pauseTitleListDraft,
                  &SystemSession::EventFilter::setPauseTitlesToCheck);
}

void LumoraGUI::on_checkBox_pauseOnBattery_toggled(bool checked)
{
    qDebug() << "LumoraGUI::on_checkBox_pauseOnBattery_toggled" << checked;
    store("POB", checked);
    if (m_sessionListener)
        m_sessionListener->checkBatteryStatus();
}

void LumoraGUI::on_checkBox_pauseAppWhenClonedScreen_toggled(bool checked)
{
    qDebug() << "LumoraGUI::on_checkBox_pauseAppWhenClonedScreen_toggled" << checked;
    store("PENCS", checked);
    if (m_sessionListener)
        m_sessionListener->checkForDuplicateScreen();
}

void LumoraGUI::on_toolButton_screenControlOnOff_toggled(bool checked)
{
    qDebug() << "LumoraGUI::on_toolButton_screenControlOnOff_toggled" << checked;
    store("SC", checked);
    if (ui->slider_brightness->value() < 0)
        ui->slider_brightness->setValue(0);
    emit screenControlEnabled(checked, 1000);
}

void LumoraGUI::on_checkBox_hotkeysEnable_toggled(bool checked)
{
    qDebug() << "LumoraGUI::on_checkBox_hotkeysEnable_toggled" << checked;
}

void LumoraGUI::colorTemperature_valueChanged(int id, bool checked)
{
    if (!checked)
        return;
    qDebug() << "LumoraGUI::on_slider_colorTemperature_valueChanged" << id;
    store("CT", id);
    emit colorTemperatureSliderPositionChanged(id);
}
