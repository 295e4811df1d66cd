#pragma once
// Reading the eye-landmark model. dlib's reader trusts the file: a damaged
// size makes it allocate without bound, a damaged tree or anchor index makes
// the prediction read out of bounds. So the bytes are checked whole first.

#include <dlib/image_processing/shape_predictor.h>
#include <string>

namespace landmarkmodel {

// Checks a serialised shape predictor with the given number of points:
// the format is whole with nothing after it, every size agrees with the
// bytes that follow, every cascade has as many anchors as offsets, every
// anchor names a point, every split names a feature pixel of its cascade,
// every tree is complete with one leaf more than it has splits, every
// shape vector has two values a point, and every value is finite and of a
// magnitude a trained model has. Returns an empty text when sound, else the
// first fault found.
std::string check(const std::string& bytes, unsigned long points);

// Reads the file into model after check(). Returns an empty text on
// success; otherwise the reason, and model is left empty.
std::string load(const std::string& path, unsigned long points, dlib::shape_predictor& model);

}  // namespace landmarkmodel
