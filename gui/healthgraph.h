#pragma once
// The health graph drawn by the main page and by the statistics window: blink
// rates as points joined by a line, against a dashed line at the healthy rate.

#include <QColor>
#include <QVector>

class QCPGraph;
class QCPGraphData;
class QCPItemLine;
class QCPItemText;
class QCustomPlot;
class QFont;

namespace healthgraph {

constexpr double kHealthyRate = 10.0;
QColor healthyColour();
QColor pointColour();

// The "healthy" label (its text is set by the caller) and the dashed line,
// both in the healthy colour.
QCPItemText* addHealthyLabel(QCustomPlot* plot, const QFont& font);
QCPItemLine* addHealthyLine(QCustomPlot* plot);

// Puts the rates on the plot's first graph at keys 0..n-1 with the points'
// style, sets the y range from 0 to 12 (or 2 above a higher rate), fits the x
// axis to the data and stretches the healthy line beyond both ends. The
// caller replots.
void plotRates(QCustomPlot* plot, QCPItemLine* healthyLine, const QVector<double>& rates);

// The first point of the graph within half a unit of (key, value) in both
// directions, or null.
const QCPGraphData* pointNear(const QCPGraph* graph, double key, double value);

}  // namespace healthgraph
