#include "gui/translucentframe.h"

#include <QLayout>
#include <QWidget>

#include "app/platform/compositing.h"

namespace translucentframe {

bool adapt(QWidget* window, QLayout* outer, int margin)
{
    const bool translucent = compositing::translucencyBlended();
    const bool remake = window->testAttribute(Qt::WA_WState_Created)
                        && window->testAttribute(Qt::WA_TranslucentBackground) != translucent;
    window->setAttribute(Qt::WA_TranslucentBackground, translucent);
    // Translucency also turned the system background off; opaque, the
    // window paints it again.
    window->setAttribute(Qt::WA_NoSystemBackground, translucent);
    const int m = translucent ? margin : 0;
    outer->setContentsMargins(m, m, m, m);
    return remake;
}

int margin(const QWidget* window, int margin)
{
    return window->testAttribute(Qt::WA_TranslucentBackground) ? margin : 0;
}

}  // namespace translucentframe
