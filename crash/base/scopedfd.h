#pragma once
// Owner types for descriptors and streams: each closes what it holds when
// it is destroyed or reset.

#include <dirent.h>
#include <stdio.h>

namespace base {

// The one close of the crash client: the platform's close without a
// cancellation point.
int CloseFileDescriptor(int fd);

class ScopedFD {
public:
    ScopedFD() = default;
    explicit ScopedFD(int fd) : fd_(fd) {}
    ~ScopedFD() { reset(); }
    ScopedFD(ScopedFD&& other) noexcept : fd_(other.release()) {}
    ScopedFD& operator=(ScopedFD&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ScopedFD(const ScopedFD&) = delete;
    ScopedFD& operator=(const ScopedFD&) = delete;

    int get() const { return fd_; }
    bool is_valid() const { return fd_ >= 0; }
    // Closes the held descriptor (EINTR is ignored, any other failure is
    // fatal) and holds fd instead.
    void reset(int fd = -1);
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

namespace internal {
void CloseFILE(FILE* file);  // fclose; ERROR "fclose" on failure
void CloseDIR(DIR* dir);     // closedir; ERROR "closedir" on failure
}  // namespace internal

// Owns a pointer that Close releases.
template <typename T, void (*Close)(T*)>
class ScopedPointer {
public:
    ScopedPointer() = default;
    explicit ScopedPointer(T* object) : object_(object) {}
    ~ScopedPointer() { reset(); }
    ScopedPointer(const ScopedPointer&) = delete;
    ScopedPointer& operator=(const ScopedPointer&) = delete;

    T* get() const { return object_; }
    void reset(T* object = nullptr)
    {
        if (object_)
            Close(object_);
        object_ = object;
    }
    T* release()
    {
        T* object = object_;
        object_ = nullptr;
        return object;
    }

private:
    T* object_ = nullptr;
};

using ScopedFILE = ScopedPointer<FILE, internal::CloseFILE>;
using ScopedDIR = ScopedPointer<DIR, internal::CloseDIR>;

}  // namespace base
