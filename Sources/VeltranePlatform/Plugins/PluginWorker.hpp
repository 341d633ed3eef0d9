#pragma once

#include "VeltranePlatform/Plugins/PluginMessageRing.hpp"

#include <lv2/core/lv2.h>
#include <lv2/worker/worker.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

namespace veltrane::detail {

/// The host side of a plug-in's worker: the `work:schedule` feature the plug-in asks for work with, and
/// the delivery of the worker's answers back to the audio thread.
///
/// Live, the work runs on a thread of its own: requests go from the audio thread to it, and answers
/// back, through lock-free queues, and the audio thread hands the answers to the plug-in after each
/// run. Offline, the work is done at once inside the request, on the rendering thread, so an export
/// does not depend on how fast a thread happened to be and renders the same bytes every time.
class PluginWorker {
public:
    enum class Mode { thread, immediate };

    explicit PluginWorker(Mode mode);
    /// Stops the thread; the work still queued is dropped.
    ~PluginWorker();
    PluginWorker(const PluginWorker&) = delete;
    PluginWorker& operator=(const PluginWorker&) = delete;

    /// The feature to give the plug-in; valid for the worker's life.
    const LV2_Feature* feature() const noexcept { return &feature_; }

    /// Connects the plug-in's worker interface once it runs (nullptr when it has none: requests are then
    /// refused) and starts the thread.
    void start(LV2_Handle instance, const LV2_Worker_Interface* interface);

    /// Audio thread, after each run: hands every answer that arrived to the plug-in, then ends its run.
    void endRun() noexcept;

    /// Held while the plug-in works on the thread; whoever saves or restores the plug-in's state holds
    /// it too, as the plug-in may not be asked to do both at once.
    std::mutex& workMutex() noexcept { return workMutex_; }

private:
    static LV2_Worker_Status schedule(LV2_Worker_Schedule_Handle handle, std::uint32_t size, const void* data);
    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, std::uint32_t size, const void* data);
    void workLoop();

    Mode mode_;
    LV2_Handle instance_ = nullptr;
    const LV2_Worker_Interface* interface_ = nullptr;
    LV2_Worker_Schedule schedule_{};
    LV2_Feature feature_{};

    PluginMessageRing requests_;
    PluginMessageRing responses_;
    // Where a message is copied while it is handed over: one for the thread, one for the audio thread.
    std::vector<std::uint8_t> requestScratch_;
    std::vector<std::uint8_t> responseScratch_;
    std::mutex workMutex_;
    std::counting_semaphore<> pending_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace veltrane::detail
