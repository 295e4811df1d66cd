#pragma once
// The grey levels across one edge of a box as its window shows on screen:
// from two pixels inside the box to seven beyond it, at the edge's middle.
// Where the box casts a drop shadow, the shadow's fall-off lies in them.

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QStringList>
#include <QTest>
#include <QVector>
#include <QWidget>

inline QVector<int> greyAcrossEdge(QWidget* box, Qt::Edge edge)
{
    QWidget* window = box->window();
    const QImage image = window->screen()->grabWindow(window->winId()).toImage();
    const QRect r(box->mapTo(window, QPoint(0, 0)), box->size());
    const QPoint step = edge == Qt::BottomEdge ? QPoint(0, 1) : QPoint(1, 0);
    QPoint at =
        edge == Qt::BottomEdge ? QPoint(r.center().x(), r.bottom() - 1) : QPoint(r.right() - 1, r.center().y());
    QVector<int> grey;
    for (int i = 0; i < 9; ++i, at += step)
        grey << (image.rect().contains(at) ? qGray(image.pixel(at)) : -1);
    return grey;
}

inline QString greyText(const QVector<int>& grey)
{
    QStringList list;
    for (int g : grey)
        list << QString::number(g);
    return list.join(' ');
}

// Whether two strips agree within two grey levels.
inline bool sameGrey(const QVector<int>& a, const QVector<int>& b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (qAbs(a[i] - b[i]) > 2)
            return false;
    return true;
}

// The test data's columns: the box's object name, the edge, the strip.
inline void addEdgeStripColumns()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<Qt::Edge>("edge");
    QTest::addColumn<QVector<int>>("strip");
}

// Empty once the strip across the edge of the window's box of that name
// agrees with the given one within two grey levels (waiting up to 3 s for
// the window to be drawn); otherwise what was seen against what was wanted.
inline QString edgeStripDiffers(QWidget* window, const QString& box, Qt::Edge edge, const QVector<int>& strip)
{
    QWidget* boxWidget = window->findChild<QWidget*>(box);
    if (!boxWidget)
        return QStringLiteral("no box named %1").arg(box);
    QVector<int> seen;
    if (QTest::qWaitFor([&] { return sameGrey(seen = greyAcrossEdge(boxWidget, edge), strip); }, 3000))
        return QString();
    return QStringLiteral("seen %1, want %2").arg(greyText(seen), greyText(strip));
}
