#pragma once
// Opening the main window's pages as a user does, through the title bar.

#include <QString>
#include <QVector>

class QWidget;

namespace guisheet {

struct Page {
    QString name;    // file-name part: main, settings, about, camera
    QString widget;  // object name of the page widget
};

// The four pages in the order they are drawn.
const QVector<Page>& pages();

// Returns the window to its main page and opens the given one by clicking
// the title bar's buttons, then lets the layout follow. Returns whether that
// page alone is shown.
bool open(QWidget* window, const Page& page);

// Runs the posted events until the window's layout has followed its texts.
void settle();

}  // namespace guisheet
