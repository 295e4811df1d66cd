#include "crash/base/random.h"

#include <fcntl.h>
#include <limits>
#include <mutex>
#include <unistd.h>

#include "crash/base/eintr.h"
#include "crash/base/logging.h"

namespace base {

namespace {

int UrandomFD()
{
    static int fd = -1;
    static std::once_flag once;
    std::call_once(once, [] {
        fd = HANDLE_EINTR(open("/dev/urandom", O_RDONLY | O_NOCTTY | O_CLOEXEC));
        PCHECK(fd >= 0) << "open /dev/urandom";
    });
    return fd;
}

}  // namespace

void RandBytes(void* output, size_t size)
{
    char* at = static_cast<char*>(output);
    while (size > 0) {
        const ssize_t got = HANDLE_EINTR(read(UrandomFD(), at, size));
        CHECK(got > 0);
        at += got;
        size -= static_cast<size_t>(got);
    }
}

std::string RandBytesAsString(size_t size)
{
    std::string result(size, '\0');
    if (size)
        RandBytes(&result[0], size);
    return result;
}

uint64_t RandUint64()
{
    uint64_t value;
    RandBytes(&value, sizeof(value));
    return value;
}

uint64_t RandGenerator(uint64_t range)
{
    CHECK_GT(range, 0u);
    // Values at or above the largest multiple of range would favour the
    // low results, so they are drawn again.
    const uint64_t limit = std::numeric_limits<uint64_t>::max() - std::numeric_limits<uint64_t>::max() % range;
    uint64_t value;
    do {
        value = RandUint64();
    } while (value >= limit);
    return value % range;
}

int RandInt(int min, int max)
{
    CHECK_LE(min, max);
    const uint64_t range = static_cast<uint64_t>(static_cast<int64_t>(max) - min) + 1;
    return static_cast<int>(min + static_cast<int64_t>(RandGenerator(range)));
}

double RandDouble()
{
    return static_cast<double>(RandUint64() >> 11) * (1.0 / 9007199254740992.0);
}

std::string RandomString()
{
    std::string result(16, 'A');
    for (char& c : result)
        c = static_cast<char>('A' + RandInt(0, 25));
    return result;
}

}  // namespace base
