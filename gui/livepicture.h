#pragma once
// The camera-test page's picture: the camera's frames and the engine's
// status pictures, drawn by this child of the label. QLabel::setPixmap asks
// for a new layout at every call, and each new layout fits the whole window
// to its screen again: at 25 frames a second that cost more than drawing the
// frames. So the label holds no picture, only the room for one: as wide as
// the pictures and as tall as the tallest shown at that width. A smaller
// picture (the 4:3 status picture after a 5:4 camera's frames) is drawn
// inside that room, and neither the page nor the window moves; only a
// picture that needs more room, or pictures of another width, lay the page
// out again.

#include <QPixmap>
#include <QWidget>

class QLabel;

class LivePicture : public QWidget
{
    Q_OBJECT

public:
    explicit LivePicture(QLabel* label);

    // Shows the picture where the label would show it, now.
    void showFrame(const QPixmap& frame);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Over the label's picture: where QLabel would draw it, within its contents.
    void place();

    QLabel* m_label;
    QPixmap m_frame;
    // The least room the form gives the label, and the room kept for pictures.
    QSize m_formMinimum;
    QSize m_room;
    // Where this child draws the frame relative to its own corner (the
    // picture may overhang the label).
    QPoint m_drawAt;
};
