#pragma once

// The crash tests' child program (Tests/ModelChild) run in a process of its own over a private data
// folder, its output read line by line.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrane::testing {

/// The child program over a private data folder, read line by line.
class Child {
public:
    /// Runs `program` (the child program of the test build unless another copy is named) in `mode`.
    Child(const std::string& mode, const std::filesystem::path& home, const std::string& program = VELTRANE_MODEL_CHILD)
    {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe");
        const std::string data = "XDG_DATA_HOME=" + (home / "data").string();
        const std::string config = "XDG_CONFIG_HOME=" + (home / "config").string();
        const std::string runtime = "XDG_RUNTIME_DIR=" + home.string();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(pipeFds[1], STDOUT_FILENO);
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            const std::string& path = program;
            char* const argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(mode.c_str()), nullptr};
            char* const envp[] = {const_cast<char*>(data.c_str()), const_cast<char*>(config.c_str()),
                                  const_cast<char*>(runtime.c_str()), const_cast<char*>("QT_QPA_PLATFORM=offscreen"),
                                  const_cast<char*>("HOME=/nonexistent"), nullptr};
            ::execve(path.c_str(), argv, envp);
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        fd_ = pipeFds[0];
    }
    ~Child()
    {
        kill();
        if (fd_ >= 0) ::close(fd_);
    }

    /// The next line the child prints; nothing when it prints none within `timeout` or has ended.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (const auto end = buffer_.find('\n'); end != std::string::npos) {
                auto line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd poller{fd_, POLLIN, 0};
            if (::poll(&poller, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[4096];
            const auto count = ::read(fd_, chunk, sizeof chunk);
            if (count <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(count));
        }
    }

    /// Every line left unread once the child has ended.
    std::vector<std::string> remainingLines()
    {
        std::vector<std::string> lines;
        while (auto line = readLine(std::chrono::seconds(5))) lines.push_back(*line);
        return lines;
    }

    void kill()
    {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    int wait()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string buffer_;
};

} // namespace veltrane::testing
