#include "gui/livepicture.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QStyle>

LivePicture::LivePicture(QLabel* label) : QWidget(label), m_label(label), m_formMinimum(label->minimumSize())
{
    // A frame covers every pixel of this child: nothing beneath it is
    // painted again, and clicks reach the label.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    label->installEventFilter(this);
}

void LivePicture::showFrame(const QPixmap& frame)
{
    m_frame = frame;
    const QSize size = frame.size() / frame.devicePixelRatio();
    const QSize room = size.width() == m_room.width() ? m_room.expandedTo(size) : size;
    if (room != m_room) {
        m_room = room;
        const int edge = 2 * (m_label->frameWidth() + m_label->margin());
        m_label->setMinimumSize(room.expandedTo(m_formMinimum) + QSize(edge, edge));
    }
    place();
    show();
    repaint();
}

void LivePicture::place()
{
    const int margin = m_label->margin();
    const QRect contents = m_label->contentsRect().adjusted(margin, margin, -margin, -margin);
    const int align = QStyle::visualAlignment(m_label->layoutDirection(), m_label->alignment());
    const QRect aligned = QStyle::alignedRect(QGuiApplication::layoutDirection(), QFlag(align),
                                              m_frame.size() / m_frame.devicePixelRatio(), contents);
    const QRect spot = aligned.intersected(contents);
    m_drawAt = aligned.topLeft() - spot.topLeft();
    setGeometry(spot);
}

void LivePicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(m_drawAt, m_frame);
}

bool LivePicture::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_label && event->type() == QEvent::Resize && !isHidden())
        place();
    return QWidget::eventFilter(watched, event);
}
