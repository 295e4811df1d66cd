#pragma once
// Alternate signal stacks for the threads the program starts. The crash
// handlers run on the crashing thread's alternate stack; a thread without
// one cannot run them once its own stack has overflowed, and its crash
// would go unreported. The crash client gives one to the thread that
// installs the handlers (the main thread); every other thread of the
// program's own gets one here.

class QThread;

namespace threadsignalstack {

// Gives the calling thread an alternate signal stack unless it has one;
// the stack is freed when the thread ends. False when none could be made.
bool installForCurrentThread();

// A new thread (without parent) that gives itself an alternate signal
// stack as soon as it starts, before any other receiver of its started()
// runs, and so before anything that runs on it.
QThread* newThread();

}  // namespace threadsignalstack
