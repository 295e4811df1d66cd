#include "core/lumoratypes.h"

#include <QString>

void registerCrossThreadTypes()
{
    qRegisterMetaType<QVector<double>>("QVector<double>");
    qRegisterMetaType<QVector<QString>>("QVector<QString>");
    qRegisterMetaType<QVector<QDateTime>>("QVector<QDateTime>");
    qRegisterMetaType<Feature>("Feature");
    qRegisterMetaType<Error>("Error");
    qRegisterMetaType<QVector<uint>>("QVector<uint>");
    qRegisterMetaType<QVector<int>>("QVector<int>");
}
