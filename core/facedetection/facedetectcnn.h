#pragma once
// The built-in face detector: a small quantised CNN (8-bit activations and
// weights, 32-bit accumulation, one float scale per tensor), its decoding into
// face boxes with five landmarks, and the plain result buffer the engine reads.
// Each operation returns a success flag and writes its reason to std::cerr.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/facedetection/facedetectcnn_simd.h"
#include "core/facedetection/faceweights.h"
#include "core/facedetection/tensorblob.h"

namespace facedetect {

enum class KernelPath { Plain, SSE2, AVX2 };

// One convolution layer: one blob per output channel (kernel x kernel x in,
// the filter's integer bias in the blob's bias field).
struct Filters
{
    std::vector<TensorBlob<signed char>*> filters;
    int pad = 0;
    int stride = 1;
    float scale = 1.0f;

    // The weights widened to int16 and laid out for vectors of `wideLanes`
    // filters; built on first use by the thread that runs the layer.
    std::vector<int16_t> wide;
    int wideLanes = 0;
    // The weights as bytes for the AVX2 loops, built like `wide`.
    ByteFilters bytes;
    // This layer's filters followed by another's over the same input, for
    // convolutionPair (joinWith; else built on first use).
    std::unique_ptr<Filters> joined;
    const Filters* joinedWith = nullptr;

    Filters() = default;
    Filters(const Filters&) = delete;
    Filters& operator=(const Filters&) = delete;
    ~Filters() { clear(); }
    void clear();
    void prepareWide(int lanes); // fills `wide` for vectors of `lanes` int32
    void prepare(KernelPath path); // builds the form `path` uses
    void joinWith(const Filters& other); // builds `joined`
};

// One row of the layer table.
struct ConvLayerInfo
{
    int pad;
    int stride;
    int kernel_size;
    int channels;
    int num;
    float scale;
    const signed char* weight_data;
    const int32_t* bias;
};

// The inner loops of the convolutions.
KernelPath bestKernelPath();          // the fastest this CPU runs
KernelPath kernelPath();              // the one in use (the best by default)
void setKernelPath(KernelPath path);  // for benchmarks and tests

// Weights and layer table.
bool buildLayerTable(const unsigned char* weightFile, std::size_t size, ConvLayerInfo table[kFaceLayerCount]);
bool buildFilters(const ConvLayerInfo table[kFaceLayerCount], Filters filters[kFaceLayerCount]);
void init_parameters(); // builds the global filters from the built-in weights, once
bool setFilterData(TensorBlob<signed char>* blob, const signed char* weights, int bias, int width, int height,
                   int channels);

// Operations.
bool packImage3x3S2P1(TensorBlob<unsigned char>* blob, const unsigned char* image, int width, int height,
                      int channels, int step);
bool convolution(TensorBlob<unsigned char>* input, Filters* filters, TensorBlob<int>* output);
// Two layers of equal filter shape over the same input in one pass: the same
// as convolution(input, first, out1) and convolution(input, second, out2).
bool convolutionPair(TensorBlob<unsigned char>* input, Filters* first, Filters* second, TensorBlob<int>* out1,
                     TensorBlob<int>* out2);
bool convolution_relu(TensorBlob<unsigned char>* input, Filters* filters, TensorBlob<unsigned char>* output);
bool maxpooling2x2S2(TensorBlob<unsigned char>* input, TensorBlob<unsigned char>* output);
template <typename T>
bool blob2vector(TensorBlob<T>* input, TensorBlob<T>* output);
bool convertInt2Float(TensorBlob<int>* input, TensorBlob<float>* output);
bool concat4(TensorBlob<float>* a, TensorBlob<float>* b, TensorBlob<float>* c, TensorBlob<float>* d,
             TensorBlob<float>* output);

// Raw outputs of the network for one image: the eight heads, flattened,
// converted to float and joined in map order, with the matching priors.
struct NetworkOutput
{
    TensorBlob<float> boxes;  // 14 values per prior
    TensorBlob<float> scores; // 2 values per prior: background, face
    TensorBlob<float> priors; // 4 values per prior
};
bool runNetwork(Filters filters[kFaceLayerCount], const unsigned char* image, int width, int height, int step,
                NetworkOutput* out);

// Decoding.
struct NormalizedBBox_
{
    float xmin, ymin, xmax, ymax;
    float lm[10];
};

bool priorbox(TensorBlob<unsigned char>* featureMap, int imageWidth, int imageHeight, int step, int numSizes,
              const float* sizes, TensorBlob<float>* output);
bool softmax1vector2class(TensorBlob<float>* blob);
void IntersectBBox(const NormalizedBBox_& a, const NormalizedBBox_& b, NormalizedBBox_* out);
float JaccardOverlap(const NormalizedBBox_& a, const NormalizedBBox_& b);
bool SortScoreBBoxPairDescend(const std::pair<float, NormalizedBBox_>& a,
                              const std::pair<float, NormalizedBBox_>& b);
// Writes a 15-channel blob, one pixel per detection (width 0 and no data
// when nothing is found).
bool detection_output(TensorBlob<float>* priors, TensorBlob<float>* boxes, TensorBlob<float>* scores,
                      float overlapThreshold, float confidenceThreshold, int topK, int keepTopK,
                      TensorBlob<float>* output);

// A face in pixels of the detector's input image.
struct DetectedFace
{
    float score;
    int32_t x, y, width, height;
    int32_t landmarks[10]; // x, y of five points; 0 and 1 are the eyes, 0 on the image's left
};
static_assert(sizeof(DetectedFace) == 60, "DetectedFace is a 60-byte record");

// Faces in an 8-bit, 3-channel image of the given row step, with given filters.
std::vector<DetectedFace> detectFaces(Filters filters[kFaceLayerCount], const unsigned char* image, int width,
                                      int height, int step);
std::vector<DetectedFace> cnn_object_detect(unsigned char* image, int width, int height, int step);

// The result buffer: int32 count at byte 0, then records of 142 int16 from
// byte 4: confidence (score squared x 100), x, y, width, height, 10 landmark
// values. At most 256 records.
constexpr int kFaceRecordShorts = 142;
constexpr int kMaxFaceRecords = 256;
constexpr int kFaceResultBufferSize = 4 + kMaxFaceRecords * kFaceRecordShorts * 2;
int* cnn_face_detect(unsigned char* resultBuffer, unsigned char* image, int width, int height, int step);
// Fills the result buffer with the first 256 faces; returns it.
int* writeFaceRecords(unsigned char* resultBuffer, const std::vector<DetectedFace>& faces);

} // namespace facedetect
