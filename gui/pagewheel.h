#pragma once
// The mouse wheel over a page that scrolls: it moves the page, and does not
// change the value of a field that happens to pass under the pointer.

class QScrollArea;

namespace pagewheel {

// Within the area's page, a spin box, combo box or slider takes the wheel
// only while it has the keyboard focus (a click gives it; the wheel does
// not), and a graph that does not zoom by the wheel never takes it; in
// either case the wheel scrolls the page. Call it once the page holds its
// widgets.
void install(QScrollArea* area);

}  // namespace pagewheel
