#pragma once
#include <QString>

// Writes a valid dlib shape predictor with the given number of points and no
// regression trees (it always answers the mean shape), so tests can start
// the engine without the trained model.
bool writeTrivialLandmarkModel(const QString& path, int points = 4);
