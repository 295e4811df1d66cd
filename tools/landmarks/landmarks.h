#pragma once
// Shared pieces of the eye-landmark tools: the label files, the point order,
// the augmentation that turns one labelled face into many training samples,
// the synthetic face drawer, training and the held-out error measure.
//
// The model has four points, ordered from the image's left to its right:
// 0 and 1 are the corners of the eye on the image's left (0 the outer one),
// 2 and 3 those of the eye on the image's right (3 the outer one).

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <dlib/array.h>
#include <dlib/array2d.h>
#include <dlib/image_processing/shape_predictor.h>
#include <opencv2/core.hpp>

namespace landmarks {

using Points = std::array<cv::Point2f, 4>;

// One labelled face of one source image (or of one frame of a clip).
struct FaceLabel
{
    std::string source;  // path below the sources folder, e.g. "dlib/faces/x.jpg"
    int frame = -1;      // frame index for clips, -1 for still images
    std::string person;  // people with the same id are held out together
    cv::Rect box;        // the teacher's face detector box
    cv::Rect detectorBox;  // the program's own detector's box, empty when it missed the face
    Points points;       // eye corners, left to right
    float openness = 0;  // mean eye height / eye width of the teacher's shape
};

// Text form of a label file: one "key value..." line per field.
std::string formatLabel(const FaceLabel& label);
// Parses a label file's text; false (with label untouched) on malformed text.
bool parseLabel(const std::string& text, FaceLabel* label);
bool readLabelFile(const std::string& path, FaceLabel* label);
// Every "*.txt" label of a folder, sorted by file name. Malformed files are
// reported on stderr and skipped.
std::vector<FaceLabel> readLabelFolder(const std::string& folder);

// Puts four eye corners into the model's order (left to right by x).
Points orderLeftToRight(Points p);
// Mirrors points of an image of the given width and keeps the model's order.
Points mirrorPoints(const Points& p, int imageWidth);

// Distance between the two eye centres.
float eyeDistance(const Points& p);

// A training or test sample: a grey image, the box the engine would pass and
// the true points in that image's pixels.
struct Sample
{
    cv::Mat grey;  // CV_8UC1
    cv::Rect box;
    Points points;
};

struct AugmentOptions
{
    double maxRotationDeg = 18;
    double minBoxWidth = 70, maxBoxWidth = 260;  // face box width after scaling
    // Relative change of the box size: detector boxes tend to be larger
    // than the teacher's, so growing goes further than shrinking.
    double boxShrink = 0.10, boxGrow = 0.30;
    double boxShiftJitter = 0.10;                // shift, fraction of the box width
    double boxAspectJitter = 0.12;               // relative change of the box height
    // Jitter around the program's own detector box, for labels that have
    // one: only its wobble from frame to frame.
    double detectorSizeJitter = 0.06;
    double detectorShiftJitter = 0.04;
    double detectorAspectJitter = 0.04;
    bool mirror = true;
    double maxBlurSigma = 1.6;
    double maxNoiseSigma = 8;
    int minJpegQuality = 25;
};

// Makes one randomly changed copy of a labelled face: rotation about the
// face, scale, mirroring (with the point order kept), brightness and
// contrast, blur, noise and JPEG loss; the box is the detector's box of the
// label (or, where the detector missed the face, the teacher's box) moved
// with the face and jittered. The result is
// cropped around the face to keep memory small.
Sample augment(const cv::Mat& grey, const FaceLabel& label, std::mt19937& rng,
               const AugmentOptions& options);

// A synthetic face drawn from primitives (face oval, eyes with lids and
// iris, brows, nose, mouth) at a random pose, openness and look, with its
// box placed like the face detector's. Lets any machine make a working
// model without source photos.
Sample drawSyntheticFace(std::mt19937& rng);

// Box of the teacher's detector relative to the eye centres, used to place
// synthetic boxes: width in eye distances, and the offset of the box centre
// from the eyes' midpoint (in eye distances, y downwards).
struct BoxShape
{
    double widthPerEyeDistance = 2.44;
    double centreDy = 0.49;
};

struct TrainParams
{
    unsigned long cascadeDepth = 12;
    unsigned long treeDepth = 4;
    unsigned long treesPerLevel = 400;
    unsigned long oversampling = 8;
    double nu = 0.1;
    unsigned long featurePoolSize = 400;
    unsigned long testSplits = 30;
    double lambda = 0.1;
    unsigned long threads = 4;
    bool verbose = true;
};

// Training set: every label not held out, augmented. Still photos give
// perFace samples each; frames of clips, which come many to a person, give
// perFrame; faces with nearly closed eyes give three times as many.
struct TrainingSetOptions
{
    int perFace = 60;
    int perFrame = 6;
    float closedBelow = 0.18f;  // openness under which eyes count as nearly closed
    uint32_t seed = 1;
    bool detectorBoxes = true;  // false: teacher boxes with wide jitter only
    AugmentOptions augment;
};

std::vector<Sample> makeTrainingSet(const std::string& sourcesFolder,
                                    const std::vector<FaceLabel>& labels,
                                    const TrainingSetOptions& options);

class Options;
// Training settings from options named like the trainer's command line
// ("cascade", "depth", "trees", "oversampling", "nu", "pool", "splits",
// "threads", "per-face", "per-frame", "seed", "detector-boxes" (0 or 1), "detector-size-jitter",
// "detector-shift-jitter", "detector-aspect-jitter"); missing ones keep defaults.
TrainParams trainParamsFrom(const Options& options);
TrainingSetOptions trainingSetFrom(const Options& options);

dlib::shape_predictor train(const std::vector<Sample>& samples, const TrainParams& params);

// Predicts the four points of the face in the box.
Points predict(const dlib::shape_predictor& model, const dlib::array2d<unsigned char>& image,
               const cv::Rect& box);

// Corner errors over a test set, each as a fraction of the true distance
// between the eye centres.
struct Accuracy
{
    size_t faces = 0;
    double median = 0;
    double p90 = 0;
    double mean = 0;
    double microsPerPrediction = 0;
    std::vector<double> worstPerFace;  // each sample's largest corner error, in order
};

Accuracy evaluate(const dlib::shape_predictor& model, const std::vector<Sample>& samples);

// Percentile (0..1) of values by linear interpolation; 0 for an empty set.
double percentile(std::vector<double> values, double q);

// Loads a labelled face's image (a still image or a clip's frame) as grey.
cv::Mat loadSource(const std::string& sourcesFolder, const FaceLabel& label);

// Loads a labelled face's image in colour (BGR), as the face detector sees it.
cv::Mat loadSourceColour(const std::string& sourcesFolder, const FaceLabel& label);

// Evaluation set: the held-out faces, unaltered, each with boxesPerFace
// detector-like boxes (the teacher's box with the training jitter, from a
// fixed seed).
std::vector<Sample> makeTestSet(const std::string& sourcesFolder,
                                const std::vector<FaceLabel>& labels, uint32_t seed,
                                int boxesPerFace = 5);
// Evaluation set with the boxes the engine really passes: each held-out face
// the program's detector found, once, with the detector's box as it is.
std::vector<Sample> makeDetectorTestSet(const std::string& sourcesFolder,
                                        const std::vector<FaceLabel>& labels);

// Intersection over union of two boxes (0 when either is empty).
double iou(const cv::Rect& a, const cv::Rect& b);

// Persons listed in a hold-out file (one id a line, '#' comments).
std::vector<std::string> readHoldout(const std::string& path);
bool isHeldOut(const FaceLabel& label, const std::vector<std::string>& holdout);

cv::Mat toCv(const dlib::array2d<unsigned char>& img);
void toDlib(const cv::Mat& grey, dlib::array2d<unsigned char>* out);

}  // namespace landmarks
