// The private folder that every port's socket is bound in (see
// README-ports.md): abstract addresses carry no permissions, a socket file
// in a folder that only this user may enter does.

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "crash/port/port.h"
#include "crash/port/port_p.h"

namespace crashwatch {

using namespace port_internal;

namespace {

// The longest entry name: "s.#" and a 96-bit hash in hex (a service name of
// up to 24 bytes stands as it is), so that the cache folder of a long home
// still fits in a socket address.
constexpr size_t kLongestEntry = 27;
// A socket file younger than this is never taken for one left behind: it
// may be bound this very moment.
constexpr time_t kStaleAfterSeconds = 2;

std::string g_directory;

uint64_t Fnv(const char* text, size_t length, uint64_t seed, uint64_t step)
{
    uint64_t hash = seed;
    for (size_t i = 0; i < length; ++i)
        hash = (hash ^ static_cast<unsigned char>(text[i])) * 0x100000001b3u + step * i;
    return hash;
}

bool Fits(const std::string& folder)
{
    // The folder, "/", the entry and the terminator.
    return !folder.empty() && folder[0] == '/' && folder.size() + 1 + kLongestEntry + 1 <= sizeof(sockaddr_un::sun_path);
}

// Opens path when it is a real folder (not a link) of this user; the checks
// and any change go through this one descriptor of the folder itself, so
// nothing can be swapped in between. -1 otherwise.
int OpenOwnFolder(const std::string& path, struct stat* st)
{
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && (fstat(fd, st) != 0 || !S_ISDIR(st->st_mode) || st->st_uid != geteuid())) {
        Close(fd);
        return -1;
    }
    return fd;
}

// Whether path is a real folder of this user that nobody else may enter.
bool IsPrivateFolder(const std::string& path)
{
    struct stat st;
    const int fd = OpenOwnFolder(path, &st);
    const bool ok = fd >= 0 && (st.st_mode & 077) == 0;
    Close(fd);
    return ok;
}

// Makes path a real folder of this user that nobody else may enter: creates
// it where missing and closes a folder of this user that is open to others.
bool MakePrivateFolder(const std::string& path)
{
    mkdir(path.c_str(), 0700);
    struct stat st;
    const int fd = OpenOwnFolder(path, &st);
    const bool ok = fd >= 0 && ((st.st_mode & 077) == 0 || fchmod(fd, st.st_mode & 07700) == 0);
    Close(fd);
    return ok;
}

// mkdir -p of the folders above path, private where new.
void MakeParents(const std::string& path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
}

std::string Environment(const char* name)
{
    const char* value = getenv(name);
    return value ? value : "";
}

// The host's own folder under the user's cache: a home may be shared by
// several machines, whose sockets do not meet.
std::string CacheFolder()
{
    std::string cache = Environment("XDG_CACHE_HOME");
    if (cache.empty() || cache[0] != '/') {
        const std::string home = Environment("HOME");
        if (home.empty())
            return std::string();
        cache = home + "/.cache";
    }
    utsname host = {};
    uname(&host);
    char hash[24];
    snprintf(hash, sizeof(hash), "%08llx",
             static_cast<unsigned long long>(Fnv(host.nodename, strlen(host.nodename), 0xcbf29ce484222325u, 0) &
                                             0xffffffffu));
    return cache + "/crashwatch-" + hash;
}

// Removes socket files whose socket is gone (left by a process that
// crashed): a connect to them is refused.
void RemoveLeftSockets(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    const time_t now = time(nullptr);
    while (const dirent* entry = readdir(dir)) {
        const std::string path = folder + "/" + entry->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || now - st.st_mtime < kStaleAfterSeconds)
            continue;
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof(address.sun_path))
            continue;
        memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 &&
            errno == ECONNREFUSED)
            unlink(path.c_str());
        Close(fd);
    }
    closedir(dir);
}

void ChooseDirectory()
{
    // A folder given by the process that started this one (the crash
    // handler gets the program's), else: the runtime folder, the temporary
    // folder, the cache folder, the first one that is private and short
    // enough for a socket address.
    std::string chosen;
    const std::string given = Environment(kPortDirectoryVariable);
    if (Fits(given) && MakePrivateFolder(given))
        chosen = given;
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    if (chosen.empty() && Fits(runtime + "/crashwatch") && IsPrivateFolder(runtime) &&
        MakePrivateFolder(runtime + "/crashwatch"))
        chosen = runtime + "/crashwatch";
    std::string temporary = Environment("TMPDIR");
    if (temporary.empty() || temporary[0] != '/')
        temporary = "/tmp";
    temporary += "/crashwatch-" + std::to_string(geteuid());
    if (chosen.empty() && Fits(temporary) && MakePrivateFolder(temporary))
        chosen = temporary;
    const std::string cache = CacheFolder();
    if (chosen.empty() && Fits(cache)) {
        MakeParents(cache);
        if (MakePrivateFolder(cache))
            chosen = cache;
    }
    if (chosen.empty()) {
        const std::string text = "no private folder for the ports (" + temporary + ", " + cache +
                                 "): no port can be made";
        ReportWarning(__FILE__, __LINE__, text.c_str());
        return;
    }
    RemoveLeftSockets(chosen);
    g_directory = chosen;
}

const std::string& Directory()
{
    static pthread_once_t once = PTHREAD_ONCE_INIT;
    pthread_once(&once, ChooseDirectory);
    return g_directory;
}

bool AddressOf(const std::string& entry, sockaddr_un* address, socklen_t* length)
{
    const std::string& folder = Directory();
    if (folder.empty()) {
        errno = ENOENT;
        return false;
    }
    const std::string path = folder + "/" + entry;
    *address = {};
    address->sun_family = AF_UNIX;
    memcpy(address->sun_path, path.c_str(), path.size() + 1);
    *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

}  // namespace

const char* PortDirectory() { return Directory().c_str(); }

namespace port_internal {

bool ServiceAddress(const char* name, sockaddr_un* address, socklen_t* length)
{
    const size_t name_length = strlen(name);
    std::string entry = "s.";
    if (name_length <= kLongestEntry - 3 && !memchr(name, '/', name_length)) {
        entry += name;
    } else {
        char hash[40];
        snprintf(hash, sizeof(hash), "#%016llx%08llx",
                 static_cast<unsigned long long>(Fnv(name, name_length, 0xcbf29ce484222325u, 0)),
                 static_cast<unsigned long long>(Fnv(name, name_length, 0x84222325cbf29ce4u, 1) & 0xffffffffu));
        entry += hash;
    }
    return AddressOf(entry, address, length);
}

bool NewPortAddress(sockaddr_un* address, socklen_t* length)
{
    uint64_t random = 0;
    if (getrandom(&random, sizeof(random), GRND_NONBLOCK) != sizeof(random)) {
        static uint64_t counter = 0;
        random = Fnv(reinterpret_cast<const char*>(&counter), sizeof(counter),
                     static_cast<uint64_t>(getpid()) ^ MonotonicTimeNanoseconds(), ++counter);
    }
    char entry[24];
    snprintf(entry, sizeof(entry), "p.%016llx", static_cast<unsigned long long>(random));
    return AddressOf(entry, address, length);
}

bool TakeOverLeftSocket(const sockaddr_un& address)
{
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool left = fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 &&
                      errno == ECONNREFUSED;
    Close(fd);
    return left && unlink(address.sun_path) == 0;
}

void RemovePortFile(int recv)
{
    sockaddr_un address = {};
    socklen_t length = sizeof(address);
    if (getsockname(recv, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        length <= offsetof(sockaddr_un, sun_path) || address.sun_path[0] != '/')
        return;
    const std::string& folder = Directory();
    if (!folder.empty() && strncmp(address.sun_path, folder.c_str(), folder.size()) == 0 &&
        address.sun_path[folder.size()] == '/')
        unlink(address.sun_path);
}

}  // namespace port_internal
}  // namespace crashwatch
