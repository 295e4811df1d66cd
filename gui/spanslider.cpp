#include "gui/spanslider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionSlider>
#include <QStylePainter>

namespace {

// The system's green, filling the span between the handles.
const QColor kSpanColour(152, 200, 0);

}  // namespace

SpanSliderPrivate::SpanSliderPrivate(SpanSlider* slider) : PrivatePart<SpanSlider>(slider) {}

void SpanSliderPrivate::initStyleOption(QStyleOptionSlider* option, SpanSlider::SpanHandle handle) const
{
    SpanSlider& s = pub();
    s.initStyleOption(option);
    const bool isLower = handle == SpanSlider::SpanLower;
    option->sliderPosition = isLower ? lowerHandlePos : upperHandlePos;
    option->sliderValue = isLower ? lower : upper;
}

int SpanSliderPrivate::pick(const QPoint& pt) const
{
    return pub().orientation() == Qt::Horizontal ? pt.x() : pt.y();
}

int SpanSliderPrivate::pixelPosToRangeValue(int pos) const
{
    SpanSlider& s = pub();
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = s.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, &s);
    const QRect handle = s.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, &s);
    const bool horizontal = s.orientation() == Qt::Horizontal;
    const int grooveStart = horizontal ? groove.x() : groove.y();
    const int span = horizontal ? groove.width() - handle.width() : groove.height() - handle.height();
    return QStyle::sliderValueFromPosition(s.minimum(), s.maximum(), pos - grooveStart, span, opt.upsideDown);
}

void SpanSliderPrivate::handleMousePress(const QPoint& pos, QStyle::SubControl& hit, int value,
                                         SpanSlider::SpanHandle handle)
{
    SpanSlider& s = pub();
    QStyleOptionSlider opt;
    initStyleOption(&opt, handle);
    const QStyle::SubControl oldHit = hit;
    // Only the handle itself counts; a press on the groove moves nothing.
    hit = s.style()->hitTestComplexControl(QStyle::CC_Slider, &opt, pos, &s) == QStyle::SC_SliderHandle
              ? QStyle::SC_SliderHandle
              : QStyle::SC_None;
    const QRect handleRect = s.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, &s);
    if (hit == QStyle::SC_SliderHandle) {
        pressValue = value;
        grabOffset = pick(pos) - pick(handleRect.topLeft());
        lastPressedHandle = handle;
        s.setSliderDown(true);
        emit s.sliderPressed(handle);
    }
    if (hit != oldHit)
        s.update(handleRect);
}

void SpanSliderPrivate::drawHandle(QStylePainter* painter, SpanSlider::SpanHandle handle) const
{
    QStyleOptionSlider opt;
    initStyleOption(&opt, handle);
    opt.subControls = QStyle::SC_SliderHandle;
    const QStyle::SubControl hit = handle == SpanSlider::SpanLower ? lowerHit : upperHit;
    if (hit == QStyle::SC_SliderHandle) {
        opt.activeSubControls = hit;
        opt.state |= QStyle::State_Sunken;
    }
    painter->drawComplexControl(QStyle::CC_Slider, opt);
}

void SpanSliderPrivate::drawSpan(QStylePainter* painter, const QRect& rect) const
{
    SpanSlider& s = pub();
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    QRect groove = s.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, &s);
    if (s.orientation() == Qt::Horizontal)
        groove.adjust(0, 0, -1, 0);
    else
        groove.adjust(0, 0, 0, -1);
    painter->setPen(QPen(kSpanColour, 1, Qt::SolidLine));
    painter->fillRect(rect.intersected(groove), kSpanColour);
}

void SpanSliderPrivate::swapControls()
{
    // The handles exchange their roles: values and positions go together, so
    // a handle dragged across the other keeps where it is drawn.
    qSwap(lower, upper);
    qSwap(lowerHandlePos, upperHandlePos);
    qSwap(lowerHit, upperHit);
    lastPressedHandle = lastPressedHandle == SpanSlider::SpanLower ? SpanSlider::SpanUpper : SpanSlider::SpanLower;
    mainHandle = mainHandle == SpanSlider::SpanLower ? SpanSlider::SpanUpper : SpanSlider::SpanLower;
}

void SpanSliderPrivate::commitPositions()
{
    pub().setSpan(lowerHandlePos, upperHandlePos);
}

void SpanSliderPrivate::moveHandle(SpanSlider::SpanHandle handle, int value)
{
    SpanSlider& s = pub();
    const bool isLower = handle == SpanSlider::SpanLower;
    const int other = isLower ? upper : lower;
    if (movementMode != SpanSlider::FreeMovement) {
        const int gap = movementMode == SpanSlider::NoOverlapping ? 1 : 0;
        value = isLower ? qMin(value, other - gap) : qMax(value, other + gap);
    }
    value = qBound(s.minimum(), value, s.maximum());
    // Passing the other handle swaps the roles: the moved handle is then
    // the other one.
    const bool crosses = movementMode == SpanSlider::FreeMovement && (isLower ? value > other : value < other);
    if (crosses)
        swapControls();
    setPosition(isLower != crosses ? SpanSlider::SpanLower : SpanSlider::SpanUpper, value);
}

void SpanSliderPrivate::setPosition(SpanSlider::SpanHandle handle, int position)
{
    SpanSlider& s = pub();
    const bool isLower = handle == SpanSlider::SpanLower;
    int& current = isLower ? lowerHandlePos : upperHandlePos;
    if (current == position)
        return;
    current = position;
    if (!s.hasTracking())
        s.update();
    if (s.isSliderDown()) {
        if (isLower)
            emit s.lowerPositionChanged(position);
        else
            emit s.upperPositionChanged(position);
    }
    if (s.hasTracking() && !trackingBlocked)
        triggerAction(QAbstractSlider::SliderMove, mainHandle == handle);
}

void SpanSliderPrivate::triggerAction(QAbstractSlider::SliderAction action, bool main)
{
    SpanSlider& s = pub();
    const int min = s.minimum();
    const int max = s.maximum();
    const bool addressesUpper = (main && mainHandle == SpanSlider::SpanUpper) ||
                                (!main && mainHandle == SpanSlider::SpanLower);
    const int current = addressesUpper ? upper : lower;

    trackingBlocked = true;
    bool hasValue = true;
    int value = 0;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        value = qBound(min, current + s.singleStep(), max);
        break;
    case QAbstractSlider::SliderSingleStepSub:
        value = qBound(min, current - s.singleStep(), max);
        break;
    case QAbstractSlider::SliderToMinimum:
        value = min;
        break;
    case QAbstractSlider::SliderToMaximum:
        value = max;
        break;
    default:
        hasValue = false;
        break;
    }

    if (hasValue)
        moveHandle(addressesUpper ? SpanSlider::SpanUpper : SpanSlider::SpanLower, value);

    trackingBlocked = false;
    commitPositions();
}

void SpanSliderPrivate::updateRange(int, int)
{
    // Clamps the span into the new range.
    pub().setSpan(lower, upper);
}

void SpanSliderPrivate::movePressedHandle()
{
    if (lastPressedHandle == SpanSlider::SpanNone)
        return;
    const bool isLower = lastPressedHandle == SpanSlider::SpanLower;
    if ((isLower ? lowerHandlePos : upperHandlePos) != (isLower ? lower : upper)) {
        trackingBlocked = false;
        commitPositions();
    }
}

SpanSlider::SpanSlider(QWidget* parent) : SpanSlider(Qt::Horizontal, parent) {}

SpanSlider::SpanSlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent)
{
    setPrivate(new SpanSliderPrivate(this));
    connect(this, &QAbstractSlider::rangeChanged, &priv(), &SpanSliderPrivate::updateRange);
    connect(this, &QAbstractSlider::sliderReleased, &priv(), &SpanSliderPrivate::movePressedHandle);
}

SpanSlider::~SpanSlider() = default;

SpanSlider::HandleMovementMode SpanSlider::handleMovementMode() const
{
    return priv().movementMode;
}

void SpanSlider::setHandleMovementMode(HandleMovementMode mode)
{
    priv().movementMode = mode;
}

int SpanSlider::lowerValue() const
{
    return qMin(priv().lower, priv().upper);
}

int SpanSlider::upperValue() const
{
    return qMax(priv().lower, priv().upper);
}

int SpanSlider::lowerPosition() const
{
    return priv().lowerHandlePos;
}

int SpanSlider::upperPosition() const
{
    return priv().upperHandlePos;
}

void SpanSlider::setLowerValue(int lower)
{
    setSpan(lower, priv().upper);
}

void SpanSlider::setUpperValue(int upper)
{
    setSpan(priv().lower, upper);
}

void SpanSlider::setSpan(int lower, int upper)
{
    SpanSliderPrivate& d = priv();
    const int low = qBound(minimum(), qMin(lower, upper), maximum());
    const int high = qBound(minimum(), qMax(lower, upper), maximum());
    bool changed = false;
    if (low != d.lower) {
        d.lower = d.lowerHandlePos = low;
        emit lowerValueChanged(low);
        changed = true;
    }
    if (high != d.upper) {
        d.upper = d.upperHandlePos = high;
        emit upperValueChanged(high);
        changed = true;
    }
    if (changed) {
        emit spanChanged(d.lower, d.upper);
        update();
    }
}

void SpanSlider::setLowerPosition(int lower)
{
    priv().setPosition(SpanLower, lower);
}

void SpanSlider::setUpperPosition(int upper)
{
    priv().setPosition(SpanUpper, upper);
}

void SpanSlider::keyPressEvent(QKeyEvent* event)
{
    QSlider::keyPressEvent(event);
    SpanSliderPrivate& d = priv();
    bool main = true;
    SliderAction action = SliderNoAction;
    switch (event->key()) {
    case Qt::Key_Left:
        main = orientation() == Qt::Horizontal;
        action = invertedAppearance() ? SliderSingleStepAdd : SliderSingleStepSub;
        break;
    case Qt::Key_Right:
        main = orientation() == Qt::Horizontal;
        action = invertedAppearance() ? SliderSingleStepSub : SliderSingleStepAdd;
        break;
    case Qt::Key_Up:
        main = orientation() == Qt::Vertical;
        action = invertedControls() ? SliderSingleStepSub : SliderSingleStepAdd;
        break;
    case Qt::Key_Down:
        main = orientation() == Qt::Vertical;
        action = invertedControls() ? SliderSingleStepAdd : SliderSingleStepSub;
        break;
    case Qt::Key_Home:
        main = d.mainHandle == SpanLower;
        action = SliderToMinimum;
        break;
    case Qt::Key_End:
        main = d.mainHandle == SpanUpper;
        action = SliderToMaximum;
        break;
    default:
        event->ignore();
        break;
    }
    if (action != SliderNoAction)
        d.triggerAction(action, main);
}

void SpanSlider::mousePressEvent(QMouseEvent* event)
{
    SpanSliderPrivate& d = priv();
    if (minimum() == maximum() || (event->buttons() ^ event->button())) {
        event->ignore();
        return;
    }
    // On top of each other, the upper handle is taken.
    d.handleMousePress(event->pos(), d.upperHit, d.upper, SpanUpper);
    if (d.upperHit != QStyle::SC_SliderHandle)
        d.handleMousePress(event->pos(), d.lowerHit, d.lower, SpanLower);
    d.firstMoveAfterPress = true;
    event->accept();
}

void SpanSlider::mouseMoveEvent(QMouseEvent* event)
{
    SpanSliderPrivate& d = priv();
    if (d.lowerHit != QStyle::SC_SliderHandle && d.upperHit != QStyle::SC_SliderHandle) {
        event->ignore();
        return;
    }

    QStyleOptionSlider opt;
    d.initStyleOption(&opt);
    const int m = style()->pixelMetric(QStyle::PM_MaximumDragDistance, &opt, this);
    int newPosition = d.pixelPosToRangeValue(d.pick(event->pos()) - d.grabOffset);
    if (m >= 0 && !rect().adjusted(-m, -m, m, m).contains(event->pos()))
        newPosition = d.pressValue;

    // Both handles on one value: the press took the upper one; a first move
    // downwards makes it the lower one.
    if (d.firstMoveAfterPress) {
        if (d.lower == d.upper) {
            if (newPosition < lowerValue()) {
                d.swapControls();
                d.firstMoveAfterPress = false;
            }
        } else {
            d.firstMoveAfterPress = false;
        }
    }

    d.moveHandle(d.lowerHit == QStyle::SC_SliderHandle ? SpanLower : SpanUpper, newPosition);
    event->accept();
}

void SpanSlider::mouseReleaseEvent(QMouseEvent* event)
{
    SpanSliderPrivate& d = priv();
    QSlider::mouseReleaseEvent(event);
    setSliderDown(false);  // emits sliderReleased(), which commits a held drag
    d.lowerHit = QStyle::SC_None;
    d.upperHit = QStyle::SC_None;
    update();
    event->accept();
}

void SpanSlider::paintEvent(QPaintEvent*)
{
    SpanSliderPrivate& d = priv();
    QStylePainter painter(this);

    // Groove and tick marks.
    QStyleOptionSlider opt;
    d.initStyleOption(&opt);
    opt.sliderValue = 0;
    opt.sliderPosition = 0;
    opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderTickmarks;
    painter.drawComplexControl(QStyle::CC_Slider, opt);

    // The span between the handle centres.
    opt.sliderPosition = d.lowerHandlePos;
    const QRect lowerRect = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    opt.sliderPosition = d.upperHandlePos;
    const QRect upperRect = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int lowerCentre = d.pick(lowerRect.center());
    const int upperCentre = d.pick(upperRect.center());
    const QPoint mid = QRect(lowerRect.center(), upperRect.center()).center();
    const int from = qMin(lowerCentre, upperCentre);
    const int to = qMax(lowerCentre, upperCentre);
    const QRect spanRect = orientation() == Qt::Horizontal
                               ? QRect(QPoint(from, mid.y() - 2), QPoint(to, mid.y() + 1))
                               : QRect(QPoint(mid.x() - 2, from), QPoint(mid.x() + 1, to));
    d.drawSpan(&painter, spanRect);

    // The handle pressed last lies on top.
    if (d.lastPressedHandle == SpanLower) {
        d.drawHandle(&painter, SpanUpper);
        d.drawHandle(&painter, SpanLower);
    } else {
        d.drawHandle(&painter, SpanLower);
        d.drawHandle(&painter, SpanUpper);
    }
}
