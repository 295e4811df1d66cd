#pragma once
// A slider with two handles that selects a span (lower and upper value)
// inside its range. Range, orientation, steps, tracking, inversion and
// styling come from QSlider; the span state lives in SpanSliderPrivate.

#include <QSlider>
#include <QStyle>

class QStylePainter;
class QStyleOptionSlider;
class SpanSliderPrivate;

// The link from a public class to its private part: the public object owns
// the private one (PrivateOf names its type) and reaches it through priv();
// the private part reaches its public object through pub().
template <typename Public>
struct PrivateOf;

template <typename Public>
class PrivateLink
{
public:
    using Private = typename PrivateOf<Public>::type;

    PrivateLink() = default;
    PrivateLink(const PrivateLink&) = delete;
    PrivateLink& operator=(const PrivateLink&) = delete;
    // Instantiated where the private type is complete (the public class's
    // own destructor).
    ~PrivateLink() { delete m_priv; }

protected:
    void setPrivate(Private* p) { m_priv = p; }
    Private& priv() const { return *m_priv; }

private:
    Private* m_priv = nullptr;
};

template <typename Public>
class PrivatePart
{
public:
    explicit PrivatePart(Public* owner) : m_pub(owner) {}
    Public& pub() const { return *m_pub; }

private:
    Public* m_pub;
};

class SpanSlider;
template <>
struct PrivateOf<SpanSlider>
{
    using type = SpanSliderPrivate;
};

class SpanSlider : public QSlider, public PrivateLink<SpanSlider>
{
    Q_OBJECT
    Q_PROPERTY(int lowerValue READ lowerValue WRITE setLowerValue)
    Q_PROPERTY(int upperValue READ upperValue WRITE setUpperValue)
    Q_PROPERTY(int lowerPosition READ lowerPosition WRITE setLowerPosition)
    Q_PROPERTY(int upperPosition READ upperPosition WRITE setUpperPosition)
    Q_PROPERTY(HandleMovementMode handleMovementMode READ handleMovementMode WRITE setHandleMovementMode)

public:
    enum SpanHandle { SpanNone = 0, SpanLower = 1, SpanUpper = 2 };
    Q_ENUM(SpanHandle)

    // FreeMovement: the handles may cross, and crossing swaps their roles;
    // NoCrossing: they may meet but not cross; NoOverlapping: they stay at
    // least one value apart.
    enum HandleMovementMode { FreeMovement = 0, NoCrossing = 1, NoOverlapping = 2 };
    Q_ENUM(HandleMovementMode)

    explicit SpanSlider(QWidget* parent = nullptr);
    explicit SpanSlider(Qt::Orientation orientation, QWidget* parent = nullptr);
    ~SpanSlider() override;

    HandleMovementMode handleMovementMode() const;
    void setHandleMovementMode(HandleMovementMode mode);

    int lowerValue() const;
    int upperValue() const;
    int lowerPosition() const;
    int upperPosition() const;

public slots:
    void setLowerValue(int lower);
    void setUpperValue(int upper);
    void setSpan(int lower, int upper);
    void setLowerPosition(int lower);
    void setUpperPosition(int upper);

signals:
    void spanChanged(int lower, int upper);
    void lowerValueChanged(int lower);
    void upperValueChanged(int upper);
    void lowerPositionChanged(int lower);
    void upperPositionChanged(int upper);
    void sliderPressed(SpanHandle handle);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class SpanSliderPrivate;
};

class SpanSliderPrivate : public QObject, public PrivatePart<SpanSlider>
{
    Q_OBJECT
public:
    explicit SpanSliderPrivate(SpanSlider* slider);

    void initStyleOption(QStyleOptionSlider* option, SpanSlider::SpanHandle handle = SpanSlider::SpanUpper) const;
    int pick(const QPoint& pt) const;
    int pixelPosToRangeValue(int pos) const;
    void handleMousePress(const QPoint& pos, QStyle::SubControl& hit, int value, SpanSlider::SpanHandle handle);
    void drawHandle(QStylePainter* painter, SpanSlider::SpanHandle handle) const;
    void drawSpan(QStylePainter* painter, const QRect& rect) const;
    void triggerAction(QAbstractSlider::SliderAction action, bool main);
    void swapControls();
    // Makes the handle positions the values, in one span change.
    void commitPositions();
    // Moves a handle to a value within the movement mode's limits.
    void moveHandle(SpanSlider::SpanHandle handle, int value);
    void setPosition(SpanSlider::SpanHandle handle, int position);

    int lower = 0;
    int upper = 0;
    int lowerHandlePos = 0;
    int upperHandlePos = 0;
    int grabOffset = 0;
    int pressValue = 0;
    SpanSlider::SpanHandle lastPressedHandle = SpanSlider::SpanNone;
    SpanSlider::SpanHandle mainHandle = SpanSlider::SpanLower;
    QStyle::SubControl lowerHit = QStyle::SC_None;
    QStyle::SubControl upperHit = QStyle::SC_None;
    SpanSlider::HandleMovementMode movementMode = SpanSlider::FreeMovement;
    bool firstMoveAfterPress = false;
    bool trackingBlocked = false;

public slots:
    void updateRange(int min, int max);
    void movePressedHandle();
};
