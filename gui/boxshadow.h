#pragma once
// A box's drop shadow as Qt's QGraphicsDropShadowEffect draws it, painted by
// the box's parent from a kept image. Qt's effect renders its whole widget
// into a pixmap and blurs it again whenever anything inside repaints, so a
// live picture in a shadowed box re-rendered and re-blurred the box, and the
// panel around it, at every frame. Here the box's outline is blurred once
// for its size and pixel ratio; a repaint inside the box paints that part
// alone, and the parent draws the kept shadow clipped to what it repaints.
// The parent paints the shadow over its background and under its children;
// boxes lie far enough apart that no shadow reaches a sibling.

#include <QGraphicsDropShadowEffect>
#include <QImage>
#include <QPointer>
#include <initializer_list>

class BoxShadow : public QObject
{
    Q_OBJECT

public:
    // The shadow of box, which lies in a parent widget, with this blur
    // radius and offset and the default colour of Qt's effect. A child of
    // the box, it lives as long as the box.
    BoxShadow(QWidget* box, qreal blurRadius, const QPointF& offset);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Where the shadow's image lies, in the parent; empty while the box is
    // hidden.
    QRect area() const;
    void paint();
    void makeImage(qreal ratio);

    QPointer<QWidget> m_box;
    QPointer<QWidget> m_parent;
    // Blur radius, offset, colour and the shadow's extent, as Qt's effect
    // has them; it is set on no widget.
    QGraphicsDropShadowEffect m_look;
    QImage m_image;  // in device pixels; null until it is made
    QSize m_imageFor;
    qreal m_ratio = 0;
    QRect m_shown;  // the area last known, in the parent
};

// Gives each box the shadow the program's windows all have: blur radius 5,
// offset (1, 1), the default colour.
void addBoxShadows(std::initializer_list<QWidget*> boxes);
