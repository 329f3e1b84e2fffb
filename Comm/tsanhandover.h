// ThreadSanitizer cannot see the locks inside Qt, which is not built with it:
// where only a queued signal through Qt's event queue orders one thread's last
// steps before another thread's next ones, these two calls tell it so. They
// compile to nothing in every other build.
#pragma once

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_release(void* address);
extern "C" void __tsan_acquire(void* address);
#endif

namespace vantor {

// On the sending thread, right before the queued signal.
inline void handOverThroughQueuedSignal([[maybe_unused]] void* object)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(object);
#endif
}

// On the receiving thread, in the slot.
inline void takeOverFromQueuedSignal([[maybe_unused]] void* object)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(object);
#endif
}

}  // namespace vantor
