#include "app/threadsignalstack.h"

#include <QThread>

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace threadsignalstack {

namespace {

// Enough for the crash handlers; a guard page below catches a handler
// that would run past it.
constexpr size_t kStackSize = 64 * 1024;

struct Mapping {
    void* memory;
    size_t size;
};

pthread_key_t g_key;
pthread_once_t g_once = PTHREAD_ONCE_INIT;

// Runs as the thread ends: the stack is switched off before its memory goes.
void release(void* value)
{
    auto* mapping = static_cast<Mapping*>(value);
    stack_t off = {};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(mapping->memory, mapping->size);
    delete mapping;
}

void createKey() { pthread_key_create(&g_key, release); }

}  // namespace

bool installForCurrentThread()
{
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
        return true;
    pthread_once(&g_once, createKey);
    const long page = sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096;
    const long minimum = sysconf(_SC_SIGSTKSZ);
    const size_t stackSize = std::max(kStackSize, minimum > 0 ? size_t(minimum) * 4 : size_t(0));
    const size_t size = stackSize + size_t(page);
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED)
        return false;
    mprotect(memory, size_t(page), PROT_NONE);
    stack_t stack = {};
    stack.ss_sp = static_cast<char*>(memory) + page;
    stack.ss_size = stackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(memory, size);
        return false;
    }
    if (pthread_setspecific(g_key, new Mapping{memory, size}) != 0) {
        // Without the key the stack could not be freed: keep the thread
        // on its own stack rather than leak.
        stack_t off = {};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(memory, size);
        return false;
    }
    return true;
}

QThread* newThread()
{
    auto* thread = new QThread();
    // The first connection of started(), made before anyone else's, and
    // direct: it runs on the new thread ahead of the other receivers.
    QObject::connect(
        thread, &QThread::started, thread, [] { installForCurrentThread(); }, Qt::DirectConnection);
    return thread;
}

}  // namespace threadsignalstack
