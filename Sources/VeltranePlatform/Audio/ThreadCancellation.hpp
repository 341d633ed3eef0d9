#pragma once

#include <pthread.h>

namespace veltrane::detail {

// libjack runs a client's process thread with asynchronous cancellation (its waits are raw futex calls,
// which a deferred cancel would never interrupt), and cancels it when the client is closed under a
// server that died. A cancel landing inside one of our noexcept functions would end the whole process,
// since the unwind may not leave such a frame. So each callback on such a thread does its work with
// cancellation held off, and lets it go as its last step: a cancel that came meanwhile then unwinds
// from the callback itself, which is not noexcept. Neither function may be called from a noexcept
// function or a destructor.
inline int holdThreadCancellation()
{
    int previous = PTHREAD_CANCEL_ENABLE;
    ::pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous);
    return previous;
}

inline void releaseThreadCancellation(int previous)
{
    ::pthread_setcancelstate(previous, nullptr);
}

} // namespace veltrane::detail
