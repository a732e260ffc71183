// Linked into the test programs of the ThreadSanitizer build only.
//
// QProcess starts its child with clone(CLONE_VM | CLONE_VFORK): the child runs
// in the parent's memory until it execs. ThreadSanitizer's clone interceptor
// treats every clone as a fork and, in the child, marks the runtime as "forked
// while multi-threaded" and the calling thread as ignoring synchronisation.
// With CLONE_VM those writes land in the parent: from then on the test program
// reports races that are none and dies at its next new thread. Newer Qt
// releases start children with a plain fork under a sanitizer for this reason;
// here the same is done below Qt, so the child gets a copy of the memory and
// the parent's state stays its own.

#include <cstdarg>
#include <dlfcn.h>
#include <sched.h>
#include <sys/types.h>

extern "C" int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...) {
    using TClone = int (*)(int (*)(void*), void*, int, void*, pid_t*, void*, pid_t*);
    // The sanitizer's own clone, which keeps its bookkeeping of the fork.
    static const auto next = reinterpret_cast<TClone>(dlsym(RTLD_NEXT, "clone"));
    va_list rest;
    va_start(rest, arg);
    auto* parentTid = va_arg(rest, pid_t*);
    void* tls = va_arg(rest, void*);
    auto* childTid = va_arg(rest, pid_t*);
    va_end(rest);
    // A thread shares the memory by design; a process start need not.
    if ((flags & CLONE_VM) != 0 && (flags & CLONE_THREAD) == 0)
        flags &= ~(CLONE_VM | CLONE_VFORK);
    return next(fn, stack, flags, arg, parentTid, tls, childTid);
}
