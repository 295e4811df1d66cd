#pragma once
// The statistics history window: the measurements of a chosen index range as
// a line graph with a dashed healthy line, the range chosen with a two-handle
// slider, a tooltip per point, and deletion of the whole history. It keeps no
// history of its own: it asks the measurement store for ranges and draws what
// the store answers.

#include <QDateTime>
#include <QFont>
#include <QPoint>
#include <QVector>
#include <QWidget>

class QCPItemLine;
class QCPItemText;
class QMouseEvent;
class Ui_widgetStatistics;

class WidgetStatistics : public QWidget
{
    Q_OBJECT
public:
    explicit WidgetStatistics(QWidget* parent);
    ~WidgetStatistics() override;
    void setVisible(bool visible) override;

signals:
    void deleteHistory();
    void sliderIntervalChanged(int start, int end);

public slots:
    void updateStatistics(QVector<double> blinkRates, QVector<int> blinkLengths,
                          QVector<QDateTime> dateTimes, int measurementSize);

protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private slots:
    void on_toolButtonMaximize_clicked();
    void on_toolButtonClose_clicked();
    void on_spanSlider_spanChanged(int lower, int upper);
    void on_pushButton_clicked();
    void plotMouseOver(QMouseEvent* event);
    QString dateToString(QDateTime dateTime);

private:
    void setupGraph(QVector<double> rates);
    void configureGraphLanguage();
    // The store holds no measurement any more: nothing drawn, no dates, and
    // the slider's range back to the empty history.
    void showEmptyHistory();
    void rebuildDateLabels();
    // Gives both date labels the width of the widest date they can show in
    // the current language, so the slider keeps its length and scale while
    // a drag rewrites them.
    void reserveDateLabelWidths();
    QString dateLabel(int i);

    QVector<double> blinkRates;
    QVector<int> blinkLengths;
    QVector<QString> dateLabels;
    QVector<QDateTime> dateTimes;
    Ui_widgetStatistics* ui = nullptr;
    QPoint dragStart;
    QCPItemLine* healthyLine = nullptr;
    QCPItemText* healthyText = nullptr;
    QFont font;
};
