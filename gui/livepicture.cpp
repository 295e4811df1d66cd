#include "gui/livepicture.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QStyle>

LivePicture::LivePicture(QLabel* label) : QWidget(label), m_label(label)
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
    const QPixmap shown = m_label->pixmap(Qt::ReturnByValue);
    if (shown.cacheKey() != m_labelPicture || shown.size() != frame.size() ||
        shown.devicePixelRatio() != frame.devicePixelRatio()) {
        // Another size, or a picture given elsewhere: the label takes the
        // frame, and a new layout with it.
        hide();
        m_label->setPixmap(frame);
        m_labelPicture = frame.cacheKey();
        m_label->repaint();
        return;
    }
    m_frame = frame;
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
    if (watched == m_label && !isHidden()) {
        if (event->type() == QEvent::Resize)
            place();
        // The label shows a picture given elsewhere: it is to be seen.
        else if (event->type() == QEvent::Paint && m_label->pixmap(Qt::ReturnByValue).cacheKey() != m_labelPicture)
            hide();
    }
    return QWidget::eventFilter(watched, event);
}
