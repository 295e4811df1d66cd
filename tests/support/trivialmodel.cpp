#include "tests/support/trivialmodel.h"

#include <dlib/image_processing/shape_predictor.h>
#include <dlib/serialize.h>

bool writeTrivialLandmarkModel(const QString& path, int points)
{
    dlib::matrix<float, 0, 1> mean(points * 2);
    for (int i = 0; i < points; ++i) {
        mean(2 * i) = 0.2f + 0.6f * float(i) / float(points > 1 ? points - 1 : 1);
        mean(2 * i + 1) = 0.4f;
    }
    dlib::shape_predictor sp(mean, {}, {});
    try {
        dlib::serialize(path.toStdString()) << sp;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}
