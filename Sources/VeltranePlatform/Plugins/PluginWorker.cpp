#include "VeltranePlatform/Plugins/PluginWorker.hpp"

namespace veltrane::detail {

namespace {

// Requests and answers are small (a path, a pointer, a few numbers); a plug-in that sends more in one
// block than this is told there is no room, as the worker protocol foresees.
constexpr std::size_t queueBytes = 1 << 16;

} // namespace

PluginWorker::PluginWorker(Mode mode)
    : mode_(mode), requests_(queueBytes), responses_(queueBytes), requestScratch_(requests_.capacity()),
      responseScratch_(responses_.capacity())
{
    schedule_.handle = this;
    schedule_.schedule_work = &PluginWorker::schedule;
    feature_ = {LV2_WORKER__schedule, &schedule_};
}

PluginWorker::~PluginWorker()
{
    if (thread_.joinable()) {
        stopping_.store(true);
        pending_.release();
        thread_.join();
    }
}

void PluginWorker::start(LV2_Handle instance, const LV2_Worker_Interface* interface)
{
    instance_ = instance;
    interface_ = interface && interface->work ? interface : nullptr;
    if (!interface_)
        return;
    if (mode_ == Mode::thread) {
        if (!thread_.joinable())
            thread_ = std::thread([this] { workLoop(); });
        pending_.release();
        return;
    }
    std::uint32_t size = 0;
    while (requests_.pop(size, requestScratch_.data()))
        interface_->work(instance_, &PluginWorker::respond, this, size, requestScratch_.data());
}

LV2_Worker_Status PluginWorker::schedule(LV2_Worker_Schedule_Handle handle, std::uint32_t size, const void* data)
{
    auto& self = *static_cast<PluginWorker*>(handle);
    if (!self.interface_) {
        // Asked while it is being made: the work waits until the plug-in can be asked to do it.
        return self.requests_.push(size, data) ? LV2_WORKER_SUCCESS : LV2_WORKER_ERR_NO_SPACE;
    }
    if (self.mode_ == Mode::immediate)
        return self.interface_->work(self.instance_, &PluginWorker::respond, &self, size, data);
    if (!self.requests_.push(size, data))
        return LV2_WORKER_ERR_NO_SPACE;
    self.pending_.release();
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status PluginWorker::respond(LV2_Worker_Respond_Handle handle, std::uint32_t size, const void* data)
{
    auto& self = *static_cast<PluginWorker*>(handle);
    return self.responses_.push(size, data) ? LV2_WORKER_SUCCESS : LV2_WORKER_ERR_NO_SPACE;
}

void PluginWorker::endRun() noexcept
{
    if (!interface_)
        return;
    std::uint32_t size = 0;
    while (responses_.pop(size, responseScratch_.data())) {
        if (interface_->work_response)
            interface_->work_response(instance_, size, responseScratch_.data());
    }
    if (interface_->end_run)
        interface_->end_run(instance_);
}

void PluginWorker::workLoop()
{
    for (;;) {
        pending_.acquire();
        if (stopping_.load())
            return;
        std::uint32_t size = 0;
        while (!stopping_.load() && requests_.pop(size, requestScratch_.data())) {
            std::lock_guard lock(workMutex_);
            interface_->work(instance_, &PluginWorker::respond, this, size, requestScratch_.data());
        }
    }
}

} // namespace veltrane::detail
