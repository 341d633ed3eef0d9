#pragma once

// A loop on the model's task scheduler: the playback position loop, the meter polling loop and the
// clock send loop each wake, do one pass and sleep again. The pass says how long to sleep, or that the
// loop ends; cancelling the handle ends it before its next pass.
//
//     auto loop = repeatTask(scheduler, 0ms, [] { ...; return std::optional(8ms); });
//     loop->cancel();

#include "Veltrane/Model/TaskScheduler.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace veltrane {

/// One pass of a loop: the time to sleep before the next, or none to end the loop.
using LoopPass = std::function<std::optional<std::chrono::milliseconds>()>;

/// Runs `pass` after `firstDelay`, then again after each delay it returns, on `scheduler`, until it
/// returns none or the returned handle is cancelled. Dropping the handle does not end the loop.
std::shared_ptr<ScheduledTask> repeatTask(const std::shared_ptr<TaskScheduler>& scheduler,
                                          std::chrono::milliseconds firstDelay, LoopPass pass);

} // namespace veltrane
