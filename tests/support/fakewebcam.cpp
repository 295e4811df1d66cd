// A V4L2 webcam in user space for tests, loaded with LD_PRELOAD
// (libfakewebcam.so; fakewebcam.md says what it emulates and how to use it).
// It answers the glibc calls that list /dev, open a capture node and stream
// from it, for one device path; every other path and descriptor goes to the
// real call. Each open gets an eventfd as its descriptor, readable exactly
// while a filled buffer waits, so select() and poll() need no help.

#undef _FILE_OFFSET_BITS
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
F real(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

#define REAL(name) static const auto real_##name = real<decltype(&::name)>(#name)

// The shim's own files and mappings go straight to glibc.
int sysClose(int fd)
{
    REAL(close);
    return real_close(fd);
}

void* sysMmap(size_t length, int prot, int flags, int fd)
{
    REAL(mmap);
    return real_mmap(nullptr, length, prot, flags, fd, 0);
}

// ------------------------------------------------------------ settings

struct Clip
{
    uint32_t pixelFormat = 0;
    uint32_t width = 0, height = 0, fpsNum = 0, fpsDen = 1;
    std::vector<const uint8_t*> frames;
    std::vector<uint32_t> sizes;
    uint32_t maxSize = 0;
};

struct Config
{
    std::string device = "/dev/video0";
    std::string dir, base;  // "/dev", "video0"
    int index = 0;
    std::string name = "Fake Webcam";
    std::string logPath;
    uint32_t format = V4L2_PIX_FMT_YUYV;
    bool busy = false;
    long unplugAfter = -1;    // frames
    double replugAfter = -1;  // seconds
    Clip clip;
    std::string clipError;
};

void logLine(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

const Config& config()
{
    static Config* c = [] {
        auto* c = new Config;
        if (const char* d = getenv("FAKEWEBCAM_DEVICE"); d && *d)
            c->device = d;
        const size_t slash = c->device.rfind('/');
        c->dir = slash == 0 ? "/" : c->device.substr(0, slash);
        c->base = c->device.substr(slash + 1);
        const size_t digits = c->base.find_first_of("0123456789");
        c->index = digits == std::string::npos ? 0 : atoi(c->base.c_str() + digits);
        if (const char* n = getenv("FAKEWEBCAM_NAME"); n && *n)
            c->name = n;
        if (const char* l = getenv("FAKEWEBCAM_LOG"))
            c->logPath = l;
        if (const char* f = getenv("FAKEWEBCAM_FORMAT"); f && strcmp(f, "mjpeg") == 0)
            c->format = V4L2_PIX_FMT_MJPEG;
        c->busy = getenv("FAKEWEBCAM_BUSY") && strcmp(getenv("FAKEWEBCAM_BUSY"), "1") == 0;
        if (const char* u = getenv("FAKEWEBCAM_UNPLUG_AFTER"); u && *u)
            c->unplugAfter = atol(u);
        if (const char* r = getenv("FAKEWEBCAM_REPLUG_AFTER_S"); r && *r)
            c->replugAfter = atof(r);

        // The clip file: "FWCAMRAW", then little-endian u32 pixel format
        // (V4L2 fourcc), width, height, frame rate numerator, denominator,
        // frame count, and the frames, each a u32 byte count and its bytes.
        const char* path = getenv("FAKEWEBCAM_CLIP");
        REAL(open);
        const int fd = path ? real_open(path, O_RDONLY | O_CLOEXEC) : -1;
        struct stat st{};
        const uint8_t* data = nullptr;
        REAL(fstat);
        if (fd >= 0 && real_fstat(fd, &st) == 0 && st.st_size >= 32) {
            void* m = sysMmap(size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd);
            data = m == MAP_FAILED ? nullptr : static_cast<const uint8_t*>(m);
        }
        if (fd >= 0)
            sysClose(fd);
        Clip& clip = c->clip;
        uint32_t head[7] = {};
        if (!data || memcmp(data, "FWCAMRAW", 8) != 0) {
            c->clipError = std::string("no clip file at FAKEWEBCAM_CLIP=") + (path ? path : "(unset)");
        } else {
            memcpy(head, data + 8, sizeof head);
            clip.pixelFormat = head[0];
            clip.width = head[1];
            clip.height = head[2];
            clip.fpsNum = head[3];
            clip.fpsDen = head[4] ? head[4] : 1;
            size_t at = 36;
            for (uint32_t i = 0; i < head[5] && at + 4 <= size_t(st.st_size); ++i) {
                uint32_t n;
                memcpy(&n, data + at, 4);
                if (at + 4 + n > size_t(st.st_size))
                    break;
                clip.frames.push_back(data + at + 4);
                clip.sizes.push_back(n);
                clip.maxSize = std::max(clip.maxSize, n);
                at += 4 + n;
            }
            if (clip.frames.size() != head[5] || clip.frames.empty() || clip.fpsNum == 0)
                c->clipError = "clip file " + std::string(path) + " is cut short or empty";
            else if (clip.pixelFormat != c->format)
                c->clipError = "clip file " + std::string(path) + " holds another pixel format than FAKEWEBCAM_FORMAT";
        }
        return c;
    }();
    return *c;
}

void logLine(const char* fmt, ...)
{
    static std::mutex m;
    std::lock_guard<std::mutex> lock(m);
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    REAL(open);
    const std::string& path = config().logPath;
    const int fd = path.empty() ? -1 : real_open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const std::string line = std::string("fakewebcam ") + text + "\n";
    if (write(fd >= 0 ? fd : 2, line.data(), line.size()) < 0) {
    }
    if (fd >= 0)
        sysClose(fd);
}

// ------------------------------------------------------------ device state

struct Buffer
{
    enum State { Dequeued, Queued, Done } state = Dequeued;
    v4l2_buffer info{};
};

struct Open
{
    int fd = -1;
    bool blocking = false;
    bool dead = false;  // unplugged while open
    bool streaming = false;
    int memfd = -1;
    uint8_t* memory = nullptr;  // the shim's own mapping of all buffers
    size_t bufferSize = 0;
    std::vector<Buffer> buffers;
    std::vector<int> queued, done;  // buffer indices in order
    std::thread pacer;
    std::condition_variable wake;
    // Frame statistics since open, logged at close.
    long delivered = 0, dropped = 0;
    double lastDelivery = -1, sumInterval = 0, sumSquares = 0, minInterval = 1e9, maxInterval = 0;
    double sumLate = 0, sumLateSquares = 0, maxLate = 0;
};

std::mutex g_lock;
std::map<int, std::shared_ptr<Open>> g_opens;
int g_owner = -1;  // the descriptor that holds buffers
std::set<DIR*> g_devDirs;
std::set<DIR*> g_devDirsListed;
bool g_unplugged = false;
Clock::time_point g_unpluggedAt;
long g_framesSinceLoad = 0;

double seconds(Clock::time_point t)
{
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

void signalReady(const Open& o)
{
    const uint64_t one = 1;
    if (write(o.fd, &one, sizeof one) < 0) {
    }
}

void clearReady(const Open& o)
{
    uint64_t n;
    if (read(o.fd, &n, sizeof n) < 0) {
    }
}

// Whether the device is there; brings it back once its replug time came.
bool present()
{
    if (g_unplugged && config().replugAfter >= 0
        && Clock::now() - g_unpluggedAt >= std::chrono::duration<double>(config().replugAfter)) {
        g_unplugged = false;
        logLine("replug %s", config().device.c_str());
    }
    return !g_unplugged;
}

void unplug()
{
    g_unplugged = true;
    g_unpluggedAt = Clock::now();
    logLine("unplug %s after %ld frames", config().device.c_str(), g_framesSinceLoad);
    for (auto& [fd, o] : g_opens) {
        o->dead = true;
        o->wake.notify_all();
        signalReady(*o);
    }
}

// Plays the clip into queued buffers at its frame rate from STREAMON; a
// frame whose time comes with no buffer queued is dropped.
void pace(std::shared_ptr<Open> o)
{
    const Clip& clip = config().clip;
    const auto period = std::chrono::duration<double>(double(clip.fpsDen) / clip.fpsNum);
    const Clock::time_point start = Clock::now();
    std::unique_lock<std::mutex> lock(g_lock);
    for (long k = 0;; ++k) {
        const auto due = start + std::chrono::duration_cast<Clock::duration>(period * k);
        o->wake.wait_until(lock, due, [&] { return !o->streaming || o->dead; });
        if (!o->streaming || o->dead)
            return;
        const Clock::time_point now = Clock::now();
        const size_t f = size_t(k) % clip.frames.size();
        if (o->queued.empty()) {
            ++o->dropped;
        } else {
            const int i = o->queued.front();
            o->queued.erase(o->queued.begin());
            Buffer& b = o->buffers[size_t(i)];
            memcpy(o->memory + size_t(i) * o->bufferSize, clip.frames[f], clip.sizes[f]);
            b.state = Buffer::Done;
            b.info.bytesused = clip.sizes[f];
            b.info.sequence = uint32_t(k);
            const double t = seconds(now);
            b.info.timestamp.tv_sec = time_t(t);
            b.info.timestamp.tv_usec = suseconds_t((t - std::floor(t)) * 1e6);
            o->done.push_back(i);
            signalReady(*o);
            o->wake.notify_all();
            if (o->lastDelivery >= 0) {
                const double d = t - o->lastDelivery;
                o->sumInterval += d;
                o->sumSquares += d * d;
                o->minInterval = std::min(o->minInterval, d);
                o->maxInterval = std::max(o->maxInterval, d);
            }
            o->lastDelivery = t;
            const double late = std::chrono::duration<double>(now - due).count();
            o->sumLate += late;
            o->sumLateSquares += late * late;
            o->maxLate = std::max(o->maxLate, late);
            ++o->delivered;
        }
        if (++g_framesSinceLoad == config().unplugAfter)
            unplug();
    }
}

void stopStreaming(Open& o, std::unique_lock<std::mutex>& lock)
{
    o.streaming = false;
    o.wake.notify_all();
    if (o.pacer.joinable()) {
        lock.unlock();
        o.pacer.join();
        lock.lock();
    }
    o.queued.clear();
    o.done.clear();
    for (Buffer& b : o.buffers)
        b.state = Buffer::Dequeued;
    clearReady(o);
}

void freeBuffers(Open& o)
{
    if (o.memory)
        munmap(o.memory, o.bufferSize * o.buffers.size());
    if (o.memfd >= 0)
        sysClose(o.memfd);
    o.memory = nullptr;
    o.memfd = -1;
    o.buffers.clear();
    if (g_owner == o.fd)
        g_owner = -1;
}

void fillFormat(v4l2_pix_format& p)
{
    const Clip& clip = config().clip;
    p = v4l2_pix_format{};
    p.width = clip.width;
    p.height = clip.height;
    p.pixelformat = config().format;
    p.field = V4L2_FIELD_NONE;
    if (config().format == V4L2_PIX_FMT_YUYV) {
        p.bytesperline = clip.width * 2;
        p.sizeimage = clip.width * clip.height * 2;
        p.colorspace = V4L2_COLORSPACE_SRGB;
    } else {
        p.sizeimage = clip.maxSize;
        p.colorspace = V4L2_COLORSPACE_JPEG;
    }
}

void fillBuffer(const Open& o, int i, v4l2_buffer* out)
{
    const Buffer& b = o.buffers[size_t(i)];
    *out = b.info;
    out->flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_EOF;
    if (b.state == Buffer::Queued)
        out->flags |= V4L2_BUF_FLAG_QUEUED;
    if (b.state == Buffer::Done)
        out->flags |= V4L2_BUF_FLAG_DONE;
}

int fail(int e)
{
    errno = e;
    return -1;
}

int deviceIoctl(const std::shared_ptr<Open>& o, unsigned long request, void* arg)
{
    std::unique_lock<std::mutex> lock(g_lock);
    present();
    if (o->dead)
        return fail(ENODEV);
    const Config& c = config();
    const Clip& clip = c.clip;
    const bool captureType = arg && *static_cast<uint32_t*>(arg) == V4L2_BUF_TYPE_VIDEO_CAPTURE;
    // Another program holds the camera: it answers, but lends nothing.
    const bool held = c.busy || (g_owner >= 0 && g_owner != o->fd);
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = v4l2_capability{};
        snprintf(reinterpret_cast<char*>(cap->driver), sizeof cap->driver, "fakewebcam");
        snprintf(reinterpret_cast<char*>(cap->card), sizeof cap->card, "%s", c.name.c_str());
        snprintf(reinterpret_cast<char*>(cap->bus_info), sizeof cap->bus_info, "usb-fakewebcam-%d", c.index);
        cap->version = (6 << 16) | (1 << 8);
        cap->device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        cap->capabilities = cap->device_caps | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_ENUMINPUT: {
        auto* in = static_cast<v4l2_input*>(arg);
        if (in->index != 0)
            return fail(EINVAL);
        *in = v4l2_input{};
        snprintf(reinterpret_cast<char*>(in->name), sizeof in->name, "Camera 1");
        in->type = V4L2_INPUT_TYPE_CAMERA;
        return 0;
    }
    case VIDIOC_G_INPUT:
        *static_cast<int*>(arg) = 0;
        return 0;
    case VIDIOC_S_INPUT:
        return *static_cast<int*>(arg) == 0 ? 0 : fail(EINVAL);
    case VIDIOC_ENUM_FMT: {
        auto* f = static_cast<v4l2_fmtdesc*>(arg);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || f->index != 0)
            return fail(EINVAL);
        f->pixelformat = c.format;
        f->flags = c.format == V4L2_PIX_FMT_MJPEG ? V4L2_FMT_FLAG_COMPRESSED : 0;
        snprintf(reinterpret_cast<char*>(f->description), sizeof f->description, "%s",
                 c.format == V4L2_PIX_FMT_MJPEG ? "Motion-JPEG" : "YUYV 4:2:2");
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* s = static_cast<v4l2_frmsizeenum*>(arg);
        if (s->index != 0 || s->pixel_format != c.format)
            return fail(EINVAL);
        s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        s->discrete = {clip.width, clip.height};
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto* s = static_cast<v4l2_frmivalenum*>(arg);
        if (s->index != 0 || s->pixel_format != c.format || s->width != clip.width || s->height != clip.height)
            return fail(EINVAL);
        s->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        s->discrete = {clip.fpsDen, clip.fpsNum};
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_TRY_FMT:
    case VIDIOC_S_FMT: {
        if (!captureType)
            return fail(EINVAL);
        if (request == VIDIOC_S_FMT && (held || !o->buffers.empty()))
            return fail(EBUSY);
        // One format at one size: any request gets it, as a driver answers.
        fillFormat(static_cast<v4l2_format*>(arg)->fmt.pix);
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        if (!captureType)
            return fail(EINVAL);
        if (request == VIDIOC_S_PARM && held)
            return fail(EBUSY);
        auto& cp = static_cast<v4l2_streamparm*>(arg)->parm.capture;
        cp = v4l2_captureparm{};
        cp.capability = V4L2_CAP_TIMEPERFRAME;
        cp.timeperframe = {clip.fpsDen, clip.fpsNum};
        cp.readbuffers = 0;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* r = static_cast<v4l2_requestbuffers*>(arg);
        if (r->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || r->memory != V4L2_MEMORY_MMAP)
            return fail(EINVAL);
        if (held)
            return fail(EBUSY);
        if (o->streaming)
            stopStreaming(*o, lock);
        freeBuffers(*o);
        r->capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
        if (r->count == 0)
            return 0;
        r->count = std::clamp<uint32_t>(r->count, 2, 32);
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        v4l2_format f{};
        fillFormat(f.fmt.pix);
        o->bufferSize = (f.fmt.pix.sizeimage + page - 1) / page * page;
        o->memfd = memfd_create("fakewebcam", MFD_CLOEXEC);
        if (o->memfd < 0 || ftruncate(o->memfd, off_t(o->bufferSize * r->count)) != 0)
            return fail(ENOMEM);
        void* m = sysMmap(o->bufferSize * r->count, PROT_READ | PROT_WRITE, MAP_SHARED, o->memfd);
        if (m == MAP_FAILED)
            return fail(ENOMEM);
        o->memory = static_cast<uint8_t*>(m);
        o->buffers.resize(r->count);
        for (uint32_t i = 0; i < r->count; ++i) {
            v4l2_buffer& b = o->buffers[i].info;
            b.index = i;
            b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            b.memory = V4L2_MEMORY_MMAP;
            b.length = uint32_t(o->bufferSize);
            b.m.offset = uint32_t(i * o->bufferSize);
            b.field = V4L2_FIELD_NONE;
        }
        g_owner = o->fd;
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF: {
        if (held)
            return fail(EBUSY);
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || b->index >= o->buffers.size())
            return fail(EINVAL);
        if (request == VIDIOC_QBUF) {
            Buffer& own = o->buffers[b->index];
            if (b->memory != V4L2_MEMORY_MMAP || own.state != Buffer::Dequeued)
                return fail(EINVAL);
            own.state = Buffer::Queued;
            o->queued.push_back(int(b->index));
        }
        fillBuffer(*o, int(b->index), b);
        return 0;
    }
    case VIDIOC_DQBUF: {
        if (held)
            return fail(EBUSY);
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || b->memory != V4L2_MEMORY_MMAP)
            return fail(EINVAL);
        if (!o->streaming)
            return fail(EINVAL);
        while (o->done.empty()) {
            if (!o->blocking)
                return fail(EAGAIN);
            o->wake.wait(lock);
            if (o->dead)
                return fail(ENODEV);
            if (!o->streaming)
                return fail(EINVAL);
        }
        const int i = o->done.front();
        o->done.erase(o->done.begin());
        o->buffers[size_t(i)].state = Buffer::Dequeued;
        if (o->done.empty())
            clearReady(*o);
        fillBuffer(*o, i, b);
        return 0;
    }
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
        if (!captureType)
            return fail(EINVAL);
        if (held)
            return fail(EBUSY);
        if (request == VIDIOC_STREAMOFF) {
            if (o->streaming)
                stopStreaming(*o, lock);
            return 0;
        }
        if (o->buffers.empty())
            return fail(EINVAL);
        if (!o->streaming) {
            o->streaming = true;
            o->pacer = std::thread(pace, o);
        }
        return 0;
    default:
        // Controls, standards, crop and the rest: none here.
        return fail(EINVAL);
    }
}

std::shared_ptr<Open> fakeOpen(int fd)
{
    std::lock_guard<std::mutex> lock(g_lock);
    const auto it = g_opens.find(fd);
    return it == g_opens.end() ? nullptr : it->second;
}

bool isDevice(const char* path)
{
    return path && config().device == path;
}

int openDevice(int flags)
{
    const Config& c = config();
    std::lock_guard<std::mutex> lock(g_lock);
    if (!present())
        return fail(ENOENT);
    if (!c.clipError.empty()) {
        logLine("error: %s", c.clipError.c_str());
        return fail(EIO);
    }
    const int fd = eventfd(0, EFD_NONBLOCK | ((flags & O_CLOEXEC) ? EFD_CLOEXEC : 0));
    if (fd < 0)
        return -1;
    auto o = std::make_shared<Open>();
    o->fd = fd;
    o->blocking = !(flags & O_NONBLOCK);
    g_opens[fd] = o;
    logLine("open %s fd=%d %ux%u %s %u/%u fps%s", c.device.c_str(), fd, c.clip.width, c.clip.height,
            c.format == V4L2_PIX_FMT_MJPEG ? "mjpeg" : "yuyv", c.clip.fpsNum, c.clip.fpsDen, c.busy ? " busy" : "");
    return fd;
}

void closeDevice(const std::shared_ptr<Open>& o)
{
    std::unique_lock<std::mutex> lock(g_lock);
    if (o->streaming || o->pacer.joinable())
        stopStreaming(*o, lock);
    freeBuffers(*o);
    g_opens.erase(o->fd);
    const long n = o->delivered > 1 ? o->delivered - 1 : 0;
    const double mean = n ? o->sumInterval / double(n) : 0;
    const double sd = n ? std::sqrt(std::max(0.0, o->sumSquares / double(n) - mean * mean)) : 0;
    const double d = double(std::max(1L, o->delivered));
    const double late = o->sumLate / d;
    const double lateSd = std::sqrt(std::max(0.0, o->sumLateSquares / d - late * late));
    logLine("close %s fd=%d delivered=%ld dropped=%ld interval_mean_ms=%.3f interval_sd_ms=%.3f "
            "interval_min_ms=%.3f interval_max_ms=%.3f late_mean_ms=%.3f late_sd_ms=%.3f late_max_ms=%.3f",
            config().device.c_str(), o->fd, o->delivered, o->dropped, mean * 1e3, sd * 1e3,
            n ? o->minInterval * 1e3 : 0, o->maxInterval * 1e3, late * 1e3, lateSd * 1e3, o->maxLate * 1e3);
}

// The node's metadata: a character device of the video major number.
template <typename Stat>
void fillStat(Stat* st)
{
    memset(st, 0, sizeof *st);
    st->st_mode = S_IFCHR | 0666;
    st->st_nlink = 1;
    st->st_rdev = makedev(81, unsigned(config().index));
    st->st_ino = 0x7a000 + ino_t(config().index);
    st->st_blksize = 4096;
    st->st_mtim.tv_sec = st->st_atim.tv_sec = st->st_ctim.tv_sec = time(nullptr);
}

bool pathPresent(const char* path)
{
    if (!isDevice(path))
        return false;
    std::lock_guard<std::mutex> lock(g_lock);
    return present();
}

bool pathGone(const char* path)
{
    if (!isDevice(path))
        return false;
    std::lock_guard<std::mutex> lock(g_lock);
    return !present();
}

bool isDeviceDir(const char* path)
{
    if (!path)
        return false;
    std::string p(path);
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p == config().dir;
}

template <typename Dirent>
Dirent* fakeEntry()
{
    static Dirent e;
    memset(&e, 0, sizeof e);
    e.d_ino = 0x7a000 + config().index;
    e.d_type = DT_CHR;
    e.d_reclen = sizeof e;
    snprintf(e.d_name, sizeof e.d_name, "%s", config().base.c_str());
    return &e;
}

// readdir() over the device's folder: the real entries, the real node of
// the same name left out, and the fake node last while it is plugged in.
template <typename Dirent>
Dirent* listDir(DIR* dir, Dirent* (*next)(DIR*))
{
    bool tracked;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        tracked = g_devDirs.count(dir) != 0;
    }
    for (;;) {
        Dirent* e = next(dir);
        if (!tracked)
            return e;
        if (e && config().base == e->d_name)
            continue;
        if (e)
            return e;
        std::lock_guard<std::mutex> lock(g_lock);
        if (g_devDirsListed.count(dir) || !present())
            return nullptr;
        g_devDirsListed.insert(dir);
        return fakeEntry<Dirent>();
    }
}

}  // namespace

// ------------------------------------------------------------ glibc entry points

extern "C" {

// The mode argument, present only when a file may be created.
#define MODE_ARG(flags)                                                                                                \
    mode_t mode = 0;                                                                                                   \
    if ((flags) & (O_CREAT | O_TMPFILE)) {                                                                             \
        va_list ap;                                                                                                    \
        va_start(ap, flags);                                                                                           \
        mode = va_arg(ap, mode_t);                                                                                     \
        va_end(ap);                                                                                                    \
    }

int open(const char* path, int flags, ...)
{
    REAL(open);
    MODE_ARG(flags);
    return isDevice(path) ? openDevice(flags) : real_open(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    REAL(open64);
    MODE_ARG(flags);
    return isDevice(path) ? openDevice(flags) : real_open64(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...)
{
    REAL(openat);
    MODE_ARG(flags);
    return isDevice(path) ? openDevice(flags) : real_openat(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...)
{
    REAL(openat64);
    MODE_ARG(flags);
    return isDevice(path) ? openDevice(flags) : real_openat64(dirfd, path, flags, mode);
}

// The fortified forms, for callers built with _FORTIFY_SOURCE.
int __open_2(const char* path, int flags)
{
    static const auto next = real<int (*)(const char*, int)>("__open_2");
    return isDevice(path) ? openDevice(flags) : next(path, flags);
}

int __open64_2(const char* path, int flags)
{
    static const auto next = real<int (*)(const char*, int)>("__open64_2");
    return isDevice(path) ? openDevice(flags) : next(path, flags);
}

int close(int fd)
{
    REAL(close);
    if (auto o = fakeOpen(fd))
        closeDevice(o);
    return real_close(fd);
}

int ioctl(int fd, unsigned long request, ...)
{
    REAL(ioctl);
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (auto o = fakeOpen(fd))
        return deviceIoctl(o, request, arg);
    return real_ioctl(fd, request, arg);
}

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    REAL(mmap);
    if (auto o = fakeOpen(fd)) {
        std::lock_guard<std::mutex> lock(g_lock);
        if (o->dead) {
            errno = ENODEV;
            return MAP_FAILED;
        }
        if (o->memfd < 0 || offset < 0 || size_t(offset) + length > o->bufferSize * o->buffers.size()) {
            errno = EINVAL;
            return MAP_FAILED;
        }
        return real_mmap(addr, length, prot, flags, o->memfd, offset);
    }
    return real_mmap(addr, length, prot, flags, fd, offset);
}

void* mmap64(void* addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    return mmap(addr, length, prot, flags, fd, offset);
}

DIR* opendir(const char* path)
{
    REAL(opendir);
    DIR* d = real_opendir(path);
    if (d && isDeviceDir(path)) {
        std::lock_guard<std::mutex> lock(g_lock);
        g_devDirs.insert(d);
        g_devDirsListed.erase(d);
    }
    return d;
}

int closedir(DIR* dir)
{
    REAL(closedir);
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_devDirs.erase(dir);
        g_devDirsListed.erase(dir);
    }
    return real_closedir(dir);
}

void rewinddir(DIR* dir)
{
    REAL(rewinddir);
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_devDirsListed.erase(dir);
    }
    real_rewinddir(dir);
}

struct dirent* readdir(DIR* dir)
{
    REAL(readdir);
    return listDir<struct dirent>(dir, real_readdir);
}

struct dirent64* readdir64(DIR* dir)
{
    REAL(readdir64);
    return listDir<struct dirent64>(dir, real_readdir64);
}

int statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out)
{
    REAL(statx);
    if (pathGone(path))
        return fail(ENOENT);
    if (!pathPresent(path))
        return real_statx(dirfd, path, flags, mask, out);
    memset(out, 0, sizeof *out);
    out->stx_mask = STATX_BASIC_STATS;
    out->stx_mode = S_IFCHR | 0666;
    out->stx_nlink = 1;
    out->stx_blksize = 4096;
    out->stx_ino = 0x7a000 + uint64_t(config().index);
    out->stx_rdev_major = 81;
    out->stx_rdev_minor = unsigned(config().index);
    out->stx_atime.tv_sec = out->stx_mtime.tv_sec = out->stx_ctime.tv_sec = time(nullptr);
    return 0;
}

#define STAT_ENTRY(name, type)                                                                                         \
    int name(const char* path, struct type* st)                                                                        \
    {                                                                                                                  \
        REAL(name);                                                                                                    \
        if (pathGone(path))                                                                                            \
            return fail(ENOENT);                                                                                       \
        if (!pathPresent(path))                                                                                        \
            return real_##name(path, st);                                                                              \
        fillStat(st);                                                                                                  \
        return 0;                                                                                                      \
    }
STAT_ENTRY(stat, stat)
STAT_ENTRY(stat64, stat64)
STAT_ENTRY(lstat, stat)
STAT_ENTRY(lstat64, stat64)

#define FSTATAT_ENTRY(name, type)                                                                                      \
    int name(int dirfd, const char* path, struct type* st, int flags)                                                  \
    {                                                                                                                  \
        REAL(name);                                                                                                    \
        if (pathGone(path))                                                                                            \
            return fail(ENOENT);                                                                                       \
        if (!pathPresent(path))                                                                                        \
            return real_##name(dirfd, path, st, flags);                                                                \
        fillStat(st);                                                                                                  \
        return 0;                                                                                                      \
    }
FSTATAT_ENTRY(fstatat, stat)
FSTATAT_ENTRY(fstatat64, stat64)

#define FSTAT_ENTRY(name, type)                                                                                        \
    int name(int fd, struct type* st)                                                                                  \
    {                                                                                                                  \
        REAL(name);                                                                                                    \
        if (!fakeOpen(fd))                                                                                             \
            return real_##name(fd, st);                                                                                \
        fillStat(st);                                                                                                  \
        return 0;                                                                                                      \
    }
FSTAT_ENTRY(fstat, stat)
FSTAT_ENTRY(fstat64, stat64)

int access(const char* path, int how)
{
    REAL(access);
    if (pathGone(path))
        return fail(ENOENT);
    return pathPresent(path) ? 0 : real_access(path, how);
}

int faccessat(int dirfd, const char* path, int how, int flags)
{
    REAL(faccessat);
    if (pathGone(path))
        return fail(ENOENT);
    return pathPresent(path) ? 0 : real_faccessat(dirfd, path, how, flags);
}

char* realpath(const char* path, char* resolved)
{
    REAL(realpath);
    if (pathGone(path)) {
        errno = ENOENT;
        return nullptr;
    }
    if (!pathPresent(path))
        return real_realpath(path, resolved);
    if (!resolved)
        return strdup(path);
    snprintf(resolved, PATH_MAX, "%s", path);
    return resolved;
}

ssize_t readlink(const char* path, char* buf, size_t size)
{
    REAL(readlink);
    if (pathGone(path))
        return fail(ENOENT);
    return pathPresent(path) ? fail(EINVAL) : real_readlink(path, buf, size);
}

}  // extern "C"
