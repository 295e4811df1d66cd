// The network's operations against direct reference computations, on every
// kernel path the CPU has.

#include <QtTest>

#include <climits>
#include <random>
#include <sstream>

#include "core/facedetection/facedetectcnn.h"

using namespace facedetect;

namespace {

std::mt19937 rng(7);

int randomInt(int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

void fillRandom(TensorBlob<unsigned char>& b)
{
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            for (int c = 0; c < b.channels; ++c)
                b.at(y, x, c) = (unsigned char)randomInt(0, 255);
}

// Filters of kernel k over `in` channels with random weights in the full
// int8 range and the given biases.
void makeFilters(Filters& f, int count, int k, int in, int pad, int stride, float scale, int biasLo, int biasHi)
{
    f.clear();
    f.pad = pad;
    f.stride = stride;
    f.scale = scale;
    for (int n = 0; n < count; ++n) {
        std::vector<signed char> w(k * k * in);
        for (auto& v : w)
            v = (signed char)randomInt(-128, 127);
        auto* blob = new TensorBlob<signed char>(k, k, in);
        QVERIFY(setFilterData(blob, w.data(), randomInt(biasLo, biasHi), k, k, in));
        f.filters.push_back(blob);
    }
}

// Direct convolution with padding, in 64 bits, saturated.
int referenceValue(const TensorBlob<unsigned char>& in, const Filters& f, int n, int y, int x)
{
    const TensorBlob<signed char>& w = *f.filters[n];
    int64_t sum = int64_t(w.bias) * in.bias;
    for (int r = 0; r < w.height; ++r)
        for (int c = 0; c < w.width; ++c) {
            const int iy = y * f.stride + r - f.pad;
            const int ix = x * f.stride + c - f.pad;
            if (iy < 0 || ix < 0 || iy >= in.height || ix >= in.width)
                continue;
            for (int ch = 0; ch < in.channels; ++ch)
                sum += int64_t(w.at(r, c, ch)) * in.at(iy, ix, ch);
        }
    return int(std::clamp<int64_t>(sum, INT_MIN, INT_MAX));
}

QList<KernelPath> availablePaths()
{
    QList<KernelPath> paths{KernelPath::Plain, KernelPath::SSE2};
    if (bestKernelPath() == KernelPath::AVX2)
        paths << KernelPath::AVX2;
    return paths;
}

// convolution() on every path gives the direct values.
void matchesReferenceOnEveryPath(TensorBlob<unsigned char>& in, Filters& f)
{
    for (KernelPath path : availablePaths()) {
        setKernelPath(path);
        TensorBlob<int> out;
        QVERIFY(convolution(&in, &f, &out));
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x)
                for (int n = 0; n < out.channels; ++n)
                    QCOMPARE(out.at(y, x, n), referenceValue(in, f, n, y, x));
    }
}

// Captures what the operations write to std::cerr.
struct CerrCapture
{
    std::ostringstream text;
    std::streambuf* old;
    CerrCapture() : old(std::cerr.rdbuf(text.rdbuf())) {}
    ~CerrCapture() { std::cerr.rdbuf(old); }
};

} // namespace

class TestFaceDetectKernels : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { setKernelPath(bestKernelPath()); }

    void blobsAndAllocation()
    {
        for (std::size_t size : {std::size_t(1), std::size_t(100), std::size_t(4096), std::size_t(100000)}) {
            void* p = alignedAlloc(size);
            QVERIFY(p);
            QCOMPARE(reinterpret_cast<std::uintptr_t>(p) % 128, std::uintptr_t(0));
            std::memset(p, 0xAB, size);
            alignedFree(p);
        }
        alignedFree(nullptr);
        void* p = alignedAlloc(256);
        alignedFree(static_cast<char*>(p) + 1); // not aligned: ignored
        alignedFree(p);

        TensorBlob<unsigned char> u(3, 2, 27);
        QCOMPARE(u.channelStep, 32);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                for (int c = 27; c < 32; ++c)
                    QCOMPARE(int(u.ptr(y, x)[c]), 0);
        TensorBlob<int> i(2, 2, 6);
        QCOMPARE(i.channelStep, 32);
        TensorBlob<float> f(1, 1, 4);
        QCOMPARE(f.channelStep, 16);
        QCOMPARE(f.scale, 1.0f);
        f.scale = 3;
        f.bias = 4;
        QVERIFY(f.create(2, 2, 2));
        QCOMPARE(f.scale, 1.0f);
        QCOMPARE(f.bias, 0);

        CerrCapture cap;
        TensorBlob<unsigned char> bad;
        QVERIFY(!bad.create(0, 5, 3));
        QVERIFY(!bad.data);
        QCOMPARE(QString::fromStdString(cap.text.str()),
                 QString("Failed to alloc memeory for uint8 data blob: 0*5*3\n"));
    }

    void convolutionMatchesReference_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("filters");
        QTest::addColumn<int>("kernel");
        QTest::addColumn<int>("stride");
        QTest::newRow("1x1 single pixel") << 1 << 1 << 16 << 4 << 1 << 1;
        QTest::newRow("1x1 odd channels") << 5 << 3 << 35 << 7 << 1 << 1;
        QTest::newRow("1x1 packed image") << 9 << 4 << 27 << 32 << 1 << 1;
        QTest::newRow("3x3 s1 small") << 1 << 1 << 16 << 5 << 3 << 1;
        QTest::newRow("3x3 s1") << 7 << 5 << 16 << 9 << 3 << 1;
        QTest::newRow("3x3 s1 wide") << 6 << 4 << 64 << 12 << 3 << 1;
        QTest::newRow("3x3 s1 odd channels") << 4 << 3 << 3 << 6 << 3 << 1;
        QTest::newRow("3x3 s2") << 7 << 5 << 32 << 6 << 3 << 2;
        QTest::newRow("3x3 s2 even") << 8 << 6 << 16 << 4 << 3 << 2;
        // Filter counts of three groups and a part of one, pixel counts of
        // 18 and 19 (runs of pixels across rows with two and three left over).
        QTest::newRow("3x3 s1 three groups") << 6 << 3 << 20 << 19 << 3 << 1;
        QTest::newRow("1x1 head shape") << 19 << 1 << 48 << 42 << 1 << 1;
        QTest::newRow("3x3 s2 odd") << 5 << 7 << 13 << 17 << 3 << 2;
    }

    void convolutionMatchesReference()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, channels);
        QFETCH(int, filters);
        QFETCH(int, kernel);
        QFETCH(int, stride);
        TensorBlob<unsigned char> in(width, height, channels);
        fillRandom(in);
        in.scale = 3.5f;
        in.bias = 4;
        Filters f;
        makeFilters(f, filters, kernel, channels, kernel / 2, stride, 20.25f, -5000, 5000);
        const int outW = stride == 2 ? (width + 1) / 2 : width;
        const int outH = stride == 2 ? (height + 1) / 2 : height;
        for (KernelPath path : availablePaths()) {
            setKernelPath(path);
            TensorBlob<int> out;
            QVERIFY(convolution(&in, &f, &out));
            QCOMPARE(out.width, outW);
            QCOMPARE(out.height, outH);
            QCOMPARE(out.channels, filters);
            QCOMPARE(out.scale, 3.5f * 20.25f);
            QCOMPARE(out.bias, 71); // roundf(70.875)
            for (int y = 0; y < outH; ++y)
                for (int x = 0; x < outW; ++x)
                    for (int n = 0; n < filters; ++n)
                        QCOMPARE(out.at(y, x, n), referenceValue(in, f, n, y, x));
        }
    }

    // Pairs of neighbouring weights whose products with two inputs of 255
    // just fit int16 (sums of 128 and -128 in size), next to one pair just
    // past it, in every position of a group of 8 filters and both kernels.
    void weightPairsAtTheInt16Limit()
    {
        const signed char fitting[][2] = {{64, 64}, {-64, -64}, {127, -128}, {-128, 127}, {1, 127}, {-1, -127}};
        const signed char past[][2] = {{65, 64}, {-64, -65}, {127, 2}, {-128, -1}};
        TensorBlob<unsigned char> in(3, 2, 8);
        std::memset(in.data, 255, std::size_t(in.width) * in.height * in.channelStep);
        in.bias = 1;
        for (int k : {1, 3})
            for (int odd = 0; odd < 16; ++odd) {
                Filters f;
                makeFilters(f, 9, k, 8, k / 2, 1, 1.0f, -100, 100);
                for (int n = 0; n < 9; ++n)
                    for (int t = 0; t < k * k; ++t)
                        for (int q = 0; q < 4; ++q) {
                            const bool isPast = n == odd % 8 && q == odd / 4 && t == k * k / 2;
                            const signed char* pair = isPast ? past[odd % 4] : fitting[(n + t + q) % 6];
                            f.filters[n]->at(t / k, t % k, 2 * q) = pair[0];
                            f.filters[n]->at(t / k, t % k, 2 * q + 1) = pair[1];
                        }
                matchesReferenceOnEveryPath(in, f);
                if (QTest::currentTestFailed())
                    return;
            }
    }

    // Weights whose stored neighbours overflow int16 together while channels
    // 8 apart do not (large, of opposite signs): the AVX2 loops read the
    // channels in another order. Odd channel counts leave padding positions.
    void reorderedChannels()
    {
        for (int k : {1, 3})
            for (int channels : {27, 40}) {
                TensorBlob<unsigned char> in(7, 3, channels);
                fillRandom(in);
                in.bias = 2;
                Filters f;
                makeFilters(f, 11, k, channels, k / 2, 1, 1.0f, -500, 500);
                for (auto* b : f.filters)
                    for (int r = 0; r < k; ++r)
                        for (int c = 0; c < k; ++c)
                            for (int ch = 0; ch < channels; ++ch)
                                b->at(r, c, ch) = (signed char)(ch % 16 < 8 ? randomInt(70, 127) : -randomInt(70, 128));
                ByteFilters bytes;
                prepareByteFilters(f.filters, bytes);
                QVERIFY(!bytes.order.empty());
                matchesReferenceOnEveryPath(in, f);
                if (QTest::currentTestFailed())
                    return;
            }
    }

    // Two layers in one pass give what each gives alone: a group of filters
    // shared by both layers, different scales, a layer of another shape and
    // then another layer of the same shape.
    void pairOfLayers()
    {
        TensorBlob<unsigned char> in(5, 4, 20);
        fillRandom(in);
        in.scale = 1.5f;
        in.bias = 3;
        Filters box, score, other, pointwise;
        makeFilters(box, 11, 3, 20, 1, 1, 7.25f, -3000, 3000);
        makeFilters(score, 6, 3, 20, 1, 1, 2.5f, -3000, 3000);
        makeFilters(other, 6, 3, 20, 1, 1, 3.0f, -3000, 3000);
        makeFilters(pointwise, 5, 1, 20, 0, 1, 4.0f, -3000, 3000);
        for (KernelPath path : availablePaths()) {
            setKernelPath(path);
            for (Filters* second : {&score, &pointwise, &other}) {
                TensorBlob<int> one, two, alone;
                QVERIFY(convolutionPair(&in, &box, second, &one, &two));
                for (auto [f, out] : {std::pair(&box, &one), std::pair(second, &two)}) {
                    QVERIFY(convolution(&in, f, &alone));
                    QCOMPARE(out->channels, alone.channels);
                    QCOMPARE(out->scale, alone.scale);
                    QCOMPARE(out->bias, alone.bias);
                    for (int y = 0; y < in.height; ++y)
                        for (int x = 0; x < in.width; ++x)
                            for (int n = 0; n < alone.channels; ++n)
                                QCOMPARE(out->at(y, x, n), alone.at(y, x, n));
                }
            }
        }
    }

    // The product of filter bias and input bias does not fit 32 bits.
    void biasProductSaturates()
    {
        TensorBlob<unsigned char> in(3, 2, 16);
        fillRandom(in);
        in.bias = 1 << 20;
        Filters f;
        makeFilters(f, 4, 3, 16, 1, 1, 1.0f, 0, 0);
        f.filters[0]->bias = 1 << 12;    // 2^32: saturates high
        f.filters[1]->bias = -(1 << 12); // saturates low
        f.filters[2]->bias = 2047;       // just below 2^31, plus the sums
        f.filters[3]->bias = -3;
        for (KernelPath path : availablePaths()) {
            setKernelPath(path);
            TensorBlob<int> out;
            QVERIFY(convolution(&in, &f, &out));
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x) {
                    QCOMPARE(out.at(y, x, 0), INT_MAX);
                    QCOMPARE(out.at(y, x, 1), INT_MIN);
                    for (int n = 2; n < 4; ++n)
                        QCOMPARE(out.at(y, x, n), referenceValue(in, f, n, y, x));
                }
        }
    }

    // The packed 27-channel image under the first layer as 1x1 equals a 3x3,
    // stride 2, pad 1 convolution of the image itself.
    void packedFirstLayerEqualsStridedConvolution()
    {
        const int w = 7, h = 5, step = w * 3 + 5;
        std::vector<unsigned char> image(step * h);
        for (auto& v : image)
            v = (unsigned char)randomInt(0, 255);
        TensorBlob<unsigned char> packed;
        QVERIFY(packImage3x3S2P1(&packed, image.data(), w, h, 3, step));
        QCOMPARE(packed.width, 4);
        QCOMPARE(packed.height, 3);
        QCOMPARE(packed.channels, 27);
        QCOMPARE(packed.scale, 1.0f);
        QCOMPARE(packed.bias, 1);
        // Right neighbours of the last column (x = 6) lie outside the image.
        for (int dy = 0; dy < 3; ++dy)
            for (int k = 0; k < 3; ++k)
                QCOMPARE(int(packed.at(1, 3, dy * 9 + 2 * 3 + k)), 0);
        QCOMPARE(int(packed.at(1, 3, 1 * 9 + 1 * 3 + 2)), int(image[2 * step + 6 * 3 + 2]));

        // The stored order of layer 0: filter, channel, row, column.
        const int filters = 6;
        std::vector<signed char> weights(filters * 27);
        for (auto& v : weights)
            v = (signed char)randomInt(-128, 127);
        Filters layer;
        for (int n = 0; n < filters; ++n) {
            TensorBlob<signed char> f3(3, 3, 3);
            QVERIFY(setFilterData(&f3, weights.data() + n * 27, 100 * n - 250, 3, 3, 3));
            auto* flat = new TensorBlob<signed char>;
            QVERIFY(blob2vector(&f3, flat));
            QCOMPARE(flat->channels, 27);
            QCOMPARE(flat->bias, 100 * n - 250);
            layer.filters.push_back(flat);
        }
        for (KernelPath path : availablePaths()) {
            setKernelPath(path);
            TensorBlob<int> out;
            QVERIFY(convolution(&packed, &layer, &out));
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x)
                    for (int n = 0; n < filters; ++n) {
                        int sum = 100 * n - 250;
                        for (int ch = 0; ch < 3; ++ch)
                            for (int r = 0; r < 3; ++r)
                                for (int c = 0; c < 3; ++c) {
                                    const int iy = 2 * y + r - 1, ix = 2 * x + c - 1;
                                    if (iy >= 0 && ix >= 0 && iy < h && ix < w)
                                        sum += weights[n * 27 + (ch * 3 + r) * 3 + c] * image[iy * step + ix * 3 + ch];
                                }
                        QCOMPARE(out.at(y, x, n), sum);
                    }
        }
    }

    void reluRequantisation()
    {
        TensorBlob<unsigned char> in(5, 3, 32); // 240 outputs: vectors of 32 and a rest
        fillRandom(in);
        in.scale = 2.0f;
        in.bias = 2;
        Filters f;
        makeFilters(f, 16, 3, 32, 1, 1, 10.0f, -20000, 20000);
        TensorBlob<int> raw;
        QVERIFY(convolution(&in, &f, &raw));
        int maxValue = 0;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                for (int n = 0; n < 16; ++n)
                    maxValue = std::max(maxValue, raw.at(y, x, n));
        QVERIFY(maxValue > 0);
        const float factor = 255.0f / float(maxValue);
        TensorBlob<unsigned char> first;
        for (KernelPath path : availablePaths()) {
            setKernelPath(path);
            TensorBlob<unsigned char> out;
            QVERIFY(convolution_relu(&in, &f, &out));
            QCOMPARE(out.scale, 20.0f * factor);
            QCOMPARE(out.bias, int(std::round(20.0f * factor)));
            int top = 0;
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    for (int n = 0; n < 16; ++n) {
                        const int v = raw.at(y, x, n);
                        const int expected = v <= 0 ? 0 : int(float(v) * factor + 0.499f);
                        QCOMPARE(int(out.at(y, x, n)), expected);
                        top = std::max(top, int(out.at(y, x, n)));
                    }
            QCOMPARE(top, 255);
        }
    }

    // Every output negative: zeros with a finite scale.
    void reluOfAllNegativeIsZeroWithFiniteScale()
    {
        TensorBlob<unsigned char> in(4, 3, 16);
        fillRandom(in);
        in.bias = 1;
        Filters f;
        makeFilters(f, 8, 1, 16, 0, 1, 5.0f, -100000, -90000);
        for (auto* b : f.filters)
            std::memset(b->data, 0x80, b->channelStep); // all weights -128
        for (KernelPath path : availablePaths()) {
            setKernelPath(path);
            TensorBlob<unsigned char> out;
            QVERIFY(convolution_relu(&in, &f, &out));
            QVERIFY(std::isfinite(out.scale) && out.scale > 0);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x)
                    for (int n = 0; n < 8; ++n)
                        QCOMPARE(int(out.at(y, x, n)), 0);
            // The next layer still runs on it.
            Filters next;
            makeFilters(next, 4, 3, 8, 1, 1, 1.0f, -10, 10);
            TensorBlob<int> after;
            QVERIFY(convolution(&out, &next, &after));
        }
    }

    void pooling()
    {
        TensorBlob<unsigned char> in(5, 3, 20);
        fillRandom(in);
        in.scale = 7.0f;
        in.bias = 7;
        TensorBlob<unsigned char> out;
        QVERIFY(maxpooling2x2S2(&in, &out));
        QCOMPARE(out.width, 2); // the last column is dropped
        QCOMPARE(out.height, 1);
        QCOMPARE(out.scale, 7.0f);
        QCOMPARE(out.bias, 7);
        for (int y = 0; y < 1; ++y)
            for (int x = 0; x < 2; ++x)
                for (int c = 0; c < 20; ++c) {
                    int m = 0;
                    for (int yy = 2 * y; yy <= 2 * y + 1; ++yy)
                        for (int xx = 2 * x; xx <= 2 * x + 1; ++xx)
                            m = std::max(m, int(in.at(yy, xx, c)));
                    QCOMPARE(int(out.at(y, x, c)), m);
                }
        TensorBlob<unsigned char> two(2, 2, 3);
        fillRandom(two);
        QVERIFY(maxpooling2x2S2(&two, &out));
        QCOMPARE(out.width, 1);
        QCOMPARE(out.height, 1);

        CerrCapture cap;
        TensorBlob<unsigned char> one(1, 4, 3);
        QVERIFY(!maxpooling2x2S2(&one, &out));
        TensorBlob<unsigned char> none;
        QVERIFY(!maxpooling2x2S2(&none, &out));
        QCOMPARE(QString::fromStdString(cap.text.str()),
                 QString("maxpooling2x2S2: The size of the output is not correct. (0, 2).\n"
                         "maxpooling2x2S2: The input data is null.\n"));
    }

    void convolutionErrors()
    {
        CerrCapture cap;
        TensorBlob<unsigned char> in(4, 4, 16);
        fillRandom(in);
        TensorBlob<int> out;
        Filters empty;
        QVERIFY(!convolution(&in, &empty, &out));
        Filters mismatch;
        makeFilters(mismatch, 2, 3, 32, 1, 1, 1.0f, 0, 0);
        QVERIFY(!convolution(&in, &mismatch, &out));
        Filters strided1x1;
        makeFilters(strided1x1, 2, 1, 16, 0, 2, 1.0f, 0, 0);
        QVERIFY(!convolution(&in, &strided1x1, &out));
        Filters badPad;
        makeFilters(badPad, 2, 3, 16, 0, 1, 1.0f, 0, 0);
        QVERIFY(!convolution(&in, &badPad, &out));
        TensorBlob<unsigned char> none;
        QVERIFY(!convolution(&none, &badPad, &out));
        QCOMPARE(QString::fromStdString(cap.text.str()),
                 QString("convolution: There is not filters.\n"
                         "convolution: The number of channels of filters must be the same with the input data. 32 vs 16\n"
                         "convolution: Onle stride = 1 is supported for 1x1 filters.\n"
                         "convolution: Unspported filter stride=1 or pad=0\n"
                         "convolution: For 3x3 filters, only pad=1 and stride={1,2} are supported.\n"
                         "convolution: The input data is null.\n"));
    }

    void flattenConvertConcat()
    {
        TensorBlob<int> in(3, 2, 5);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                for (int c = 0; c < 5; ++c)
                    in.at(y, x, c) = (y * 3 + x) * 5 + c - 7;
        in.scale = 4.0f;
        in.bias = 10;
        TensorBlob<int> flat;
        QVERIFY(blob2vector(&in, &flat));
        QCOMPARE(flat.width, 1);
        QCOMPARE(flat.height, 1);
        QCOMPARE(flat.channels, 30);
        QCOMPARE(flat.scale, 4.0f);
        QCOMPARE(flat.bias, 10);
        for (int i = 0; i < 30; ++i)
            QCOMPARE(flat.data[i], i - 7);
        TensorBlob<float> f;
        QVERIFY(convertInt2Float(&flat, &f));
        QCOMPARE(f.scale, 1.0f);
        QCOMPARE(f.bias, 3); // roundf(2.5)
        for (int i = 0; i < 30; ++i)
            QCOMPARE(f.data[i], float(i - 7) * 0.25f);

        TensorBlob<float> a(2, 1, 1), b(2, 1, 3), c(2, 1, 2), d(2, 1, 1), out;
        float v = 0;
        for (TensorBlob<float>* t : {&a, &b, &c, &d})
            for (int x = 0; x < 2; ++x)
                for (int ch = 0; ch < t->channels; ++ch)
                    t->at(0, x, ch) = v++;
        QVERIFY(concat4(&a, &b, &c, &d, &out));
        QCOMPARE(out.channels, 7);
        const float expected[2][7] = {{0, 2, 3, 4, 8, 9, 12}, {1, 5, 6, 7, 10, 11, 13}};
        for (int x = 0; x < 2; ++x)
            for (int ch = 0; ch < 7; ++ch)
                QCOMPARE(out.at(0, x, ch), expected[x][ch]);
        TensorBlob<float> other(3, 1, 1);
        CerrCapture cap;
        QVERIFY(!concat4(&a, &b, &c, &other, &out));
        QCOMPARE(QString::fromStdString(cap.text.str()), QString("concat4: The three inputs must have the same size.\n"));
    }
};

QTEST_GUILESS_MAIN(TestFaceDetectKernels)
#include "tst_facedetectkernels.moc"
