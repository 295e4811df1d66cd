#include "core/facedetection/facedetectcnn_simd.h"

#include <algorithm>
#include <cstring>
#include <immintrin.h>

namespace facedetect {

namespace {

// SSE2 is part of x86-64, so this needs no target attribute.
struct VecSSE2
{
    using T = __m128i;
    static constexpr int L = 4;
    static T zero() { return _mm_setzero_si128(); }
    static T load(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static T loadInts(const int* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void storeInts(int* p, T v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static T broadcastPair(const int16_t* p)
    {
        int v;
        std::memcpy(&v, p, 4);
        return _mm_set1_epi32(v);
    }
    static T add(T a, T b) { return _mm_add_epi32(a, b); }
    static T madd(T acc, T a, T b) { return _mm_add_epi32(acc, _mm_madd_epi16(a, b)); }
};

#include "core/facedetection/convkernel.inc"

} // namespace

void convolutionSSE2(const ConvJob& job)
{
    convolve<VecSSE2>(job);
}

void max4SSE2(const unsigned char* a, const unsigned char* b, const unsigned char* c, const unsigned char* d,
              unsigned char* out, std::size_t n)
{
    const auto at = [](const unsigned char* p, std::size_t i) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    };
    for (std::size_t i = 0; i < n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_max_epu8(_mm_max_epu8(at(a, i), at(b, i)), _mm_max_epu8(at(c, i), at(d, i))));
}

namespace {

// True when vpmaddubsw adds a (w0, w1) pair of weights to any two inputs
// 0..255 without saturating.
inline bool pairFits(int w0, int w1)
{
    const int pos = std::max(w0, 0) + std::max(w1, 0);
    const int neg = std::min(w0, 0) + std::min(w1, 0);
    return 255 * pos <= 32767 && 255 * neg >= -32768;
}

// Weight of filter f at byte i of kernel row r's run (pixels of channelStep
// bytes one after another), position i % channelStep read as channel
// order[i % channelStep].
inline signed char runWeight(const TensorBlob<signed char>& f, int r, int i, const std::vector<uint8_t>& order)
{
    const int cs = f.channelStep;
    return f.ptr(r, 0)[order.empty() ? i : i / cs * cs + order[i % cs]];
}

// Pairs the channels of each 16-byte block so that as many pairs as possible
// fit for every filter and kernel position: the fewest unfitting pairs over
// all pairings (memoised over the set of channels left). Returns the order,
// or nothing when the stored order is as good.
std::vector<uint8_t> pairedOrder(const std::vector<TensorBlob<signed char>*>& filters)
{
    const TensorBlob<signed char>& first = *filters[0];
    const int cs = first.channelStep;
    const int pixels = first.width * first.height;
    if (cs > 256)
        return {};
    std::vector<uint8_t> order(cs);
    bool better = false;
    for (int b0 = 0; b0 < cs; b0 += 16) {
        // Only a weight beyond -64..64 can make a pair overflow.
        bool fits[16][16];
        std::memset(fits, 1, sizeof fits);
        for (const TensorBlob<signed char>* f : filters)
            for (int t = 0; t < pixels; ++t) {
                const signed char* w = f->ptr(t / first.width, t % first.width) + b0;
                for (int a = 0; a < 16; ++a)
                    if (w[a] > 64 || w[a] < -64)
                        for (int c = 0; c < 16; ++c)
                            if (c != a && !pairFits(w[a], w[c]))
                                fits[a][c] = fits[c][a] = false;
            }
        int storedMisses = 0;
        for (int a = 0; a < 16; a += 2)
            storedMisses += !fits[a][a + 1];
        if (storedMisses < 2) { // little to gain for the search's time
            for (int j = 0; j < 16; ++j)
                order[b0 + j] = uint8_t(b0 + j);
            continue;
        }
        // misses[m]: fewest unfitting pairs among the channels of mask m;
        // partner[m]: the partner of m's lowest channel (or -1: paired later).
        thread_local std::vector<int8_t> misses, partner;
        misses.assign(1 << 16, -1);
        partner.assign(1 << 16, -1);
        misses[0] = 0;
        const auto solve = [&](auto&& self, unsigned m) -> int {
            if (misses[m] >= 0)
                return misses[m];
            const int a = __builtin_ctz(m);
            const unsigned rest = m & ~(1u << a);
            int best = self(self, rest) + 1; // paired with some other channel left over
            int with = -1;
            for (int c = a + 1; c < 16; ++c)
                if ((rest >> c & 1) && fits[a][c]) {
                    const int v = self(self, rest & ~(1u << c));
                    if (v < best)
                        best = v, with = c;
                }
            misses[m] = int8_t(best);
            partner[m] = int8_t(with);
            return best;
        };
        // Leftover channels pair up among themselves, which may still fit:
        // the count is an upper bound, used only to choose.
        if ((solve(solve, 0xFFFFu) + 1) / 2 >= storedMisses) {
            for (int j = 0; j < 16; ++j)
                order[b0 + j] = uint8_t(b0 + j);
            continue;
        }
        better = true;
        int at = b0;
        std::vector<int> left;
        for (unsigned m = 0xFFFFu; m;) {
            const int a = __builtin_ctz(m);
            m &= ~(1u << a);
            const int c = partner[m | (1u << a)];
            if (c < 0) {
                left.push_back(a);
                continue;
            }
            m &= ~(1u << c);
            order[at++] = uint8_t(b0 + a);
            order[at++] = uint8_t(b0 + c);
        }
        for (int a : left)
            order[at++] = uint8_t(b0 + a);
    }
    if (!better)
        order.clear();
    return order;
}

} // namespace

void prepareByteFilters(const std::vector<TensorBlob<signed char>*>& filters, ByteFilters& out)
{
    out = ByteFilters();
    if (filters.empty() || !filters[0] || !filters[0]->data)
        return;
    const TensorBlob<signed char>& first = *filters[0];
    const int n = int(filters.size());
    const int cs = first.channelStep;
    out.order = pairedOrder(filters);
    out.rows = first.height;
    // Reordered channels may sit in the last pixel's padding positions.
    out.runLen = out.order.empty() ? (first.width - 1) * cs / 4 + (first.channels + 3) / 4
                                   : first.width * cs / 4;
    out.groups = (n + 7) / 8;
    out.weights.assign(std::size_t(out.groups) * out.rows * out.runLen * 32, 0);
    out.extraBegin.push_back(0);
    for (int g = 0; g < out.groups; ++g) {
        for (int r = 0; r < out.rows; ++r)
            for (int k = 0; k < out.runLen; ++k) {
                int8_t* block = out.weights.data() + ((std::size_t(g) * out.rows + r) * out.runLen + k) * 32;
                bool fits = true;
                for (int l = 0; l < 8 && g * 8 + l < n; ++l) {
                    signed char src[4];
                    if (out.order.empty())
                        std::memcpy(src, filters[g * 8 + l]->ptr(r, 0) + 4 * k, 4);
                    else
                        for (int i = 0; i < 4; ++i)
                            src[i] = runWeight(*filters[g * 8 + l], r, 4 * k + i, out.order);
                    std::memcpy(block + 4 * l, src, 4);
                    fits = fits && pairFits(src[0], src[1]) && pairFits(src[2], src[3]);
                }
                if (fits)
                    continue;
                out.extraRow.push_back(r);
                out.extraBlock.push_back(k);
                for (int i = 0; i < 32; ++i) {
                    const int8_t half = int8_t(block[i] >> 1);
                    block[i] = int8_t(block[i] - half);
                    out.extraWeights.push_back(half);
                }
            }
        out.extraBegin.push_back(int(out.extraRow.size()));
    }
    out.channelStep = cs;
}

namespace {

struct ByteJob
{
    const uint8_t* in;
    std::ptrdiff_t rowStride; // bytes per input row
    const ByteFilters* f;
    const int* bias;
    int numFilters;
    int* out;
    const std::ptrdiff_t* window; // per output pixel, its window's first input byte
    int outPixStride;             // ints per output pixel
};

} // namespace

namespace avx2 {
void runBytes(const ByteJob& job, int pixels, int groups);
void reorderPixels(const uint8_t* src, uint8_t* dst, int pixels, int channelStep, const uint8_t* order);
}

void convolutionBytesAVX2(const TensorBlob<unsigned char>& in, const ByteFilters& filters, int stride,
                          int numFilters, const int* biasTerms, TensorBlob<int>& out)
{
    const int pad = filters.rows / 2;
    const int cs = in.channelStep;
    ByteJob job;
    if (pad == 0 && filters.order.empty()) {
        job.in = reinterpret_cast<const uint8_t*>(in.data);
        job.rowStride = std::ptrdiff_t(in.width) * cs;
    } else {
        // A copy with a zero border of `pad` pixels, its channels in the
        // filters' order.
        thread_local std::vector<uint8_t> scratch;
        const int pw = in.width + 2 * pad;
        const int ph = in.height + 2 * pad;
        const std::size_t rowLen = std::size_t(pw) * cs;
        scratch.assign(rowLen * ph, 0);
        for (int y = 0; y < in.height; ++y) {
            uint8_t* dst = scratch.data() + (y + pad) * rowLen + std::size_t(pad) * cs;
            const uint8_t* src = reinterpret_cast<const uint8_t*>(in.ptr(y, 0));
            if (filters.order.empty())
                std::memcpy(dst, src, std::size_t(in.width) * cs);
            else
                avx2::reorderPixels(src, dst, in.width, cs, filters.order.data());
        }
        job.in = scratch.data();
        job.rowStride = std::ptrdiff_t(rowLen);
    }
    job.f = &filters;
    job.bias = biasTerms;
    job.numFilters = numFilters;
    job.out = out.data;
    thread_local std::vector<std::ptrdiff_t> window;
    window.resize(std::size_t(out.width) * out.height);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            window[std::size_t(y) * out.width + x]
                = std::ptrdiff_t(y) * stride * job.rowStride + std::ptrdiff_t(x) * stride * cs;
    job.window = window.data();
    job.outPixStride = out.pixelStride();
    avx2::runBytes(job, out.width * out.height, filters.groups);
}

// Only plain code and intrinsics below: library templates instantiated here
// could be shared with callers on processors without AVX2.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace avx2 {
namespace {

inline __m256i broadcast4(const uint8_t* p)
{
    int v;
    std::memcpy(&v, p, 4);
    return _mm256_set1_epi32(v);
}

inline __m256i dot4(__m256i acc, __m256i in, __m256i w, __m256i ones)
{
    return _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_maddubs_epi16(in, w), ones));
}

// P output pixels (raster order from `first`) times G groups of 8 filters.
template <int P, int G>
void byteBlock(const ByteJob& j, int first, int g0)
{
    const ByteFilters& f = *j.f;
    const __m256i ones = _mm256_set1_epi16(1);
    const std::ptrdiff_t groupStride = std::ptrdiff_t(f.rows) * f.runLen * 32;
    const uint8_t* base[P];
#pragma GCC unroll 16
    for (int p = 0; p < P; ++p) {
        base[p] = j.in + j.window[first + p];
    }
    __m256i acc[P][G];
#pragma GCC unroll 16
    for (int p = 0; p < P; ++p)
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g)
            acc[p][g] = _mm256_setzero_si256();
    const int8_t* w = f.weights.data() + g0 * groupStride;
    for (int r = 0; r < f.rows; ++r) {
        const uint8_t* ip[P];
#pragma GCC unroll 16
        for (int p = 0; p < P; ++p)
            ip[p] = base[p] + r * j.rowStride;
        const int8_t* wr = w + std::ptrdiff_t(r) * f.runLen * 32;
        for (int k = 0; k < f.runLen; ++k) {
            __m256i b[P];
#pragma GCC unroll 16
            for (int p = 0; p < P; ++p)
                b[p] = broadcast4(ip[p] + 4 * k);
#pragma GCC unroll 16
            for (int g = 0; g < G; ++g) {
                const __m256i wv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(wr + g * groupStride + 32 * k));
#pragma GCC unroll 16
                for (int p = 0; p < P; ++p)
                    acc[p][g] = dot4(acc[p][g], b[p], wv, ones);
            }
        }
    }
#pragma GCC unroll 16
    for (int g = 0; g < G; ++g)
        for (int e = f.extraBegin[g0 + g]; e < f.extraBegin[g0 + g + 1]; ++e) {
            const std::ptrdiff_t off = f.extraRow[e] * j.rowStride + 4 * f.extraBlock[e];
            const __m256i wv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(f.extraWeights.data() + 32 * e));
#pragma GCC unroll 16
            for (int p = 0; p < P; ++p)
                acc[p][g] = dot4(acc[p][g], broadcast4(base[p] + off), wv, ones);
        }
#pragma GCC unroll 16
    for (int g = 0; g < G; ++g) {
        const int f0 = (g0 + g) * 8;
        const int count = j.numFilters - f0 < 8 ? j.numFilters - f0 : 8;
        const __m256i bias = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(j.bias + f0));
#pragma GCC unroll 16
        for (int p = 0; p < P; ++p) {
            int* o = j.out + std::ptrdiff_t(first + p) * j.outPixStride + f0;
            const __m256i sum = _mm256_add_epi32(acc[p][g], bias);
            if (count == 8) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), sum);
            } else {
                alignas(32) int tmp[8];
                _mm256_store_si256(reinterpret_cast<__m256i*>(tmp), sum);
                for (int i = 0; i < count; ++i)
                    o[i] = tmp[i];
            }
        }
    }
}

// Eight accumulators: 4 pixels x 2 groups of filters (the best of the
// shapes measured that fit the 16 vector registers).
constexpr int kPixels = 4;
constexpr int kGroups = 2;

// The last pixels of a run, fewer than a block.
template <int P, int G>
void pixelTail(const ByteJob& j, int first, int count, int g0)
{
    if constexpr (P > 0) {
        if (count == P)
            byteBlock<P, G>(j, first, g0);
        else
            pixelTail<P - 1, G>(j, first, count, g0);
    }
}

template <int G>
void byteGroups(const ByteJob& j, int pixels, int g0)
{
    int i = 0;
    for (; i + kPixels <= pixels; i += kPixels)
        byteBlock<kPixels, G>(j, i, g0);
    pixelTail<kPixels - 1, G>(j, i, pixels - i, g0);
}

template <int G>
void groupTail(const ByteJob& j, int pixels, int g0, int count)
{
    if constexpr (G > 0) {
        if (count == G)
            byteGroups<G>(j, pixels, g0);
        else
            groupTail<G - 1>(j, pixels, g0, count);
    }
}

} // namespace

// dst byte j of each pixel = src byte order[j] (order stays within 16-byte blocks).
void reorderPixels(const uint8_t* src, uint8_t* dst, int pixels, int channelStep, const uint8_t* order)
{
    alignas(16) uint8_t controls[256];
    for (int j = 0; j < channelStep; ++j)
        controls[j] = uint8_t(order[j] - j / 16 * 16);
    for (int b = 0; b < channelStep; b += 16) {
        const __m128i control = _mm_load_si128(reinterpret_cast<const __m128i*>(controls + b));
        for (int p = 0; p < pixels; ++p) {
            const std::ptrdiff_t at = std::ptrdiff_t(p) * channelStep + b;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + at),
                             _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + at)), control));
        }
    }
}

void runBytes(const ByteJob& job, int pixels, int groups)
{
    int g = 0;
    for (; g + kGroups <= groups; g += kGroups)
        byteGroups<kGroups>(job, pixels, g);
    groupTail<kGroups - 1>(job, pixels, g, groups - g);
}

} // namespace avx2

int maxOrZeroAVX2(const int* values, std::size_t n)
{
    __m256i m = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        m = _mm256_max_epi32(m, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + i)));
    __m128i h = _mm_max_epi32(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
    h = _mm_max_epi32(h, _mm_shuffle_epi32(h, _MM_SHUFFLE(1, 0, 3, 2)));
    h = _mm_max_epi32(h, _mm_shuffle_epi32(h, _MM_SHUFFLE(2, 3, 0, 1)));
    int result = _mm_cvtsi128_si32(h);
    for (; i < n; ++i)
        result = values[i] > result ? values[i] : result;
    return result;
}

void requantizeAVX2(const int* values, unsigned char* out, std::size_t n, float factor)
{
    const __m256 f = _mm256_set1_ps(factor);
    const __m256 half = _mm256_set1_ps(0.499f);
    const __m256i top = _mm256_set1_epi32(255);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const auto quant = [&](std::size_t at) {
        const __m256 v = _mm256_cvtepi32_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + at)));
        return _mm256_min_epi32(_mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(v, f), half)), top);
    };
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i ab = _mm256_packus_epi32(quant(i), quant(i + 8));
        const __m256i cd = _mm256_packus_epi32(quant(i + 16), quant(i + 24));
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(ab, cd), order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), bytes);
    }
    for (; i < n; ++i) {
        const int q = values[i] > 0 ? int(float(values[i]) * factor + 0.499f) : 0;
        out[i] = (unsigned char)(q < 255 ? q : 255);
    }
}

#pragma GCC pop_options

} // namespace facedetect
