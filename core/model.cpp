#include "core/model.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>
#include <cstdlib>
#include <dlib/serialize.h>

Model::Model(QObject* parent) : QObject(parent) {}

Model::~Model()
{
    std::free(m_detectorBuffer);
}

void Model::init()
{
    qDebug() << "Model::init()";
    drawTexts();
    m_detectorBuffer = std::malloc(0x20000);
    if (!m_detectorBuffer) {
        qDebug() << "Model::init low memory for face detection";
        return;
    }
    const QString path = QCoreApplication::applicationDirPath() + "/data.dat";
    try {
        dlib::deserialize(path.toStdString()) >> m_landmarks;
        if (m_landmarks.num_parts() != 4)
            throw dlib::serialization_error("the model does not have four points");
    } catch (const std::exception& e) {
        qDebug() << "Model::init" << QString("Unable to read file data.dat.") + QString::fromLocal8Bit(e.what());
        std::free(m_detectorBuffer);
        m_detectorBuffer = nullptr;
        return;
    }
    emit modelInitialized();
}

void Model::drawTexts() {}

void Model::startTraining()
{
    qDebug() << "Model::startTraining()";
    if (!m_detectorBuffer)
        emit errorOccurred(LOW_MEMORY_OR_MISSING_MODEL);
}

void Model::startBlinkMeasurement()
{
    if (!m_detectorBuffer)
        emit errorOccurred(LOW_MEMORY_OR_MISSING_MODEL);
}

void Model::startLivePreview()
{
    qDebug() << "Model: startLivePreview() ";
    if (!m_detectorBuffer)
        emit errorOccurred(LOW_MEMORY_OR_MISSING_MODEL);
}

void Model::stop()
{
    qDebug() << "Model::stop()";
    QMutexLocker lock(&m_mutex);
    if (!m_isEnd) {
        emit stopped();
        qDebug() << "Model::stop() emit stopped();";
    }
}

void Model::setCameraID(int id)
{
    qDebug() << "Model::setCameraID" << id << m_cameraId;
    m_cameraId = id;
}

void Model::quit()
{
    qDebug() << "Model::quit() m_isEnd=true; thread" << QThread::currentThreadId();
    m_isEnd = true;
    qDebug() << "Model::quit() emitting finish thread" << QThread::currentThreadId();
    emit finished();
}
