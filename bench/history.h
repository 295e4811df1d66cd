#pragma once
// A stored history of the given number of measurements, spread over the last
// year, as the measurement store writes it ("statistics.json").

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

inline QByteArray historyBytes(int count)
{
    QJsonArray data;
    const QDateTime start = QDateTime::currentDateTime().addDays(-365);
    for (int i = 0; i < count; ++i) {
        QDateTime t = start.addSecs(qint64(i) * 365 * 86400 / qMax(count, 1));
        t.setOffsetFromUtc(t.offsetFromUtc());
        data.append(QJsonObject{{"datetime", t.toString(Qt::ISODate)},
                                {"blinkrate", 8.0 + (i % 150) / 10.0},
                                {"note", i % 3 ? QString() : QStringLiteral("after a break")},
                                {"length", 120 + i % 200}});
    }
    return QJsonDocument(QJsonObject{{"data", data}}).toJson();
}
