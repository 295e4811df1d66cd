#include "core/model.h"

// Placeholder until the face detector lands.
cv::Rect* Model::detectBestNearestFace2(const cv::Mat&, cv::Rect*, float*, float*, int*, float*, float*,
                                        int*)
{
    return nullptr;
}

void Model::deleteFacePointers()
{
    delete m_currentFace;
    m_currentFace = nullptr;
    delete m_previousFace;
    m_previousFace = nullptr;
}
