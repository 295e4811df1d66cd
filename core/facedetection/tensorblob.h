#pragma once
// The face detector's tensor: height x width pixels of `channels` values, each
// pixel padded to a multiple of 16 bytes, in a 128-byte aligned buffer.

#include <cstddef>
#include <cstring>
#include <iostream>
#include <utility>

namespace facedetect {

// Returns a 128-byte aligned block of at least size bytes, or null; the raw
// pointer lives in the 8 bytes just before the returned address.
void* alignedAlloc(std::size_t size);
// Frees a block of alignedAlloc; ignores null and unaligned pointers.
void alignedFree(void* ptr);

template <typename T>
class TensorBlob
{
public:
    T* data = nullptr;
    int width = 0;
    int height = 0;
    int channels = 0;
    int channelStep = 0; // bytes per pixel
    float scale = 1.0f;  // real value = stored value / scale
    int bias = 0;

    TensorBlob() = default;
    TensorBlob(int w, int h, int c) { create(w, h, c); }
    ~TensorBlob() { release(); }
    TensorBlob(const TensorBlob&) = delete;
    TensorBlob& operator=(const TensorBlob&) = delete;
    TensorBlob(TensorBlob&& o) noexcept { *this = std::move(o); }
    TensorBlob& operator=(TensorBlob&& o) noexcept
    {
        if (this != &o) {
            release();
            data = o.data;
            width = o.width, height = o.height, channels = o.channels, channelStep = o.channelStep;
            scale = o.scale, bias = o.bias;
            o.data = nullptr;
            o.width = o.height = o.channels = o.channelStep = 0;
        }
        return *this;
    }

    void release()
    {
        alignedFree(data);
        data = nullptr;
        width = height = channels = channelStep = 0;
    }

    // Allocates w x h x c values (the padding bytes of every pixel zeroed)
    // and resets scale and bias. On failure data stays null.
    bool create(int w, int h, int c)
    {
        release();
        scale = 1.0f;
        bias = 0;
        if (w > 0 && h > 0 && c > 0) {
            const int step = int((std::size_t(c) * sizeof(T) + 15) / 16 * 16);
            const std::size_t bytes = std::size_t(w) * std::size_t(h) * std::size_t(step);
            data = static_cast<T*>(alignedAlloc(bytes));
            if (data) {
                width = w;
                height = h;
                channels = c;
                channelStep = step;
                const std::size_t used = std::size_t(c) * sizeof(T);
                if (used < std::size_t(step)) {
                    unsigned char* p = reinterpret_cast<unsigned char*>(data);
                    for (std::size_t i = 0; i < std::size_t(w) * h; ++i)
                        std::memset(p + i * step + used, 0, step - used);
                }
                return true;
            }
        }
        std::cerr << "Failed to alloc memeory for uint8 data blob: " << w << "*" << h << "*" << c
                  << std::endl;
        return false;
    }

    // Values per pixel, padding included.
    int pixelStride() const { return channelStep / int(sizeof(T)); }

    T* ptr(int y, int x)
    {
        return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(data)
                                    + (std::size_t(y) * width + x) * channelStep);
    }
    const T* ptr(int y, int x) const
    {
        return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(data)
                                          + (std::size_t(y) * width + x) * channelStep);
    }
    T& at(int y, int x, int ch) { return ptr(y, x)[ch]; }
    const T& at(int y, int x, int ch) const { return ptr(y, x)[ch]; }
};

} // namespace facedetect
