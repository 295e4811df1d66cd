// The layer table, the filters built from the built-in weights, and the
// network from the image to the raw head outputs.

#include <atomic>
#include <mutex>

#include "core/facedetection/facedetectcnn.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the weight file's int32 biases are read in place");

namespace facedetect {

namespace {

// Destroyed at exit in reverse order, layer 23 first.
Filters g_pFilters[kFaceLayerCount];
std::atomic<bool> param_initialized{false};

struct MapHeads
{
    int step;
    int numSizes;
    float sizes[3];
};
constexpr MapHeads kMaps[4] = {{8, 3, {10, 16, 24}}, {16, 2, {32, 48}}, {32, 2, {64, 96}}, {64, 3, {128, 192, 256}}};

// The box and score heads of a map (one pass over it) -> flattened float vectors.
bool headVectors(TensorBlob<unsigned char>* map, Filters* box, Filters* score, TensorBlob<float>* boxOut,
                 TensorBlob<float>* scoreOut)
{
    TensorBlob<int> rawBox, rawScore, flat;
    return convolutionPair(map, box, score, &rawBox, &rawScore) && blob2vector(&rawBox, &flat)
           && convertInt2Float(&flat, boxOut) && blob2vector(&rawScore, &flat) && convertInt2Float(&flat, scoreOut);
}

} // namespace

bool buildLayerTable(const unsigned char* weightFile, std::size_t size, ConvLayerInfo table[kFaceLayerCount])
{
    FaceLayerWeights layers[kFaceLayerCount];
    const char* error = "";
    if (!parseFaceWeights(weightFile, size, layers, &error)) {
        std::cerr << "init_parameters: " << error << std::endl;
        return false;
    }
    for (int n = 0; n < kFaceLayerCount; ++n) {
        const FaceLayerShape& sh = kFaceLayerShapes[n];
        table[n] = ConvLayerInfo{sh.kernel / 2,
                                 n == 0 ? 2 : 1,
                                 sh.kernel,
                                 sh.in,
                                 sh.out,
                                 layers[n].scale,
                                 layers[n].weights,
                                 reinterpret_cast<const int32_t*>(layers[n].biases)};
    }
    return true;
}

bool buildFilters(const ConvLayerInfo table[kFaceLayerCount], Filters filters[kFaceLayerCount])
{
    for (int n = 0; n < kFaceLayerCount; ++n) {
        const ConvLayerInfo& info = table[n];
        Filters& layer = filters[n];
        layer.clear();
        layer.scale = info.scale;
        const int k = info.kernel_size;
        const int perFilter = k * k * info.channels;
        // The first layer (3x3, stride 2 over the image) becomes a 1x1 layer
        // over the 27-channel packed image.
        const bool packed = n == 0;
        layer.pad = packed ? 0 : info.pad;
        layer.stride = packed ? 1 : info.stride;
        for (int f = 0; f < info.num; ++f) {
            auto* blob = new TensorBlob<signed char>(k, k, info.channels);
            layer.filters.push_back(blob);
            if (!setFilterData(blob, info.weight_data ? info.weight_data + std::size_t(f) * perFilter : nullptr,
                               info.bias ? info.bias[f] : 0, k, k, info.channels))
                return false;
            if (packed) {
                auto* flat = new TensorBlob<signed char>;
                const bool ok = blob2vector(blob, flat);
                layer.filters.back() = flat;
                delete blob;
                if (!ok)
                    return false;
            }
        }
        layer.prepare(kernelPath());
    }
    // The heads of each map run as one pass (convolutionPair); joined here,
    // so that detections on several threads only read the filters.
    for (int m = 0; m < 4; ++m)
        filters[16 + 2 * m].joinWith(filters[17 + 2 * m]);
    return true;
}

void init_parameters()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ConvLayerInfo table[kFaceLayerCount];
        if (buildLayerTable(embeddedFaceWeights(), embeddedFaceWeightsSize(), table))
            buildFilters(table, g_pFilters);
        param_initialized = true;
    });
}

bool runNetwork(Filters f[kFaceLayerCount], const unsigned char* image, int width, int height, int step,
                NetworkOutput* out)
{
    TensorBlob<unsigned char> packed, a, b, pool, maps[4];
    bool ok = packImage3x3S2P1(&packed, image, width, height, 3, step)
              && convolution_relu(&packed, &f[0], &a) && convolution_relu(&a, &f[1], &b)
              && maxpooling2x2S2(&b, &pool) && convolution_relu(&pool, &f[2], &a)
              && convolution_relu(&a, &f[3], &b) && maxpooling2x2S2(&b, &pool)
              && convolution_relu(&pool, &f[4], &a) && convolution_relu(&a, &f[5], &b)
              && convolution_relu(&b, &f[6], &maps[0]);
    for (int m = 1; ok && m < 4; ++m) {
        const int l = 4 + 3 * m;
        ok = maxpooling2x2S2(&maps[m - 1], &pool) && convolution_relu(&pool, &f[l], &a)
             && convolution_relu(&a, &f[l + 1], &b) && convolution_relu(&b, &f[l + 2], &maps[m]);
    }
    if (!ok)
        return false;
    TensorBlob<float> boxes[4], scores[4], priors[4];
    for (int m = 0; m < 4; ++m) {
        TensorBlob<float> prior;
        if (!headVectors(&maps[m], &f[16 + 2 * m], &f[17 + 2 * m], &boxes[m], &scores[m])
            || !priorbox(&maps[m], width, height, kMaps[m].step, kMaps[m].numSizes, kMaps[m].sizes, &prior)
            || !blob2vector(&prior, &priors[m]))
            return false;
    }
    return concat4(&boxes[0], &boxes[1], &boxes[2], &boxes[3], &out->boxes)
           && concat4(&scores[0], &scores[1], &scores[2], &scores[3], &out->scores)
           && concat4(&priors[0], &priors[1], &priors[2], &priors[3], &out->priors);
}

std::vector<DetectedFace> detectFaces(Filters filters[kFaceLayerCount], const unsigned char* image, int width,
                                      int height, int step)
{
    std::vector<DetectedFace> faces;
    NetworkOutput net;
    TensorBlob<float> detections;
    if (!runNetwork(filters, image, width, height, step, &net) || !softmax1vector2class(&net.scores)
        || !detection_output(&net.priors, &net.boxes, &net.scores, 0.3f, 0.5f, 1000, 100, &detections))
        return faces;
    const auto px = [](float v, int size) { return int32_t(v * float(size) + 0.5f); };
    for (int i = 0; i < detections.width; ++i) {
        const float* d = detections.ptr(0, i);
        DetectedFace face;
        face.score = d[0];
        face.x = px(d[1], width);
        face.y = px(d[2], height);
        face.width = px(d[3] - d[1], width);
        face.height = px(d[4] - d[2], height);
        for (int j = 0; j < 5; ++j) {
            face.landmarks[2 * j] = px(d[5 + 2 * j], width);
            face.landmarks[2 * j + 1] = px(d[6 + 2 * j], height);
        }
        faces.push_back(face);
    }
    return faces;
}

std::vector<DetectedFace> cnn_object_detect(unsigned char* image, int width, int height, int step)
{
    init_parameters();
    return detectFaces(g_pFilters, image, width, height, step);
}

} // namespace facedetect
