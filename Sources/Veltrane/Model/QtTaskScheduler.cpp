#include "Veltrane/Model/TaskScheduler.hpp"

#include <QTimer>

namespace veltrane {

namespace {

class QtScheduledTask final : public ScheduledTask {
public:
    struct State {
        std::function<void()> work;
        bool cancelled = false;
    };

    explicit QtScheduledTask(std::shared_ptr<State> state) : state_(std::move(state)) {}

    // The timer is not stopped: when it fires, it finds the work gone. Dropping the work at once frees
    // what it captured (an autosave's project copy) without waiting for the delay.
    void cancel() override
    {
        state_->cancelled = true;
        state_->work = nullptr;
    }
    bool isCancelled() const override { return state_->cancelled; }

private:
    std::shared_ptr<State> state_;
};

} // namespace

std::shared_ptr<ScheduledTask> QtTaskScheduler::after(std::chrono::milliseconds delay, std::function<void()> work)
{
    auto state = std::make_shared<QtScheduledTask::State>();
    state->work = std::move(work);
    QTimer::singleShot(delay, Qt::PreciseTimer, [state] {
        if (state->cancelled || !state->work) return;
        auto run = std::move(state->work);
        state->work = nullptr;
        run();
    });
    return std::make_shared<QtScheduledTask>(std::move(state));
}

} // namespace veltrane
