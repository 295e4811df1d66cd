#pragma once
// The frameless windows (main, statistics, proxy) draw their panel inside a
// translucent margin that holds the panel's drop shadow. Only a compositing
// manager blends that margin with the desktop; without one it comes out
// black, so there the windows are drawn opaque and without the margin.

#include <functional>

class QLayout;
class QWidget;

namespace translucentframe {

// Sets the window up for the desktop as it is now: translucent with the
// given margin around its panel (in its outer layout) where translucency is
// blended, opaque with no margin otherwise. Call it before the window is
// shown. A native window already made the other way is made anew through
// remake (the window's QWidget::destroy() and create(), which only the
// window itself may call); it keeps its window state.
void adapt(QWidget* window, QLayout* outer, int margin, const std::function<void()>& remake);

// The margin for the window as it is set up now.
int margin(const QWidget* window, int margin);

}  // namespace translucentframe
