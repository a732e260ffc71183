#pragma once
// What a hand-over between threads guarantees, said where ThreadSanitizer can
// hear it. Qt's post queue, semaphores and thread ends synchronise inside
// libQt6Core, which is not instrumented, so the sanitizer cannot see them:
// everything a thread wrote before HandOverRelease(token) happens before
// whatever another thread does after HandOverAcquire(token) on the same token,
// once the hand-over itself has ordered the two calls. Both compile to nothing
// outside the sanitizer's build.

#if defined(__SANITIZE_THREAD__)
#define ZUVO_TSAN_BUILD 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZUVO_TSAN_BUILD 1
#endif
#endif

#ifdef ZUVO_TSAN_BUILD
#include <sanitizer/tsan_interface.h>

// Whether the calls below do anything: a token that costs something to find is
// looked up only when they do.
inline constexpr bool kHandOverAnnotated = true;
inline void HandOverRelease(const void* token) {
    __tsan_release(const_cast<void*>(token));
}
inline void HandOverAcquire(const void* token) {
    __tsan_acquire(const_cast<void*>(token));
}
#else
inline constexpr bool kHandOverAnnotated = false;
inline void HandOverRelease(const void*) {}
inline void HandOverAcquire(const void*) {}
#endif
