#pragma once

// Writes autosave snapshots on a worker thread of its own, so that the main thread only hands over a
// copy of the project (the document is copy-on-write: the copy shares every pattern and sample) and
// never waits for the encoding or the disk.
//
// Jobs run one at a time, oldest first; a job not yet started is replaced by a newer one, so a burst of
// edits costs one write of the latest state, while a write already under way is allowed to finish (a
// long run of edits still leaves a fresh snapshot behind). `discard` removes the file and guarantees
// that no write in flight lands after it: the worker renames its finished file into place only under
// the same lock.
//
// Every failure of a write is dropped: the previous snapshot, if any, stays.

#include "VeltraneCore/Models/Project.hpp"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace veltrane {

class AutosaveWriter {
public:
    AutosaveWriter();
    /// Drops a job not yet started and waits for the one under way.
    ~AutosaveWriter();
    AutosaveWriter(const AutosaveWriter&) = delete;
    AutosaveWriter& operator=(const AutosaveWriter&) = delete;

    /// Queues a snapshot of `project` for `target`, replacing a queued one that has not started. Returns
    /// the job's number. Main thread.
    std::uint64_t write(Project project, std::optional<std::filesystem::path> originalFile,
                        std::filesystem::path target);

    /// Drops the queued job and keeps the one under way from landing; then deletes `target` (a failure is
    /// ignored). No snapshot queued before this call appears afterwards. Main thread.
    void discard(const std::filesystem::path& target);

    /// Blocks until no job is queued or under way.
    void waitUntilIdle();

    /// Called on the worker thread with the project of each snapshot once it is in place.
    void setOnWritten(std::function<void(const Project&)> onWritten);

private:
    struct Job {
        std::uint64_t number = 0;
        Project project;
        std::optional<std::filesystem::path> originalFile;
        std::filesystem::path target;
    };

    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<Job> queued_;
    bool busy_ = false;
    bool stopping_ = false;
    std::uint64_t lastNumber_ = 0;
    std::uint64_t discardedThrough_ = 0; // jobs with a number up to this never land
    std::function<void(const Project&)> onWritten_;
    std::thread worker_;
};

} // namespace veltrane
