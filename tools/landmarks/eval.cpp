// Measures a landmark model on the held-out people (or on synthetic faces):
// median and 90th-percentile corner error as a fraction of the distance
// between the eye centres, and the time per prediction.
//
//   landmarks-eval --model data.dat --labels DIR --sources DIR --holdout FILE [--box detector]
//
// With the labels' teacher boxes (default), each face is measured with
// --boxes jittered boxes; with "--box detector", once with the box the
// program's own face detector gave (faces it missed are left out).
//   landmarks-eval --model data.dat --synthetic N

#include <cstdio>
#include <iostream>
#include <random>

#include <dlib/serialize.h>

#include "tools/landmarks/landmarks.h"
#include "tools/landmarks/options.h"

using namespace landmarks;

int main(int argc, char** argv)
{
    const Options opt(argc, argv, {"each"});
    const std::string box = opt.str("box", "teacher");
    if (opt.bad() || !opt.has("model") || (!opt.has("synthetic") && !opt.has("labels")) ||
        (box != "teacher" && box != "detector")) {
        std::cerr << "usage: landmarks-eval --model FILE (--synthetic N | --labels DIR --sources DIR "
                     "--holdout FILE [--box teacher|detector] [--boxes N]) [--seed N] [--each]\n";
        return 2;
    }
    dlib::shape_predictor model;
    try {
        dlib::deserialize(opt.str("model")) >> model;
    } catch (const std::exception& e) {
        std::cerr << "cannot read " << opt.str("model") << ": " << e.what() << "\n";
        return 1;
    }
    if (model.num_parts() != 4) {
        std::cerr << "model has " << model.num_parts() << " points, expected 4\n";
        return 1;
    }
    const uint32_t seed = uint32_t(opt.num("seed", 7));
    std::vector<Sample> test;
    if (opt.has("synthetic")) {
        std::mt19937 rng(seed + 1000003);
        for (int i = 0, n = int(opt.num("synthetic", 0)); i < n; ++i)
            test.push_back(drawSyntheticFace(rng));
    } else {
        const auto holdout = readHoldout(opt.str("holdout"));
        std::vector<FaceLabel> held;
        for (const auto& l : readLabelFolder(opt.str("labels")))
            if (isHeldOut(l, holdout))
                held.push_back(l);
        if (box == "detector")
            test = makeDetectorTestSet(opt.str("sources"), held);
        else
            test = makeTestSet(opt.str("sources"), held, seed, int(opt.num("boxes", 5)));
    }
    if (test.empty()) {
        std::cerr << "no test faces\n";
        return 1;
    }
    const Accuracy a = evaluate(model, test);
    if (opt.has("each"))
        for (size_t i = 0; i < a.worstPerFace.size(); ++i)
            std::printf("face %zu worst %.4f\n", i, a.worstPerFace[i]);
    std::printf("samples %zu\nmedian %.4f\np90 %.4f\nmean %.4f\nmicroseconds-per-prediction %.1f\n",
                a.faces, a.median, a.p90, a.mean, a.microsPerPrediction);
    return 0;
}
