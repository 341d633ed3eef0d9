#pragma once

// Delayed work of the model (the autosave delay, later the transport's loops) runs on the main thread's
// event loop behind this small interface, so that tests drive time themselves instead of sleeping.
//
//     auto task = scheduler.after(std::chrono::milliseconds(500), [] { ... });   // main thread, later
//     task->cancel();                                                           // never runs then
//
// A task runs at most once, on the thread that owns the scheduler, and never after `cancel()`.

#include <chrono>
#include <functional>
#include <memory>

class QObject;

namespace veltrane {

class ScheduledTask {
public:
    virtual ~ScheduledTask() = default;
    /// The work will not run (nothing when it already ran).
    virtual void cancel() = 0;
    virtual bool isCancelled() const = 0;
};

class TaskScheduler {
public:
    virtual ~TaskScheduler() = default;
    /// Runs `work` once after `delay` on the main thread. Dropping the handle does not cancel the task.
    virtual std::shared_ptr<ScheduledTask> after(std::chrono::milliseconds delay, std::function<void()> work) = 0;
};

/// Tasks on the Qt event loop of the calling thread (precise timers).
class QtTaskScheduler final : public TaskScheduler {
public:
    std::shared_ptr<ScheduledTask> after(std::chrono::milliseconds delay, std::function<void()> work) override;
};

} // namespace veltrane
