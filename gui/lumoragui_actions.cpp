#include "gui/lumoragui.h"

// Actions of the settings, camera-test and about pages beyond storing a
// value: start at login, the camera list, the interface language, the
// hotkey editors, screen control, the reminder position, the notices
// document, the links and the proxy window.

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>

#include "app/languages.h"
#include "app/platform/startatlogin.h"
#include "app/platform/systemcameras.h"
#include "app/settings.h"
#include "ui_lumoragui.h"

void LumoraGUI::on_checkBox_settingsStartOnStartUp_toggled(bool checked)
{
    if (!m_startAtLogin)
        m_startAtLogin = createSystemStartAtLogin();
    m_startAtLogin->setEnabled(checked);
    store("WS", checked);
}

// The list is written to the log, and the index sent, when they change: the
// camera-test page lists the cameras again after each failed retry.
void LumoraGUI::reloadCameras(int id)
{
    const int asked = id;
    if (id == -1)
        id = m_preferredCameraIndex;
    if (!m_cameras)
        m_cameras = createSystemCameraList();
    const QVector<CameraEntry> cameras = m_cameras->cameras();
    QStringList descriptions;
    for (const CameraEntry& camera : cameras)
        descriptions << camera.description;
    // The same list again (the camera-test page's retries) leaves the box
    // as it is: refilled, it would be laid out and repainted for nothing.
    QStringList shown;
    for (int i = 0; i < ui->comboBox_chooseCamera->count(); ++i)
        shown << ui->comboBox_chooseCamera->itemText(i);
    if (shown != descriptions) {
        ui->comboBox_chooseCamera->clear();
        ui->comboBox_chooseCamera->addItems(descriptions);
    }
    if (id < 0 || id >= ui->comboBox_chooseCamera->count())
        id = 0;
    const QString listed = descriptions.join('|') + QStringLiteral("|%1").arg(id);
    if (listed != m_loggedCameras) {
        m_loggedCameras = listed;
        qDebug() << "LumoraGUI::reloadCameras id" << asked;
        qDebug() << "LumoraGUI::number of cameras" << cameras.size();
        for (const QString& description : qAsConst(descriptions))
            qDebug() << "LumoraGUI::" << description;
        qDebug() << "LumoraGUI::reloadCameras new id" << id;
    }
    ui->comboBox_chooseCamera->setCurrentIndex(id);
    m_preferredCameraIndex = id;
    sendCameraIndex(id);
}

// The scheduler keeps the index it was sent: the same one again changes nothing.
void LumoraGUI::sendCameraIndex(int index)
{
    if (index == m_sentCameraIndex)
        return;
    m_sentCameraIndex = index;
    emit cameraIDchanged(index);
}

void LumoraGUI::on_comboBox_chooseCamera_activated(int index)
{
    if (index >= 0 && index < ui->comboBox_chooseCamera->count()) {
        m_preferredCameraIndex = index;
        sendCameraIndex(index);
        saveSetting(QStringLiteral("CID"), index);
        qDebug() << "LumoraGUI::on_comboBox_chooseCamera_activated chosen cam"
                 << ui->comboBox_chooseCamera->itemText(index);
    }
    emit cameraPreviewEnabled(true);
}

void LumoraGUI::loadLanguagesToComboBox()
{
    languages::initialize();
    m_languages = languages::list();
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("G"));
    const QLocale stored(settings->value(QStringLiteral("QT_locale_name"), QLocale::system().name()).toString());
    settings->endGroup();
    ui->comboBox_chosenLanguage->clear();
    m_languageIndex = 0;
    for (int i = 0; i < m_languages.size(); ++i) {
        ui->comboBox_chosenLanguage->addItem(m_languages.at(i).nativeLanguageName());
        if (m_languages.at(i) == stored)
            m_languageIndex = i;
    }
    ui->comboBox_chosenLanguage->setCurrentIndex(m_languageIndex);
    fitLanguageListToEntries();
}

void LumoraGUI::on_comboBox_chosenLanguage_activated(int index)
{
    if (index == m_languageIndex || index < 0 || index >= m_languages.size())
        return;
    qDebug() << "LumoraGUI:on_comboBox_chosenLanguage_activated()" << index;
    saveSetting(QStringLiteral("QT_locale_name"), m_languages.at(index).name());
    m_languageIndex = index;
    languages::switchTo(index);
}

// ------------------------------------------------------------- hotkeys
// The editors are hidden on this platform and no hotkey is registered; a
// sequence is still checked against the other two, stored and remembered.

namespace {

bool acceptHotkey(const QKeySequence& sequence, const QKeySequence& other1, const QKeySequence& other2)
{
    return sequence != other1 && sequence != other2;
}

}  // namespace

void LumoraGUI::on_keySequenceEdit_hotkeysIncreaseHWScreenBrightness_editingFinished()
{
    const QKeySequence s = ui->keySequenceEdit_hotkeysIncreaseHWScreenBrightness->keySequence();
    qDebug() << "LumoraGUI::on_keySequenceEdit_hotkeysIncreaseHWScreenBrightness_editingFinished()"
             << s.toString(QKeySequence::PortableText);
    if (!acceptHotkey(s, m_hotkeyColorTemperature, m_hotkeyBrightnessDown))
        return;
    saveSetting(QStringLiteral("HOTKEY_HW_UP"), s.toString(QKeySequence::PortableText));
    m_hotkeyBrightnessUp = s;
}

void LumoraGUI::on_keySequenceEdit_hotkeysDecreaseHWScreenBrightness_editingFinished()
{
    const QKeySequence s = ui->keySequenceEdit_hotkeysDecreaseHWScreenBrightness->keySequence();
    qDebug() << "LumoraGUI::on_keySequenceEdit_hotkeysDecreaseHWScreenBrightness_editingFinished()"
             << s.toString(QKeySequence::PortableText);
    if (!acceptHotkey(s, m_hotkeyColorTemperature, m_hotkeyBrightnessUp))
        return;
    saveSetting(QStringLiteral("HOTKEY_HW_DOWN"), s.toString(QKeySequence::PortableText));
    m_hotkeyBrightnessDown = s;
}

void LumoraGUI::on_keySequenceEdit_hotkeysChangeColorTemperature_editingFinished()
{
    const QKeySequence s = ui->keySequenceEdit_hotkeysChangeColorTemperature->keySequence();
    qDebug() << "LumoraGUI::on_keySequenceEdit_hotkeysChangeColorTemperature_editingFinished()"
             << s.toString(QKeySequence::PortableText);
    if (!acceptHotkey(s, m_hotkeyBrightnessUp, m_hotkeyBrightnessDown))
        return;
    saveSetting(QStringLiteral("HOTKEYS_CT_CHANGE"), s.toString(QKeySequence::PortableText));
    m_hotkeyColorTemperature = s;
}

void LumoraGUI::increaseBrightness()
{
    if (ui->toolButton_screenControlOnOff->isChecked())
        ui->slider_brightness->setValue(ui->slider_brightness->value() + ui->slider_brightness->pageStep());
}

void LumoraGUI::decreaseBrightness()
{
    if (ui->toolButton_screenControlOnOff->isChecked())
        ui->slider_brightness->setValue(ui->slider_brightness->value() - ui->slider_brightness->pageStep());
}

void LumoraGUI::changeColorTemperature()
{
    const int old = m_colorTemperatureGroup->checkedId();
    const int next = old == 45 ? 55 : old == 55 ? 66 : old == 66 ? 45 : -1;
    if (next < 0)
        return;
    m_colorTemperatureGroup->button(next)->setChecked(true);
    qDebug() << "LumoraGUI::decreaseColorTemperature() old" << old;
}

// -------------------------------------------------------- screen control

void LumoraGUI::on_slider_brightness_valueChanged(int value)
{
    qDebug() << "LumoraGUI::on_slider_brightness_valueChanged" << value;
    ui->label_brightnessValue->setText(QString::number(value));
    emit brightnessSliderPositionChanged(value);
}

void LumoraGUI::setBrightnessSliderPosition(int value)
{
    qDebug() << "LumoraGUI::setBrightnessSliderPosition" << value;
    ui->slider_brightness->setValue(value);
}

void LumoraGUI::setColorTemperatureSliderPosition(int value)
{
    qDebug() << "LumoraGUI::setColorTemperatureSliderPosition" << value;
    if (value == 45)
        ui->toolButton_lowColorTemperature->setChecked(true);
    else if (value == 55)
        ui->toolButton_mediumColorTemperature->setChecked(true);
    else
        ui->toolButton_normalColorTemperature->setChecked(true);
}

void LumoraGUI::disableHWbrightnessControl()
{
    ui->slider_brightness->setMaximum(0);
}

void LumoraGUI::enableHWbrightnessControl(int value)
{
    qDebug() << "LumoraGUI::enableHWbrightnessControl" << value;
    ui->slider_brightness->setMaximum(10);
    setBrightnessSliderPosition(value);
}

// ------------------------------------------------ reminder, notices, links

void LumoraGUI::on_pushButton_changeBlinkReminderPosition_toggled(bool checked)
{
    ui->pushButton_changeBlinkReminderPosition->setText(checked ? tr("SAVE NEW POSITION")
                                                                : tr("CHANGE REMINDER POSITION"));
    placeBlinkReminder(checked);
}

void LumoraGUI::on_pushButton_notices_clicked()
{
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/notices.pdf")));
}

void LumoraGUI::on_toolButton_6_clicked()
{
    QDesktopServices::openUrl(m_homePage);
}

void LumoraGUI::on_toolButton_7_clicked()
{
    QDesktopServices::openUrl(m_healthPage);
}

void LumoraGUI::on_toolButton_facebook_clicked()
{
    QDesktopServices::openUrl(m_socialPage);
}

void LumoraGUI::on_pushButton_cameraSettings_clicked() {}

// The privacy settings page belongs to another system; here the button (in
// a box that stays hidden) only returns to the main page.
void LumoraGUI::on_pushButton_privacySettings_clicked()
{
    on_toolButton_titleBarBack_clicked();
}

void LumoraGUI::on_pushButton_settingsProxy_clicked()
{
    emit proxyGuiRequested();
}
