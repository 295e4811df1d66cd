#pragma once
// The camera-test page's live picture. QLabel::setPixmap asks for a new
// layout at every call, and each new layout fits the whole window to its
// screen again: at 25 frames a second that cost more than drawing the
// frames. Here a frame of the size the label already shows lands on this
// child of the label, laid exactly over the label's picture, and repaints
// that spot alone; only a frame of another size goes to the label, so the
// label keeps its place and size in the layout. A picture that other code
// gives the label directly shows at once: this child then steps aside.

#include <QPixmap>
#include <QWidget>

class QLabel;

class LivePicture : public QWidget
{
    Q_OBJECT

public:
    explicit LivePicture(QLabel* label);

    // Shows the frame where the label shows its picture, now.
    void showFrame(const QPixmap& frame);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Over the label's picture: where QLabel draws it, within its contents.
    void place();

    QLabel* m_label;
    QPixmap m_frame;
    // The picture last given to the label, and where this child draws the
    // frame relative to its own corner (the picture may overhang the label).
    qint64 m_labelPicture = 0;
    QPoint m_drawAt;
};
