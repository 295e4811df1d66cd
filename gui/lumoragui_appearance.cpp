#include "gui/lumoragui.h"

// The window's state-dependent look: tray icon and tooltip, status line,
// main page title and the locks of the sections; re-texting after a
// language switch; sizes that follow the font; the boxes' drop shadows.

#include <QCoreApplication>
#include <QDebug>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QScreen>

#include <qcustomplot.h>

#include "gui/boxshadow.h"
#include "ui_lumoragui.h"

void LumoraGUI::changeEvent(QEvent* event)
{
    if (event->type() != QEvent::LanguageChange) {
        QWidget::changeEvent(event);
        return;
    }
    qDebug() << "LumoraGUI:changeEvent(LangaugeChange)";

    // The default locale is the one the language switch has just set.
    const QLocale locale;
    QVector<QString> texts;
    texts.reserve(m_recentTimes.size());
    for (const QDateTime& t : qAsConst(m_recentTimes))
        texts.append(locale.toString(t, QStringLiteral("d. MMM yyyy h:mm")));
    m_recentTimeTexts = texts;

    configureGraphLanguage();
    ui->retranslateUi(this);

    // Setting the same sequence again redraws the key names in the new language.
    for (QKeySequenceEdit* edit : {ui->keySequenceEdit_hotkeysDecreaseHWScreenBrightness,
                                   ui->keySequenceEdit_hotkeysIncreaseHWScreenBrightness,
                                   ui->keySequenceEdit_hotkeysChangeColorTemperature})
        edit->setKeySequence(edit->keySequence());

    ui->customPlot_blinkMonitoring_graph->replot(QCustomPlot::rpRefreshHint);

    ui->label_version->setText(QStringLiteral("lumora ") + tr("version") + QStringLiteral(" ")
                               + QCoreApplication::applicationVersion());
    if (ui->widget_settingsPage->isVisibleTo(this))
        ui->label_titleBarTitle->setText(tr("lumora - settings"));
    // retranslateUi has just put back the form's own text.
    if (ui->pushButton_changeBlinkReminderPosition->isChecked())
        ui->pushButton_changeBlinkReminderPosition->setText(tr("SAVE NEW POSITION"));
    // A pause takes the camera button's action away and leaves it that
    // action's look, which retranslateUi (reaching only the action) misses.
    if (!ui->toolButton_pauseCamera->defaultAction()) {
        ui->toolButton_pauseCamera->setText(ui->action_pauseWebcamUse->text());
        ui->toolButton_pauseCamera->setToolTip(ui->action_pauseWebcamUse->toolTip());
    }

    adjustGUIappearance();
    updateGeometry();
    adjustSize();
    emit languageChanged();

    QWidget::changeEvent(event);
}

void LumoraGUI::configureGraphLanguage()
{
    QCustomPlot* plot = ui->customPlot_blinkMonitoring_graph;
    plot->xAxis->setLabel(tr("Measurements"));
    plot->yAxis->setLabel(tr("Blinks per minute"));
    if (m_healthyText)
        m_healthyText->setText(tr("healthy"));
}

void LumoraGUI::adjustGUIappearance()
{
    if (m_presentationMode) {
        m_statusText = tr("lumora - presentation mode");
        setTrayState(QStringLiteral(":/icons/grayIcon16.svg"), m_statusText);
    } else if (m_errorShown) {
        // The title keeps the state before the error, never a pause that
        // has ended since, in the language of now.
        m_statusText = m_lastStateCameraPaused ? tr("lumora camera use paused") : tr("lumora");
        const QString error = errorToText(m_currentError);
        setTrayState(QStringLiteral(":/icons/iconOrange16.svg"), error);
        if (m_trayIcon) {
            // Once per error: each camera start clears the error, and a
            // camera that fails the same way at every start would balloon
            // at every one.
            if (m_balloonError != m_currentError)
                showTrayBalloon(QStringLiteral("lumora"), error, QSystemTrayIcon::NoIcon, 7000);
        }
        m_balloonError = m_currentError;
    } else if (m_cameraPaused) {
        m_lastStateCameraPaused = true;
        m_statusText = tr("lumora camera use paused");
        setTrayState(QStringLiteral(":/icons/webcamOff.svg"), m_statusText);
    } else {
        m_lastStateCameraPaused = false;
        m_statusText = tr("lumora");
        const bool observing = m_statusMessage == MEASUREMENT_IN_PROGRESS
                               || m_statusMessage == TRAINING_OBSERVES_USER;
        setTrayState(QStringLiteral(":/icons/icon16.svg"),
                     observing ? messageToText(m_statusMessage) : m_statusText);
    }

    // Shown on its page counts, even while the window itself sits in the
    // tray: otherwise reopening it would show the texts of an older state.
    // While the camera may not be used nothing is measured: the line says why.
    if (ui->label_blinkMonitoringMessage->isVisibleTo(this)) {
        QString line = messageToText(m_statusMessage);
        if (m_currentError != NO_ERROR)
            line = errorToText(m_currentError);
        else if (cameraUseHeld() && m_statusMessage == NO_MEASUREMENT_YET)
            line = cameraHoldText();
        ui->label_blinkMonitoringMessage->setText(line);
    }
    if (ui->widget_mainPage->isVisibleTo(this))
        ui->label_titleBarTitle->setText(m_statusText);

    for (QWidget* section : {ui->widget_automaticBrightness, ui->widget_blinkTraining, ui->widget_eyeExercises,
                             ui->widget_breaks, ui->widget_blinkMonitoring})
        section->setEnabled(!m_presentationMode);

    ui->radioButton_isReminderInteractive->setEnabled(!m_cameraPaused);
    ui->toolButton_blinkMonitoringOnOff->setEnabled(!m_cameraPaused);
    // Checking a radio button runs its handler, so the choice is saved and
    // reaches the scheduler.
    if (m_cameraPaused && ui->radioButton_isReminderInteractive->isChecked()) {
        ui->radioButton_isReminderSimple->setChecked(true);
        m_interactiveReminderSuspended = true;
    } else if (!m_cameraPaused && m_interactiveReminderSuspended && ui->radioButton_isReminderSimple->isChecked()) {
        m_interactiveReminderSuspended = false;
        ui->radioButton_isReminderInteractive->setChecked(true);
    }
}

// The tray redraws its icon and sends its tip again at each call, even the
// same ones: only what changed is set.
void LumoraGUI::setTrayState(const QString& icon, const QString& toolTip)
{
    if (!m_trayIcon)
        return;
    if (icon != m_trayIconName) {
        m_trayIconName = icon;
        m_trayIcon->setIcon(QIcon(icon));
    }
    if (toolTip != m_trayIcon->toolTip())
        m_trayIcon->setToolTip(toolTip);
}

void LumoraGUI::adjustGUIelementsSizes()
{
    // The title-bar buttons are 1em square, so their height follows the font.
    const int h = ui->toolButton_titleBarClose->sizeHint().height();
    const QScreen* screen = QGuiApplication::primaryScreen();
    qDebug() << "LumoraGUI::adjustGUIelementsSizes()" << h << "primary screen" << (screen ? screen->name() : QString());
    qDebug() << "size" << size() << sizeHint() << minimumSizeHint();
    if (screen) {
        qDebug() << "logical dots per inch" << screen->logicalDotsPerInch();
        qDebug() << "device pixel ratio" << screen->devicePixelRatio();
    }
    ui->customPlot_blinkMonitoring_graph->setMinimumHeight(8 * h);
    m_previewWidth = h > 24 ? 20 * h : 400;
    fitLanguageListToEntries();
}

void LumoraGUI::initializeShadowsForWidgets()
{
    // Painted by each box's parent from a kept image, so that a child
    // repainting (a live picture, a graph) redraws only itself, not the box
    // and the panel around it, as Qt's drop-shadow effect would.
    addBoxShadows({ui->widget_titleBar, ui->widget_visibleLumora, ui->widget_support, ui->widget_blinkTraining,
                   ui->widget_livePreview, ui->widget_blinkMonitoring, ui->widget_automaticBrightness,
                   ui->widget_network, ui->widget_settings, ui->widget_hotkeys, ui->widget_about,
                   ui->widget_breaks, ui->widget_eyeExercises, ui->widget_automaticStopCameraUse,
                   ui->widget_automaticPauseLumora, ui->widget_cooperations});
}
