// The operations of the face detection network.

#include "core/facedetection/facedetectcnn.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/facedetection/facedetectcnn_simd.h"

namespace facedetect {

void* alignedAlloc(std::size_t size)
{
    const std::size_t extra = size >= 4096 ? 136 + 128 : 136;
    if (size > std::numeric_limits<std::size_t>::max() - extra)
        return nullptr;
    unsigned char* raw = static_cast<unsigned char*>(std::malloc(size + extra));
    if (!raw)
        return nullptr;
    const std::uintptr_t aligned = (reinterpret_cast<std::uintptr_t>(raw) + 8 + 127) & ~std::uintptr_t(127);
    void** slot = reinterpret_cast<void**>(aligned) - 1;
    *slot = raw;
    return reinterpret_cast<void*>(aligned);
}

void alignedFree(void* ptr)
{
    if (!ptr || (reinterpret_cast<std::uintptr_t>(ptr) & 127) != 0)
        return;
    std::free(reinterpret_cast<void**>(ptr)[-1]);
}

void Filters::clear()
{
    for (TensorBlob<signed char>* f : filters)
        delete f;
    filters.clear();
    wide.clear();
    wideLanes = 0;
    bytes = ByteFilters();
    joined.reset();
    joinedWith = nullptr;
}

void Filters::prepare(KernelPath path)
{
    if (path == KernelPath::AVX2 && bytes.channelStep == 0)
        prepareByteFilters(filters, bytes);
    else if (path == KernelPath::SSE2)
        prepareWide(4);
}

void Filters::joinWith(const Filters& other)
{
    auto both = std::make_unique<Filters>();
    both->pad = pad;
    both->stride = stride;
    both->scale = scale;
    for (const Filters* f : {static_cast<const Filters*>(this), &other})
        for (const TensorBlob<signed char>* b : f->filters) {
            auto* copy = new TensorBlob<signed char>(b->width, b->height, b->channels);
            if (copy->data && b->data)
                std::memcpy(copy->data, b->data, std::size_t(b->width) * b->height * b->channelStep);
            copy->bias = b->bias;
            both->filters.push_back(copy);
        }
    both->prepare(kernelPath());
    joined = std::move(both);
    joinedWith = &other;
}

// The filters widened to int16 and interleaved for the vector loops (layout
// in facedetectcnn_simd.h).
void Filters::prepareWide(int lanes)
{
    if (filters.empty() || !filters[0] || !filters[0]->data || wideLanes == lanes)
        return;
    const TensorBlob<signed char>& first = *filters[0];
    const int n = int(filters.size());
    const int groups = (n + lanes - 1) / lanes;
    const int taps = first.width * first.height;
    const int pairs = (first.channels + 1) / 2;
    wide.assign(std::size_t(groups) * taps * pairs * 2 * lanes, 0);
    for (int f = 0; f < n; ++f)
        for (int t = 0; t < taps; ++t)
            for (int ch = 0; ch < first.channels; ++ch) {
                const std::size_t at = ((std::size_t(f / lanes) * taps + t) * pairs + ch / 2) * 2 * lanes
                                       + 2 * (f % lanes) + ch % 2;
                wide[at] = filters[f]->ptr(t / first.width, t % first.width)[ch];
            }
    wideLanes = lanes;
}

namespace {

std::atomic<KernelPath> g_kernelPath{bestKernelPath()};

bool fail(const char* function, const char* message)
{
    std::cerr << function << message << std::endl;
    return false;
}

// roundf to int, saturated (scales of degenerate layers can be huge).
int roundToInt(float v)
{
    const float r = std::round(v);
    if (!(r > -2147483648.0f))
        return r != r ? 0 : std::numeric_limits<int>::min();
    if (r >= 2147483648.0f)
        return std::numeric_limits<int>::max();
    return int(r);
}

int saturate32(int64_t v)
{
    return int(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Plain loops: out gets the dot products plus biasTerms (when given).
void convolution1x1P0S1(const TensorBlob<unsigned char>& in, const Filters& filters, const int* biasTerms,
                        TensorBlob<int>& out)
{
    const int n = int(filters.filters.size());
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const unsigned char* ip = in.ptr(y, x);
            int* op = out.ptr(y, x);
            for (int f = 0; f < n; ++f) {
                const signed char* wp = filters.filters[f]->data;
                int sum = 0;
                for (int ch = 0; ch < in.channels; ++ch)
                    sum += wp[ch] * ip[ch];
                op[f] = sum + (biasTerms ? biasTerms[f] : 0);
            }
        }
    }
}

void convolution3x3P0(const TensorBlob<unsigned char>& in, const Filters& filters, const int* biasTerms,
                      TensorBlob<int>& out)
{
    const int n = int(filters.filters.size());
    const int s = filters.stride;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            int* op = out.ptr(y, x);
            for (int f = 0; f < n; ++f) {
                const TensorBlob<signed char>& w = *filters.filters[f];
                int sum = 0;
                for (int r = 0; r < 3; ++r) {
                    const int iy = y * s + r - 1;
                    if (iy < 0 || iy >= in.height)
                        continue;
                    for (int c = 0; c < 3; ++c) {
                        const int ix = x * s + c - 1;
                        if (ix < 0 || ix >= in.width)
                            continue;
                        const unsigned char* ip = in.ptr(iy, ix);
                        const signed char* wp = w.ptr(r, c);
                        for (int ch = 0; ch < in.channels; ++ch)
                            sum += wp[ch] * ip[ch];
                    }
                }
                op[f] = sum + (biasTerms ? biasTerms[f] : 0);
            }
        }
    }
}

// Runs the vector loops (SSE2: over a zero-bordered int16 copy of the input).
void convolutionVector(KernelPath path, const TensorBlob<unsigned char>& in, Filters& filters,
                       const int* biasTerms, TensorBlob<int>& out)
{
    const int lanes = path == KernelPath::AVX2 ? 8 : 4;
    const int n = int(filters.filters.size());
    std::vector<int> bias(std::size_t((n + lanes - 1) / lanes * lanes), 0);
    if (biasTerms)
        std::copy(biasTerms, biasTerms + n, bias.begin());
    filters.prepare(path);
    if (path == KernelPath::AVX2) {
        convolutionBytesAVX2(in, filters.bytes, filters.stride, n, bias.data(), out);
        return;
    }
    thread_local std::vector<int16_t> scratch;
    const int pad = filters.pad;
    const int cp = in.channelStep;
    const int pw = in.width + 2 * pad;
    const int ph = in.height + 2 * pad;
    const std::size_t rowLen = std::size_t(pw) * cp;
    scratch.resize(rowLen * ph);
    for (int y = 0; y < ph; ++y) {
        int16_t* dst = scratch.data() + y * rowLen;
        const int iy = y - pad;
        if (iy < 0 || iy >= in.height) {
            std::fill(dst, dst + rowLen, int16_t(0));
            continue;
        }
        const std::size_t border = std::size_t(pad) * cp;
        std::fill(dst, dst + border, int16_t(0));
        std::fill(dst + border + std::size_t(in.width) * cp, dst + rowLen, int16_t(0));
        std::copy(in.ptr(iy, 0), in.ptr(iy, 0) + std::size_t(in.width) * cp, dst + border);
    }
    const TensorBlob<signed char>& first = *filters.filters[0];
    ConvJob job;
    job.in = scratch.data();
    job.inRowStride = std::ptrdiff_t(rowLen);
    job.inPixStride = cp;
    job.kernel = first.width;
    job.stride = filters.stride;
    job.weights = filters.wide.data();
    job.pairs = (first.channels + 1) / 2;
    job.numFilters = n;
    job.out = out.data;
    job.outW = out.width;
    job.outH = out.height;
    job.outPixStride = out.pixelStride();
    job.biasTerms = bias.data();
    convolutionSSE2(job);
}

} // namespace

KernelPath bestKernelPath()
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return KernelPath::AVX2;
    return KernelPath::SSE2;
}

KernelPath kernelPath()
{
    return g_kernelPath.load();
}

void setKernelPath(KernelPath path)
{
    if (path == KernelPath::AVX2 && bestKernelPath() != KernelPath::AVX2)
        path = KernelPath::SSE2;
    g_kernelPath.store(path);
}

bool setFilterData(TensorBlob<signed char>* blob, const signed char* weights, int bias, int width, int height,
                   int channels)
{
    if (!weights || !blob || !blob->data)
        return fail("", "The input image data is null.");
    if (blob->width != width || blob->height != height || blob->channels != channels)
        return fail("", "The dimension of the data can not match that of the Blob.");
    for (int ch = 0; ch < channels; ++ch)
        for (int r = 0; r < height; ++r)
            for (int k = 0; k < width; ++k)
                blob->at(r, k, ch) = weights[(ch * height + r) * width + k];
    blob->bias = bias;
    return true;
}

bool packImage3x3S2P1(TensorBlob<unsigned char>* blob, const unsigned char* image, int width, int height,
                      int channels, int step)
{
    if (!image || !blob)
        return fail("", "The input image data is null.");
    if (channels != 3)
        return fail("", "The input image must be a 3-channel RGB image.");
    if (!blob->create((width + 1) / 2, (height + 1) / 2, 27))
        return false;
    std::memset(blob->data, 0, std::size_t(blob->width) * blob->height * blob->channelStep);
    for (int y = 0; y < blob->height; ++y) {
        for (int dy = -1; dy <= 1; ++dy) {
            const int iy = 2 * y + dy;
            if (iy < 0 || iy >= height)
                continue;
            const unsigned char* row = image + std::size_t(iy) * step;
            for (int x = 0; x < blob->width; ++x) {
                unsigned char* out = blob->ptr(y, x) + (dy + 1) * 9;
                if (x > 0 && 2 * x + 1 < width) { // all three columns inside: one copy
                    std::memcpy(out, row + std::size_t(2 * x - 1) * 3, 9);
                    continue;
                }
                for (int dx = -1; dx <= 1; ++dx) {
                    const int ix = 2 * x + dx;
                    if (ix >= 0 && ix < width)
                        std::memcpy(out + (dx + 1) * 3, row + std::size_t(ix) * 3, 3);
                }
            }
        }
    }
    blob->scale = 1.0f;
    blob->bias = 1;
    return true;
}

bool convolution(TensorBlob<unsigned char>* input, Filters* filters, TensorBlob<int>* output)
{
    static const char* fn = "convolution";
    if (!input || !input->data)
        return fail(fn, ": The input data is null.");
    if (!filters || filters->filters.empty())
        return fail(fn, ": There is not filters.");
    for (const TensorBlob<signed char>* f : filters->filters)
        if (!f || !f->data)
            return fail(fn, ": There is not filters.");
    const TensorBlob<signed char>& first = *filters->filters[0];
    for (const TensorBlob<signed char>* f : filters->filters)
        if (f->width != first.width || f->height != first.height || f->channels != first.channels)
            return fail(fn, ": The filters must be the same size.");
    if (first.channels != input->channels) {
        std::cerr << fn << ": The number of channels of filters must be the same with the input data. "
                  << first.channels << " vs " << input->channels << std::endl;
        return false;
    }
    const bool is1x1 = first.width == 1 && first.height == 1;
    const bool is3x3 = first.width == 3 && first.height == 3;
    if (is1x1 && filters->stride != 1)
        return fail(fn, ": Onle stride = 1 is supported for 1x1 filters.");
    if (is1x1 && filters->pad != 0)
        return fail(fn, ": Onle pad = 0 is supported for 1x1 filters.");
    if (!is1x1 && !is3x3)
        return fail(fn, ": Unsported filter size.");
    if (is3x3 && (filters->pad != 1 || (filters->stride != 1 && filters->stride != 2))) {
        std::cerr << fn << ": Unspported filter stride=" << filters->stride << " or pad=" << filters->pad
                  << std::endl
                  << fn << ": For 3x3 filters, only pad=1 and stride={1,2} are supported." << std::endl;
        return false;
    }
    int outW = input->width;
    int outH = input->height;
    if (is3x3 && filters->stride == 2) {
        outW = (input->width + 1) / 2;
        outH = (input->height + 1) / 2;
    }
    if (outW < 1 || outH < 1) {
        std::cerr << fn << ": The size of the output is not correct. (" << outW << ", " << outH << ")."
                  << std::endl;
        return false;
    }
    if (!output || !output->create(outW, outH, int(filters->filters.size())))
        return false;

    // Filter bias x input bias is computed wide: with other weights it need
    // not fit 32 bits. When every term leaves room for the largest possible
    // dot product, the loops add it in 32 bits; otherwise the sums are
    // saturated afterwards.
    const int n = int(filters->filters.size());
    const int64_t maxDot = int64_t(255) * 128 * first.width * first.height * first.channels;
    std::vector<int64_t> wideTerms(n);
    std::vector<int> terms(n);
    bool fits = true;
    for (int f = 0; f < n; ++f) {
        wideTerms[f] = int64_t(filters->filters[f]->bias) * int64_t(input->bias);
        terms[f] = int(wideTerms[f]);
        fits = fits && std::abs(wideTerms[f]) <= std::numeric_limits<int>::max() - maxDot;
    }
    const int* inLoop = fits ? terms.data() : nullptr;
    const KernelPath path = kernelPath();
    if (path == KernelPath::Plain) {
        if (is1x1)
            convolution1x1P0S1(*input, *filters, inLoop, *output);
        else
            convolution3x3P0(*input, *filters, inLoop, *output);
    } else {
        convolutionVector(path, *input, *filters, inLoop, *output);
    }
    if (!fits)
        for (int y = 0; y < outH; ++y)
            for (int x = 0; x < outW; ++x) {
                int* op = output->ptr(y, x);
                for (int f = 0; f < n; ++f)
                    op[f] = saturate32(int64_t(op[f]) + wideTerms[f]);
            }
    output->scale = input->scale * filters->scale;
    output->bias = roundToInt(output->scale);
    return true;
}

bool convolutionPair(TensorBlob<unsigned char>* input, Filters* first, Filters* second, TensorBlob<int>* out1,
                     TensorBlob<int>* out2)
{
    const auto usable = [](const Filters* f) {
        if (!f || f->filters.empty())
            return false;
        for (const TensorBlob<signed char>* b : f->filters)
            if (!b || !b->data || b->width != f->filters[0]->width || b->height != f->filters[0]->height
                || b->channels != f->filters[0]->channels)
                return false;
        return true;
    };
    if (!usable(first) || !usable(second) || !out1 || !out2 || first->pad != second->pad
        || first->stride != second->stride || first->filters[0]->width != second->filters[0]->width
        || first->filters[0]->height != second->filters[0]->height
        || first->filters[0]->channels != second->filters[0]->channels)
        return convolution(input, first, out1) && convolution(input, second, out2);
    if (first->joinedWith != second || !first->joined
        || first->joined->filters.size() != first->filters.size() + second->filters.size())
        first->joinWith(*second);
    TensorBlob<int> raw;
    if (!convolution(input, first->joined.get(), &raw))
        return false;
    // The two layers' channels apart, each with the scale its own convolution gives.
    int from = 0;
    for (auto [f, out] : {std::pair(first, out1), std::pair(second, out2)}) {
        const int n = int(f->filters.size());
        if (!out->create(raw.width, raw.height, n))
            return false;
        for (int y = 0; y < raw.height; ++y)
            for (int x = 0; x < raw.width; ++x)
                std::copy(raw.ptr(y, x) + from, raw.ptr(y, x) + from + n, out->ptr(y, x));
        out->scale = input->scale * f->scale;
        out->bias = roundToInt(out->scale);
        from += n;
    }
    return true;
}

bool convolution_relu(TensorBlob<unsigned char>* input, Filters* filters, TensorBlob<unsigned char>* output)
{
    TensorBlob<int> raw;
    if (!convolution(input, filters, &raw))
        return false;
    if (!output || !output->create(raw.width, raw.height, raw.channels))
        return false;
    // With as many ints as bytes per pixel both blobs are flat arrays.
    const bool flat = kernelPath() == KernelPath::AVX2 && raw.pixelStride() == output->pixelStride();
    const std::size_t total = std::size_t(raw.width) * raw.height * raw.pixelStride();
    int maxValue = 0;
    if (flat) {
        maxValue = maxOrZeroAVX2(raw.data, total); // requantizeAVX2 applies the ReLU
    } else {
        for (int y = 0; y < raw.height; ++y)
            for (int x = 0; x < raw.width; ++x) {
                int* p = raw.ptr(y, x);
                for (int ch = 0; ch < raw.channels; ++ch) {
                    p[ch] = std::max(p[ch], 0);
                    maxValue = std::max(maxValue, p[ch]);
                }
            }
    }
    // A layer whose outputs are all 0 keeps its scale (255 / 0 would be
    // infinite); its outputs stay 0.
    const float factor = maxValue > 0 ? 255.0f / float(maxValue) : 1.0f;
    output->scale = raw.scale * factor;
    output->bias = roundToInt(float(raw.bias) * factor);
    if (flat) {
        requantizeAVX2(raw.data, output->data, total, factor);
        return true;
    }
    for (int y = 0; y < raw.height; ++y)
        for (int x = 0; x < raw.width; ++x) {
            const int* p = raw.ptr(y, x);
            unsigned char* o = output->ptr(y, x);
            for (int ch = 0; ch < raw.channels; ++ch)
                o[ch] = (unsigned char)std::min(255, int(float(p[ch]) * factor + 0.499f));
        }
    return true;
}

bool maxpooling2x2S2(TensorBlob<unsigned char>* input, TensorBlob<unsigned char>* output)
{
    static const char* fn = "maxpooling2x2S2";
    if (!input || !input->data)
        return fail(fn, ": The input data is null.");
    const float cw = std::ceil((input->width - 3) * 0.5f);
    const float chh = std::ceil((input->height - 3) * 0.5f);
    const int outW = int(cw) + 1;
    const int outH = int(chh) + 1;
    if (cw < 0 || chh < 0) {
        std::cerr << fn << ": The size of the output is not correct. (" << outW << ", " << outH << ")."
                  << std::endl;
        return false;
    }
    if (!output || !output->create(outW, outH, input->channels))
        return false;
    const int step = input->channelStep;
    for (int y = 0; y < outH; ++y) {
        const int y0 = 2 * y;
        const int y1 = std::min(2 * y + 1, input->height - 1);
        for (int x = 0; x < outW; ++x) {
            const int x0 = 2 * x;
            const int x1 = std::min(2 * x + 1, input->width - 1);
            max4SSE2(input->ptr(y0, x0), input->ptr(y0, x1), input->ptr(y1, x0), input->ptr(y1, x1),
                     output->ptr(y, x), std::size_t(step));
        }
    }
    output->scale = input->scale;
    output->bias = input->bias;
    return true;
}

template <typename T>
bool blob2vector(TensorBlob<T>* input, TensorBlob<T>* output)
{
    if (!input || !input->data || !output)
        return fail("blob2vector", ": The input or output data is null.");
    if (!output->create(1, 1, input->width * input->height * input->channels))
        return false;
    T* o = output->data;
    for (int y = 0; y < input->height; ++y)
        for (int x = 0; x < input->width; ++x) {
            const T* p = input->ptr(y, x);
            o = std::copy(p, p + input->channels, o);
        }
    output->scale = input->scale;
    output->bias = input->bias;
    return true;
}

template bool blob2vector<signed char>(TensorBlob<signed char>*, TensorBlob<signed char>*);
template bool blob2vector<int>(TensorBlob<int>*, TensorBlob<int>*);
template bool blob2vector<float>(TensorBlob<float>*, TensorBlob<float>*);

bool convertInt2Float(TensorBlob<int>* input, TensorBlob<float>* output)
{
    if (!input || !input->data || !output)
        return fail("convertInt2Float", ": The input or output data is null.");
    if (!output->create(input->width, input->height, input->channels))
        return false;
    const float inv = 1.0f / input->scale;
    for (int y = 0; y < input->height; ++y)
        for (int x = 0; x < input->width; ++x) {
            const int* p = input->ptr(y, x);
            float* o = output->ptr(y, x);
            for (int ch = 0; ch < input->channels; ++ch)
                o[ch] = float(p[ch]) * inv;
        }
    output->scale = 1.0f;
    output->bias = roundToInt(inv * float(input->bias));
    return true;
}

bool concat4(TensorBlob<float>* a, TensorBlob<float>* b, TensorBlob<float>* c, TensorBlob<float>* d,
             TensorBlob<float>* output)
{
    static const char* fn = "concat4";
    TensorBlob<float>* in[4] = {a, b, c, d};
    for (TensorBlob<float>* t : in)
        if (!t || !t->data || !output)
            return fail(fn, ": The input data is null.");
    for (TensorBlob<float>* t : in)
        if (t->width != a->width || t->height != a->height)
            return fail(fn, ": The three inputs must have the same size.");
    const int channels = a->channels + b->channels + c->channels + d->channels;
    if (!output->create(a->width, a->height, channels)) {
        std::cerr << fn << ": The size of the output is not correct. (" << a->width << ", " << a->height
                  << ")." << std::endl;
        return false;
    }
    for (int y = 0; y < a->height; ++y)
        for (int x = 0; x < a->width; ++x) {
            float* o = output->ptr(y, x);
            for (TensorBlob<float>* t : in)
                o = std::copy(t->ptr(y, x), t->ptr(y, x) + t->channels, o);
        }
    return true;
}

} // namespace facedetect
