#include "gui/healthgraph.h"

#include <qcustomplot.h>

namespace healthgraph {

QColor healthyColour()
{
    return QColor(152, 200, 0);
}

QColor pointColour()
{
    return QColor(0, 202, 255);
}

QCPItemText* addHealthyLabel(QCustomPlot* plot, const QFont& font)
{
    auto* label = new QCPItemText(plot);
    label->position->setType(QCPItemPosition::ptPlotCoords);
    label->position->setCoords(0.1, kHealthyRate);
    label->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
    label->setFont(font);
    label->setBrush(QBrush(Qt::white, Qt::SolidPattern));
    label->setColor(healthyColour());
    return label;
}

QCPItemLine* addHealthyLine(QCustomPlot* plot)
{
    auto* line = new QCPItemLine(plot);
    QPen dashed(healthyColour());
    dashed.setDashPattern({10, 10});
    line->setPen(dashed);
    return line;
}

void plotRates(QCustomPlot* plot, QCPItemLine* healthyLine, const QVector<double>& rates)
{
    const int n = rates.size();
    QVector<double> keys(n);
    double top = 12.0;
    for (int i = 0; i < n; ++i) {
        keys[i] = i;
        if (rates[i] > top)
            top = rates[i] + 2.0;
    }

    QCPGraph* graph = plot->graph(0);
    graph->setData(keys, rates, true);
    const QPen pen(pointColour(), 1.5);
    graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, pen, QBrush(pointColour()), 7.0));
    graph->setPen(pen);
    graph->setLineStyle(QCPGraph::lsLine);

    plot->yAxis->setRange(0, top);
    plot->xAxis->rescale();
    healthyLine->start->setCoords(-10.0, kHealthyRate);
    healthyLine->end->setCoords(n + 10, kHealthyRate);
}

const QCPGraphData* pointNear(const QCPGraph* graph, double key, double value)
{
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
        if (qAbs(it->key - key) < 0.5 && qAbs(it->value - value) < 0.5)
            return &*it;
    }
    return nullptr;
}

}  // namespace healthgraph
