// facedetect-weights OUTPUT
//
// Writes a deterministic weight set for the face detector, used until trained
// weights exist. Every layer gets pseudo-random weights, so each kernel runs at
// full cost, but each face-score channel is a copy of its background channel
// with a lower bias: the face logit never exceeds the background logit, so the
// face probability never rises above 0.5 and no face is ever reported.
//
// File format (version 1), all values little-endian, no padding:
//   "LFDW" | uint32 version = 1 | uint32 layer count = 24
//   | 24 x float32 layer scales (layer 0 first)
//   | for each layer 0..23: out*in*k*k x int8 weights, value (f, ch, r, c) at
//     ((f*in + ch)*k + r)*k + c, then out x int32 biases.
// Shapes and the meaning of the values: core/facedetection/faceweights.h.
//
// Regenerate the committed file with
//   build/bin/facedetect-weights core/facedetection/faceweights.bin

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/facedetection/faceweights.h"

namespace {

using facedetect::kFaceLayerCount;
using facedetect::kFaceLayerShapes;

// Layer scales of the stand-in set (the scales the network was designed with).
constexpr float kScales[kFaceLayerCount] = {
    7261.2856f, 70.424286f, 105.35332f, 102.57192f, 213.18736f, 47.982807f, 81.01711f, 908.2749f,
    98.69745f,  41.87217f,  2682.2053f, 104.25732f, 57.795193f, 4739.4106f, 150.19691f, 117.2367f,
    249.8606f,  319.91153f, 329.7901f,  393.91437f, 777.0637f,  707.6996f,  1242.7036f, 845.6f};

struct SplitMix64
{
    uint64_t state;
    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi].
    int range(int lo, int hi) { return lo + int(next() % uint64_t(hi - lo + 1)); }
};

void putU32(std::vector<unsigned char>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back((unsigned char)(v >> (8 * i)));
}

bool isScoreHead(int layer)
{
    return layer >= 16 && layer % 2 == 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    std::vector<unsigned char> file;
    file.reserve(facedetect::kFaceWeightsFileSize);
    file.insert(file.end(), {'L', 'F', 'D', 'W'});
    putU32(file, 1);
    putU32(file, kFaceLayerCount);
    for (float s : kScales) {
        uint32_t bits;
        std::memcpy(&bits, &s, 4);
        putU32(file, bits);
    }

    SplitMix64 rng{0x4C756D6F72614644ull};
    for (int n = 0; n < kFaceLayerCount; ++n) {
        const auto& sh = kFaceLayerShapes[n];
        const int perFilter = sh.in * sh.kernel * sh.kernel;
        std::vector<signed char> w(size_t(sh.out) * perFilter);
        std::vector<int32_t> b(sh.out);
        for (int f = 0; f < sh.out; ++f) {
            signed char* wf = &w[size_t(f) * perFilter];
            if (isScoreHead(n) && f % 2 == 1) {
                // Face channel: the background channel's weights, a lower bias.
                std::memcpy(wf, wf - perFilter, perFilter);
                b[f] = b[f - 1] - 1000;
                continue;
            }
            for (int i = 0; i < perFilter; ++i)
                wf[i] = (signed char)rng.range(-127, 127);
            b[f] = rng.range(-4096, 4096);
        }
        file.insert(file.end(), (const unsigned char*)w.data(), (const unsigned char*)w.data() + w.size());
        for (int32_t v : b)
            putU32(file, (uint32_t)v);
    }
    if (file.size() != facedetect::kFaceWeightsFileSize) {
        std::fprintf(stderr, "internal error: %zu bytes instead of %zu\n", file.size(),
                     facedetect::kFaceWeightsFileSize);
        return 1;
    }
    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(file.data(), 1, file.size(), f) != file.size() || std::fclose(f) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
