#include "gui/translucentframe.h"

#include <QLayout>
#include <QWidget>
#include <QWindow>

#include "app/platform/compositing.h"

namespace translucentframe {

void adapt(QWidget* window, QLayout* outer, int margin, const std::function<void()>& remake)
{
    const bool translucent = compositing::translucencyBlended();
    // The surface's kind is fixed when the native window is made.
    const bool madeOtherwise = window->testAttribute(Qt::WA_WState_Created)
                               && window->testAttribute(Qt::WA_TranslucentBackground) != translucent;
    window->setAttribute(Qt::WA_TranslucentBackground, translucent);
    // Translucency also turned the system background off; opaque, the
    // window paints it again.
    window->setAttribute(Qt::WA_NoSystemBackground, translucent);
    const int m = translucent ? margin : 0;
    outer->setContentsMargins(m, m, m, m);
    if (madeOtherwise) {
        const Qt::WindowStates states = window->windowState();
        remake();
        if (QWindow* handle = window->windowHandle())
            handle->setWindowStates(states);
    }
}

int margin(const QWidget* window, int margin)
{
    return window->testAttribute(Qt::WA_TranslucentBackground) ? margin : 0;
}

}  // namespace translucentframe
