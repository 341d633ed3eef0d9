#pragma once

#include <pthread.h>

namespace veltrane::detail {

// libjack runs a client's process thread with asynchronous cancellation, and cancels it when the client
// is closed under a server that died. A cancel landing inside one of our noexcept functions ends the
// whole process (the unwind may not leave a noexcept frame). So a callback from such a thread does its
// work with cancellation held off, and lets it go again as its last step: a cancel that came meanwhile
// then unwinds from the callback itself, which is not noexcept, through the library's own frames.
// Neither function may be called from a noexcept function or a destructor.
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
