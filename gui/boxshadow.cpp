#include "gui/boxshadow.h"

#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

// Qt's own blur, exported by QtWidgets, which its drop-shadow filter uses:
// the same call gives the same pixels.
Q_WIDGETS_EXPORT void qt_blurImage(QPainter* p, QImage& blurImage, qreal radius, bool quality, bool alphaOnly,
                                   int transposed = 0);

BoxShadow::BoxShadow(QWidget* box, qreal blurRadius, const QPointF& offset)
    : QObject(box), m_box(box), m_parent(box->parentWidget())
{
    m_look.setBlurRadius(blurRadius);
    m_look.setOffset(offset);
    box->installEventFilter(this);
    if (m_parent)
        m_parent->installEventFilter(this);
    m_shown = area();
}

QRect BoxShadow::area() const
{
    if (!m_box || m_box->isHidden())
        return QRect();
    const QRect extent = m_look.boundingRectFor(QRectF(m_box->rect())).toAlignedRect();
    return extent.translated(m_box->pos());
}

bool BoxShadow::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_box || !m_parent)
        return false;
    if (watched == m_parent && event->type() == QEvent::Paint) {
        // The parent's background is painted; its own painting and its
        // children follow.
        paint();
    } else if (watched == m_box) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide: {
            // The parent repaints where the box was and is; the shadow
            // reaches beyond both.
            const QRect now = area();
            m_parent->update(m_shown.united(now));
            m_shown = now;
            break;
        }
        default:
            break;
        }
    }
    return false;
}

void BoxShadow::paint()
{
    if (m_box->isHidden())
        return;
    const qreal ratio = m_parent->devicePixelRatioF();
    if (m_image.isNull() || ratio != m_ratio || m_box->size() != m_imageFor)
        makeImage(ratio);
    QPainter painter(m_parent);
    painter.drawImage(area().topLeft(), m_image);
}

void BoxShadow::makeImage(qreal ratio)
{
    m_ratio = ratio;
    m_imageFor = m_box->size();
    // The box with its children, as Qt's effect takes its source.
    const QRect extent = m_look.boundingRectFor(QRectF(m_box->rect())).toAlignedRect();
    QPixmap source(extent.size() * ratio);
    source.setDevicePixelRatio(ratio);
    source.fill(Qt::transparent);
    m_box->render(&source, -extent.topLeft(), QRegion(), QWidget::DrawChildren);

    // As Qt's drop-shadow filter makes it: the source moved by the offset,
    // its alpha blurred, then filled with the shadow's colour.
    QImage moved(source.size(), QImage::Format_ARGB32_Premultiplied);
    moved.setDevicePixelRatio(ratio);
    moved.fill(0);
    QPainter painter(&moved);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(m_look.offset(), source);
    painter.end();

    m_image = QImage(moved.size(), QImage::Format_ARGB32_Premultiplied);
    m_image.setDevicePixelRatio(ratio);
    m_image.fill(0);
    painter.begin(&m_image);
    qt_blurImage(&painter, moved, m_look.blurRadius(), false, true);
    painter.end();

    painter.begin(&m_image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(m_image.rect(), m_look.color());
    painter.end();
}

void addBoxShadows(std::initializer_list<QWidget*> boxes)
{
    for (QWidget* box : boxes)
        new BoxShadow(box, 5.0, QPointF(1.0, 1.0));
}
