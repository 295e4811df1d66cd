// The range slider driven as a user drives it: mouse presses, drags (slow and
// in one jump across the other handle) and keys, through the window system.
// Every span it announces is ordered, each committed change is announced
// once, and the handles are drawn where their values are.

#define QTEST_QPA_MOUSE_HANDLING
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStyleOptionSlider>
#include <QtTest>

#include "gui/spanslider.h"

namespace {

class Slider : public SpanSlider
{
public:
    Slider() : SpanSlider(Qt::Horizontal)
    {
        setRange(0, 10);
        resize(420, 30);
        setFocusPolicy(Qt::StrongFocus);
    }

    // Where the style draws a handle standing on the given value.
    QPoint handleAt(int value)
    {
        QStyleOptionSlider opt;
        initStyleOption(&opt);
        opt.sliderPosition = value;
        opt.sliderValue = value;
        return style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this).center();
    }
};

using Span = QPair<int, int>;

QList<Span> spans(const QSignalSpy& spy)
{
    QList<Span> out;
    for (const QList<QVariant>& args : spy)
        out << Span(args.at(0).toInt(), args.at(1).toInt());
    return out;
}

}  // namespace

class TestSpanSlider : public QObject
{
    Q_OBJECT

    Slider* slider = nullptr;

    void drag(int from, const QList<int>& to, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(slider, button, {}, slider->handleAt(from));
        for (int v : to)
            QTest::mouseMove(slider, slider->handleAt(v));
        QTest::mouseRelease(slider, button, {}, slider->handleAt(to.isEmpty() ? from : to.last()));
    }

    void checkConsistent()
    {
        QVERIFY(slider->lowerValue() <= slider->upperValue());
        QCOMPARE(slider->lowerPosition(), slider->lowerValue());
        QCOMPARE(slider->upperPosition(), slider->upperValue());
    }

private slots:
    void init()
    {
        slider = new Slider;
        slider->show();
        QVERIFY(QTest::qWaitForWindowExposed(slider));
        slider->setSpan(3, 8);
    }
    void cleanup() { delete slider; }

    void spanIsOrderedClampedAndAnnouncedOnce()
    {
        QSignalSpy spy(slider, &SpanSlider::spanChanged);
        slider->setSpan(8, 3);
        QCOMPARE(spy.count(), 0);
        slider->setSpan(-5, 20);
        QCOMPARE(spans(spy), QList<Span>{Span(0, 10)});
        slider->setSpan(3, 8);
        spy.clear();
        slider->setRange(0, 5);
        QCOMPARE(spans(spy), QList<Span>{Span(3, 5)});
        checkConsistent();
    }

    void dragAcrossInOneMove_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("lower");
        QTest::addColumn<int>("upper");
        QTest::newRow("lower past upper") << 3 << 10 << 8 << 10;
        QTest::newRow("upper past lower") << 8 << 1 << 1 << 3;
        QTest::newRow("lower to the far end") << 3 << 0 << 0 << 8;
    }
    void dragAcrossInOneMove()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, lower);
        QFETCH(int, upper);
        QSignalSpy spy(slider, &SpanSlider::spanChanged);
        drag(from, {to});
        QCOMPARE(spans(spy), QList<Span>{Span(lower, upper)});
        checkConsistent();
        // The dragged handle is where it was dropped: taking it back restores the span.
        spy.clear();
        drag(to, {from});
        QCOMPARE(spans(spy), QList<Span>{Span(3, 8)});
        checkConsistent();
    }

    void movementModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("lower");
        QTest::addColumn<int>("upper");
        QTest::newRow("no crossing") << int(SpanSlider::NoCrossing) << 8 << 8;
        QTest::newRow("no overlapping") << int(SpanSlider::NoOverlapping) << 7 << 8;
    }
    void movementModes()
    {
        QFETCH(int, mode);
        QFETCH(int, lower);
        QFETCH(int, upper);
        slider->setHandleMovementMode(SpanSlider::HandleMovementMode(mode));
        drag(3, {10});
        QCOMPARE(slider->lowerValue(), lower);
        QCOMPARE(slider->upperValue(), upper);
        // Keys keep the same rule.
        slider->setFocus();
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(slider->lowerValue(), lower);
        QCOMPARE(slider->upperValue(), upper);
        checkConsistent();
    }

    void pressesThatMoveNothing()
    {
        QSignalSpy spy(slider, &SpanSlider::spanChanged);
        QSignalSpy pressed(slider, SIGNAL(sliderPressed(SpanHandle)));
        // On the groove, away from both handles.
        drag(0, {1, 10});
        // A second button pressed while one is held.
        QTest::mousePress(slider, Qt::RightButton, {}, slider->rect().topLeft());
        drag(3, {6});
        QTest::mouseRelease(slider, Qt::RightButton, {}, slider->rect().topLeft());
        // An empty range.
        slider->setRange(4, 4);
        spy.clear();
        drag(4, {0, 10});
        QCOMPARE(spy.count(), 0);
        QCOMPARE(pressed.count(), 0);
    }

    void withoutTrackingTheDropCommits()
    {
        slider->setTracking(false);
        QSignalSpy spy(slider, &SpanSlider::spanChanged);
        QSignalSpy moved(slider, &SpanSlider::upperPositionChanged);
        QTest::mousePress(slider, Qt::LeftButton, {}, slider->handleAt(3));
        QTest::mouseMove(slider, slider->handleAt(6));
        QTest::mouseMove(slider, slider->handleAt(10));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(slider->upperPosition(), 10);
        QCOMPARE(moved.count(), 1);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, slider->handleAt(10));
        QCOMPARE(spans(spy), QList<Span>{Span(8, 10)});
        checkConsistent();
    }

    void keys()
    {
        slider->setFocus();
        QSignalSpy spy(slider, &SpanSlider::spanChanged);
        const QList<QPair<int, Span>> steps = {
            {Qt::Key_Home, {0, 8}},  {Qt::Key_End, {0, 10}},  {Qt::Key_Right, {1, 10}},
            {Qt::Key_Up, {1, 10}},   {Qt::Key_Down, {1, 9}},  {Qt::Key_Left, {0, 9}},
            {Qt::Key_Left, {0, 9}},  {Qt::Key_End, {0, 10}},
        };
        for (const auto& step : steps) {
            const Span before(slider->lowerValue(), slider->upperValue());
            spy.clear();
            QTest::keyClick(slider, Qt::Key(step.first));
            QCOMPARE(Span(slider->lowerValue(), slider->upperValue()), step.second);
            QCOMPARE(spy.count(), before == step.second ? 0 : 1);
        }
        // The main handle walks across the other one and keeps moving.
        slider->setSpan(4, 5);
        spy.clear();
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(spans(spy), (QList<Span>{{5, 5}, {5, 6}, {5, 7}}));
        checkConsistent();
    }

    // Random drags (one jump or several moves, across the other handle or
    // not) and keys: after each, the span is the fixed handle's value and the
    // drop point, every announced span is ordered, and a move announces at
    // most one span.
    void randomUse()
    {
        QRandomGenerator rng(20261207);
        slider->setFocus();
        QSignalSpy spy(slider, &SpanSlider::spanChanged);
        for (int round = 0; round < 200; ++round) {
            if (rng.bounded(4) == 0) {
                const Qt::Key key = QList<Qt::Key>{Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down,
                                                   Qt::Key_Home, Qt::Key_End}[rng.bounded(6)];
                spy.clear();
                QTest::keyClick(slider, key);
                QVERIFY(spy.count() <= 1);
            } else {
                const bool takeLower = rng.bounded(2) == 0;
                const int lower = slider->lowerValue();
                const int upper = slider->upperValue();
                if (lower == upper && takeLower)
                    continue;  // the upper handle lies on top and is taken
                const int from = takeLower ? lower : upper;
                const int fixed = takeLower ? upper : lower;
                QTest::mousePress(slider, Qt::LeftButton, {}, slider->handleAt(from));
                int to = from;
                for (int moves = 1 + rng.bounded(3); moves > 0; --moves) {
                    to = rng.bounded(11);
                    const Span before(slider->lowerValue(), slider->upperValue());
                    spy.clear();
                    QTest::mouseMove(slider, slider->handleAt(to));
                    const Span expected(qMin(fixed, to), qMax(fixed, to));
                    QCOMPARE(Span(slider->lowerValue(), slider->upperValue()), expected);
                    QCOMPARE(spans(spy), before == expected ? QList<Span>{} : QList<Span>{expected});
                }
                spy.clear();
                QTest::mouseRelease(slider, Qt::LeftButton, {}, slider->handleAt(to));
                QCOMPARE(spy.count(), 0);
            }
            for (const Span& s : spans(spy))
                QVERIFY(s.first <= s.second);
            checkConsistent();
        }
    }
};

QTEST_MAIN(TestSpanSlider)
#include "tst_spanslider.moc"
