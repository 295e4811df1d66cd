// Time of one eye-landmark prediction with the committed "data.dat" on the
// committed sample face, as the engine runs it on every fourth frame.

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

#include <dlib/image_processing/shape_predictor.h>
#include <dlib/opencv/cv_image.h>
#include <dlib/serialize.h>
#include <opencv2/imgcodecs.hpp>

namespace {

// The sample's face box from its label file ("box x y width height").
dlib::rectangle sampleBox()
{
    std::ifstream in(LUMORA_SOURCE_DIR "/tests/tools/landmarks/grace_hopper.txt");
    std::string line, key;
    long x = 0, y = 0, w = 0, h = 0;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        if (ls >> key && key == "box")
            ls >> x >> y >> w >> h;
    }
    return dlib::rectangle(x, y, x + w - 1, y + h - 1);
}

void BM_LandmarkPrediction(benchmark::State& state)
{
    dlib::shape_predictor model;
    dlib::deserialize(LUMORA_SOURCE_DIR "/data/data.dat") >> model;
    const cv::Mat grey = cv::imread(LUMORA_SOURCE_DIR "/tests/tools/landmarks/grace_hopper.jpg",
                                    cv::IMREAD_GRAYSCALE);
    if (grey.empty() || model.num_parts() != 4) {
        state.SkipWithError("model or sample face missing");
        return;
    }
    const dlib::cv_image<unsigned char> img(grey);
    const dlib::rectangle box = sampleBox();
    for (auto _ : state) {
        dlib::full_object_detection shape = model(img, box);
        benchmark::DoNotOptimize(shape);
    }
}
BENCHMARK(BM_LandmarkPrediction)->Unit(benchmark::kMicrosecond);

}  // namespace
