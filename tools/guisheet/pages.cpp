#include "pages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QWidget>

namespace guisheet {

const QVector<Page>& pages()
{
    static const QVector<Page> list = {
        {QStringLiteral("main"), QStringLiteral("widget_mainPage")},
        {QStringLiteral("settings"), QStringLiteral("widget_settingsPage")},
        {QStringLiteral("about"), QStringLiteral("widget_aboutPage")},
        {QStringLiteral("camera"), QStringLiteral("widget_livePreviewPage")},
    };
    return list;
}

namespace {

void click(QWidget* window, const char* button)
{
    if (auto* b = window->findChild<QAbstractButton*>(QLatin1String(button)))
        b->click();
    QApplication::processEvents();
}

bool isShown(QWidget* window, const Page& page)
{
    for (const Page& p : pages()) {
        auto* w = window->findChild<QWidget*>(p.widget);
        if (!w || w->isVisible() != (p.name == page.name))
            return false;
    }
    return true;
}

}  // namespace

bool open(QWidget* window, const Page& page)
{
    if (auto* back = window->findChild<QWidget*>(QStringLiteral("toolButton_titleBarBack")); back && back->isVisible())
        click(window, "toolButton_titleBarBack");
    if (page.name == QLatin1String("settings")) {
        click(window, "toolButton_titleBarSettings");
    } else if (page.name == QLatin1String("about")) {
        click(window, "toolButton_titleBarAbout");
    } else if (page.name == QLatin1String("camera")) {
        // The camera test is reached from the settings page.
        click(window, "toolButton_titleBarSettings");
        click(window, "toolButton_titleBarWebcam");
    }
    settle();
    return isShown(window, page);
}

void settle()
{
    // A text change posts layout requests, whose handling posts more.
    for (int i = 0; i < 5; ++i) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
}

}  // namespace guisheet
