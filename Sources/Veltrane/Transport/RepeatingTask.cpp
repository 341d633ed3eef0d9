#include "Veltrane/Transport/RepeatingTask.hpp"

namespace veltrane {

namespace {

class RepeatingTask final : public ScheduledTask, public std::enable_shared_from_this<RepeatingTask> {
public:
    RepeatingTask(std::shared_ptr<TaskScheduler> scheduler, LoopPass pass)
        : scheduler_(std::move(scheduler)), pass_(std::move(pass))
    {
    }

    void cancel() override
    {
        cancelled_ = true;
        if (next_) next_->cancel();
        next_.reset();
        pass_ = nullptr; // frees what the loop holds at once
    }
    bool isCancelled() const override { return cancelled_; }

    void sleep(std::chrono::milliseconds delay)
    {
        // The pending wake-up holds the loop; the loop holds the wake-up only to cancel it.
        next_ = scheduler_->after(delay, [self = shared_from_this()] { self->wake(); });
    }

private:
    void wake()
    {
        next_.reset();
        if (cancelled_ || !pass_) return;
        // The pass may cancel its own loop (the position loop stops playback): it runs from a local
        // copy, which outlives the call, and comes back only when the loop goes on.
        auto pass = std::move(pass_);
        pass_ = nullptr;
        const auto delay = pass();
        if (cancelled_ || !delay) return;
        pass_ = std::move(pass);
        sleep(*delay);
    }

    std::shared_ptr<TaskScheduler> scheduler_;
    LoopPass pass_;
    std::shared_ptr<ScheduledTask> next_;
    bool cancelled_ = false;
};

} // namespace

std::shared_ptr<ScheduledTask> repeatTask(const std::shared_ptr<TaskScheduler>& scheduler,
                                          std::chrono::milliseconds firstDelay, LoopPass pass)
{
    auto task = std::make_shared<RepeatingTask>(scheduler, std::move(pass));
    task->sleep(firstDelay);
    return task;
}

} // namespace veltrane
