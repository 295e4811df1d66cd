#include "gui/pagewheel.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QScrollArea>
#include <QWheelEvent>

#include <qcustomplot.h>

namespace {

// Hands the wheel over the watched widgets to the scroll area's viewport,
// which scrolls the page as it does for the wheel over any other widget.
class WheelToPage : public QObject
{
public:
    explicit WheelToPage(QScrollArea* area) : QObject(area), m_area(area) { }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Wheel || !m_area || !takesPageWheel(static_cast<QWidget*>(watched)))
            return QObject::eventFilter(watched, event);
        QCoreApplication::sendEvent(m_area->viewport(), event);
        // Taken by the page, also at its end: it never falls to the field.
        event->accept();
        return true;
    }

private:
    static bool takesPageWheel(QWidget* widget)
    {
        if (auto* plot = qobject_cast<QCustomPlot*>(widget))
            return !plot->interactions().testFlag(QCP::iRangeZoom);
        return !widget->hasFocus();
    }

    QPointer<QScrollArea> m_area;
};

}  // namespace

void pagewheel::install(QScrollArea* area)
{
    QWidget* page = area->widget();
    if (!page)
        return;
    auto* filter = new WheelToPage(area);
    for (QWidget* widget : page->findChildren<QWidget*>()) {
        // Pop-up lists (a combo box's) are windows of their own and scroll themselves.
        if (widget->window() != area->window())
            continue;
        const bool valueField = qobject_cast<QAbstractSpinBox*>(widget) || qobject_cast<QComboBox*>(widget) ||
                                qobject_cast<QAbstractSlider*>(widget);
        if (valueField) {
            // The wheel no longer focuses the field, a click still does.
            if ((widget->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
                widget->setFocusPolicy(Qt::StrongFocus);
            widget->installEventFilter(filter);
        } else if (qobject_cast<QCustomPlot*>(widget)) {
            widget->installEventFilter(filter);
        }
    }
}
