#include "gui/lumoragui.h"

// Fitting the window into its screen. Where the window fits it keeps the
// size its pages ask for and its place; where it does not, the pages scroll
// vertically below the title bar and the window moves by the least distance
// that brings it inside the screen's available area. Done when the window is
// shown, when its pages' layout changes (a page, the language, the status
// line) and when its screen changes, but never while the user drags it. The
// status line keeps one height whatever it says, so that what lies below it
// stays put.

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionMenuItem>
#include <QWindow>
#include <functional>

#include "gui/pagewheel.h"
#include "gui/translucentframe.h"
#include "ui_lumoragui.h"

namespace {

// The width of the translucent margin that holds the panel's shadow.
constexpr int kShadowMargin = 9;

// Calls back whenever the watched object receives an event of one type.
class EventWatcher : public QObject
{
public:
    EventWatcher(QObject* watched, QEvent::Type type, std::function<void()> seen)
        : QObject(watched), m_type(type), m_seen(std::move(seen))
    {
        watched->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == m_type)
            m_seen();
        return QObject::eventFilter(watched, event);
    }

private:
    QEvent::Type m_type;
    std::function<void()> m_seen;
};

// The least shift along one axis that brings [start, start + length) inside
// [areaStart, areaStart + areaLength); a span longer than the area keeps its
// start at the area's start.
int shiftInto(int start, int length, int areaStart, int areaLength)
{
    int shift = 0;
    if (start + length > areaStart + areaLength)
        shift = areaStart + areaLength - (start + length);
    if (start + shift < areaStart)
        shift = areaStart - start;
    return shift;
}

// The width a widget that spans its rows has inside pages `width` wide.
int roomFor(const QWidget* widget, const QWidget* pages, int width)
{
    int room = width;
    for (QWidget* parent = widget->parentWidget(); parent && parent != pages->parentWidget();
         parent = parent->parentWidget())
        if (QLayout* layout = parent->layout())
            room -= layout->contentsMargins().left() + layout->contentsMargins().right();
    return room;
}

// Lets the layouts follow a size change inside a fit now, so that no request
// of this fit comes back as another one.
void settleLayouts()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

// Where the screen is narrower than the pages ask for, the widgets the form
// marks with "givesWayWhereNarrow" give way: a label wraps its text and a
// picture shrinks, keeping its shape, to the width its row offers inside a
// page `width` wide. Elsewhere they are as the form has them. Returns whether
// anything changed.
bool giveWay(QWidget* pages, bool narrow, int width)
{
    bool changed = false;
    for (QWidget* widget : pages->findChildren<QWidget*>()) {
        if (!widget->property("givesWayWhereNarrow").toBool())
            continue;
        // Only what differs is set: setting a label's wrap, even unchanged,
        // asks for a new layout, which would fit the window again.
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (label->wordWrap() != narrow) {
                label->setWordWrap(narrow);
                changed = true;
            }
            continue;
        }
        const QSize natural = widget->sizeHint();
        const int room = roomFor(widget, pages, width);
        QSize size(0, 0);
        QSize maximum(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (narrow && room < natural.width() && natural.width() > 0) {
            size = QSize(qMax(room, 1), qMax(natural.height() * room / natural.width(), 1));
            maximum = size;
        }
        if (widget->minimumSize() != size || widget->maximumSize() != maximum) {
            widget->setMinimumSize(size);
            widget->setMaximumSize(maximum);
            changed = true;
        }
    }
    if (changed)
        settleLayouts();
    return changed;
}

}  // namespace

void LumoraGUI::setVisible(bool visible)
{
    if (visible && isHidden()) {
        // A compositing manager may have started or stopped since the window
        // was last shown.
        translucentframe::adapt(this, layout(), kShadowMargin, [this] {
            destroy(true, false);
            create();
        });
        if (!m_watchingPages) {
            m_watchingPages = true;
            pagewheel::install(ui->scrollArea_pages);
            new EventWatcher(ui->widget_pages, QEvent::LayoutRequest, [this] { fitToScreen(); });
            // A fit left out during a drag follows when the button is let go.
            new EventWatcher(this, QEvent::MouseButtonRelease, [this] {
                if (m_fitAfterDrag)
                    fitToScreen();
            });
        }
        fitToScreen();
    }
    QWidget::setVisible(visible);
    if (visible)
        followScreen();
}

QScreen* LumoraGUI::screenForFit() const
{
    if (isVisible() && windowHandle() && windowHandle()->screen())
        return windowHandle()->screen();
    if (QScreen* screen = QGuiApplication::screenAt(frameGeometry().center()))
        return screen;
    if (QScreen* screen = QGuiApplication::screenAt(frameGeometry().topLeft()))
        return screen;
    return QGuiApplication::primaryScreen();
}

void LumoraGUI::followScreen()
{
    QWindow* window = windowHandle();
    if (!window)
        return;
    connect(window, &QWindow::screenChanged, this, &LumoraGUI::followScreen, Qt::UniqueConnection);
    QScreen* screen = window->screen();
    if (screen == m_fitScreen)
        return;
    if (m_fitScreen)
        disconnect(m_fitScreen, nullptr, this, nullptr);
    m_fitScreen = screen;
    if (screen) {
        connect(screen, &QScreen::availableGeometryChanged, this, &LumoraGUI::fitToScreen);
        connect(screen, &QScreen::geometryChanged, this, &LumoraGUI::fitToScreen);
    }
    fitToScreen();
}

void LumoraGUI::fitToScreen()
{
    // The title bar drags the window while the left button is held on it.
    const bool dragging = !m_dragAnchor.isNull() && (QGuiApplication::mouseButtons() & Qt::LeftButton);
    m_fitAfterDrag = dragging;
    if (m_fitting || dragging)
        return;
    QScreen* screen = screenForFit();
    if (!screen)
        return;
    const QScopedValueRollback<bool> fitting(m_fitting, true);
    const QRect available = screen->availableGeometry();
    QScrollArea* area = ui->scrollArea_pages;
    QWidget* pages = ui->widget_pages;

    // What lies around the pages: the shadow margin, the title bar and any
    // frame a window manager adds.
    const QMargins margins = layout()->contentsMargins();
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(0, 0);
    QWidget* titleBar = ui->widget_titleBarForShadow;
    const int aroundWidth = margins.left() + margins.right() + frame.width();
    const int aroundHeight = margins.top() + margins.bottom() + titleBar->sizeHint().height() + frame.height();
    const int roomHeight = available.height() - aroundHeight;

    // The page's own width, where the screen has room for it; where it has
    // not, the screen's width, at which the page's texts wrap and its
    // pictures shrink (never so narrow that something is cut). The height
    // is what the wrapped texts need at that width.
    const auto heightAt = [pages](int width) {
        return pages->hasHeightForWidth() ? pages->heightForWidth(width) : pages->sizeHint().height();
    };
    const int roomWidth = available.width() - aroundWidth;
    const int scrollBar = area->verticalScrollBar()->sizeHint().width();
    giveWay(pages, false, 0);
    const int preferred = qMax(pages->sizeHint().width(), titleBar->sizeHint().width());
    reserveStatusLineHeight(qMin(preferred, roomWidth));
    const bool scrolls = heightAt(qMin(preferred, roomWidth)) > roomHeight;
    if (preferred + (scrolls ? scrollBar : 0) > roomWidth)
        giveWay(pages, true, roomWidth - scrollBar);
    const int minimumWidth = qMax(pages->minimumSizeHint().width(), titleBar->minimumSizeHint().width());
    int width = qBound(minimumWidth, qMax(pages->sizeHint().width(), titleBar->sizeHint().width()),
                       qMax(minimumWidth, roomWidth));
    reserveStatusLineHeight(width);
    int height = heightAt(width);
    if (height > roomHeight) {
        // The scroll bar stands beside the pages, which keep their width
        // where the screen has room for both.
        if (width + scrollBar > roomWidth) {
            width = qMax(minimumWidth, roomWidth - scrollBar);
            reserveStatusLineHeight(width);
        }
        height = qMax(roomHeight, area->minimumSizeHint().height());
        width += scrollBar;
    }
    area->setFixedSize(width, height);
    ui->widget_visibleLumora->layout()->activate();
    layout()->activate();

    const QRect wanted(frameGeometry().topLeft(), QSize(width + aroundWidth, height + aroundHeight));
    const QPoint shift(shiftInto(wanted.x(), wanted.width(), available.x(), available.width()),
                       shiftInto(wanted.y(), wanted.height(), available.y(), available.height()));
    if (!shift.isNull())
        move(pos() + shift);
}

void LumoraGUI::reserveStatusLineHeight(int pagesWidth)
{
    // The status line keeps the height of the tallest text it can show, at
    // its width in pages this wide and in the present language, so that the
    // button and the graph below it stay where they are whatever it says.
    QLabel* line = ui->label_blinkMonitoringMessage;
    const int width = roomFor(line, ui->widget_pages, pagesWidth);
    if (width <= 0)
        return;
    QLabel probe;
    probe.setFont(line->font());
    probe.setTextFormat(line->textFormat());
    probe.setAlignment(line->alignment());
    probe.setWordWrap(line->wordWrap());
    probe.setMargin(line->margin());
    probe.setIndent(line->indent());
    probe.setContentsMargins(line->contentsMargins());
    QStringList texts;
    for (int m = MEASUREMENT_STARTS_SHORTLY; m <= TRAINING_OBSERVES_USER; ++m)
        texts << messageToText(BlinkMonitoringMessage(m));
    for (int e = LOW_MEMORY_OR_MISSING_MODEL; e <= NO_CAMERA; ++e)
        texts << errorToText(Error(e));
    int tallest = 0;
    for (const QString& text : qAsConst(texts)) {
        probe.setText(text);
        tallest = qMax(tallest, probe.heightForWidth(width));
    }
    // Only a new height is set, and the layouts follow it within this fit.
    if (line->minimumHeight() != tallest) {
        line->setMinimumHeight(tallest);
        settleLayouts();
    }
}

void LumoraGUI::fitLanguageListToEntries()
{
    // The list's pop-up draws its entries as menu items, which need more
    // room beside the text than the box itself asks for: the pop-up is made
    // as wide as its widest entry needs, so that no language's name is cut.
    QComboBox* box = ui->comboBox_chosenLanguage;
    QAbstractItemView* view = box->view();
    view->ensurePolished();
    const QFontMetrics metrics(view->font());
    QStyleOptionMenuItem item;
    item.initFrom(view);
    item.menuItemType = QStyleOptionMenuItem::Normal;
    item.checkType = QStyleOptionMenuItem::NonExclusive;
    item.maxIconWidth = view->iconSize().width() + 4;
    item.font = view->font();
    item.fontMetrics = metrics;
    int widest = 0;
    for (int row = 0; row < box->count(); ++row) {
        item.text = box->itemText(row);
        const QSize text(metrics.horizontalAdvance(item.text), metrics.height());
        widest = qMax(widest, box->style()->sizeFromContents(QStyle::CT_MenuItem, &item, text, box).width());
    }
    const int scrollBar =
        box->count() > box->maxVisibleItems() ? view->verticalScrollBar()->sizeHint().width() : 0;
    view->setMinimumWidth(widest + 2 * view->frameWidth() + scrollBar);
}
