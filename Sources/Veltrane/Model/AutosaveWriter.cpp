#include "Veltrane/Model/AutosaveWriter.hpp"

#include "Veltrane/Model/RecoverySnapshot.hpp"
#include "VeltranePlatform/Files/AtomicFileWriter.hpp"

#include <system_error>

namespace veltrane {

AutosaveWriter::AutosaveWriter() : worker_([this] { run(); }) {}

AutosaveWriter::~AutosaveWriter()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queued_.reset();
    }
    wake_.notify_all();
    worker_.join();
}

std::uint64_t AutosaveWriter::write(Project project, std::optional<std::filesystem::path> originalFile,
                                    std::filesystem::path target)
{
    std::uint64_t number = 0;
    {
        std::lock_guard lock(mutex_);
        number = ++lastNumber_;
        queued_ = Job{number, std::move(project), std::move(originalFile), std::move(target)};
    }
    wake_.notify_all();
    return number;
}

void AutosaveWriter::discard(const std::filesystem::path& target)
{
    std::lock_guard lock(mutex_);
    queued_.reset();
    discardedThrough_ = lastNumber_;
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    idle_.notify_all();
}

void AutosaveWriter::waitUntilIdle()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !queued_ && !busy_; });
}

void AutosaveWriter::setOnWritten(std::function<void(const Project&)> onWritten)
{
    std::lock_guard lock(mutex_);
    onWritten_ = std::move(onWritten);
}

void AutosaveWriter::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || queued_; });
        if (!queued_) return; // stopping with nothing queued
        Job job = std::move(*queued_);
        const std::uint64_t number = job.number;
        queued_.reset();
        busy_ = true;
        lock.unlock();

        bool landed = false;
        try {
            const auto bytes = encodeRecoverySnapshot(job.project, job.originalFile);
            AtomicFileWriter file(job.target, FileAccess::privateToUser);
            file.write(bytes);
            lock.lock();
            if (number > discardedThrough_) {
                file.commit();
                landed = true;
            }
            lock.unlock();
        } catch (const std::exception&) {
            // A snapshot that cannot be encoded or written is dropped; the previous one stays.
            if (lock.owns_lock()) lock.unlock();
        }
        if (landed) {
            std::function<void(const Project&)> onWritten;
            {
                std::lock_guard guard(mutex_);
                onWritten = onWritten_;
            }
            if (onWritten) onWritten(job.project);
        }
        // The project copy goes here, off the main thread.
        job = Job{};
        lock.lock();
        busy_ = false;
        if (!queued_) idle_.notify_all();
    }
}

} // namespace veltrane
