// Trains the four-point eye-landmark model "data.dat".
//
//   landmarks-train --synthetic N --out data.dat
//       trains on N synthetic faces drawn by the tool itself (no photos needed)
//   landmarks-train --labels DIR --sources DIR --holdout FILE --out data.dat
//       trains on the labelled photos, leaving out the held-out people

#include <chrono>
#include <iostream>
#include <random>

#include <dlib/serialize.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "tools/landmarks/landmarks.h"
#include "tools/landmarks/options.h"

using namespace landmarks;

int main(int argc, char** argv)
{
    Options opt(argc, argv, {"quiet"});
    if (opt.has("params") && !opt.addDefaultsFrom(opt.str("params"))) {
        std::cerr << "cannot read " << opt.str("params") << "\n";
        return 2;
    }
    if (opt.bad() || !opt.has("out") || (!opt.has("synthetic") && !opt.has("labels"))) {
        std::cerr << "usage: landmarks-train (--synthetic N | --labels DIR --sources DIR "
                     "[--holdout FILE] [--per-face N] [--per-frame N])\n"
                     "       [--cascade N] [--depth N] [--trees N] [--oversampling N] [--nu X]\n"
                     "       [--pool N] [--splits N] [--threads N] [--seed N] [--params FILE] [--quiet] [--dump SHEET.png] --out FILE\n";
        return 2;
    }
    TrainParams p = trainParamsFrom(opt);
    p.verbose = !opt.has("quiet");
    const uint32_t seed = uint32_t(opt.num("seed", 1));

    const auto t0 = std::chrono::steady_clock::now();
    std::vector<Sample> samples;
    if (opt.has("synthetic")) {
        std::mt19937 rng(seed);
        const int n = int(opt.num("synthetic", 0));
        for (int i = 0; i < n; ++i)
            samples.push_back(drawSyntheticFace(rng));
    } else {
        std::vector<FaceLabel> labels;
        const auto holdout = readHoldout(opt.str("holdout"));
        for (const auto& l : readLabelFolder(opt.str("labels")))
            if (!isHeldOut(l, holdout))
                labels.push_back(l);
        samples = makeTrainingSet(opt.str("sources"), labels, trainingSetFrom(opt));
        std::cout << "training faces: " << labels.size() << "\n";
    }
    if (samples.empty()) {
        std::cerr << "no training samples\n";
        return 1;
    }
    std::cout << "training samples: " << samples.size() << "\n";
    if (opt.has("dump")) {
        // A sheet of samples with box and points drawn, to look at the augmentation.
        const int tile = 160, cols = 6, rows = 4;
        cv::Mat sheet(rows * tile, cols * tile, CV_8UC3, cv::Scalar(0, 0, 0));
        const size_t step = std::max<size_t>(1, samples.size() / (rows * cols));
        for (int k = 0; k < rows * cols && size_t(k) * step < samples.size(); ++k) {
            const Sample& s = samples[size_t(k) * step];
            cv::Mat c;
            cv::cvtColor(s.grey, c, cv::COLOR_GRAY2BGR);
            cv::rectangle(c, s.box, cv::Scalar(0, 255, 0));
            for (int i = 0; i < 4; ++i)
                cv::circle(c, s.points[i], 2, i < 2 ? cv::Scalar(0, 0, 255) : cv::Scalar(255, 0, 0), -1);
            cv::resize(c, c, cv::Size(tile, tile));
            c.copyTo(sheet(cv::Rect((k % cols) * tile, (k / cols) * tile, tile, tile)));
        }
        cv::imwrite(opt.str("dump"), sheet);
    }
    const dlib::shape_predictor model = train(samples, p);
    dlib::serialize(opt.str("out")) << model;
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::cout << "wrote " << opt.str("out") << " (" << model.num_parts() << " points) in "
              << secs << " s\n";
    return 0;
}
