#pragma once

// A private X server for the tests that need a real X11 display (a plug-in's own interface embedded in
// a window): Xvfb on the first free display number, which it reports itself, stopped again at the end.
// While it runs, DISPLAY names it and Qt is told to use it; both are put back afterwards.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

extern char** environ;

namespace veltrane::testing {

class XvfbDisplay {
public:
    XvfbDisplay()
    {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // The server writes its display number to descriptor 3 once it accepts connections.
        posix_spawn_file_actions_adddup2(&actions, pipe[1], 3);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::string program = "Xvfb";
        std::string displayfd = "-displayfd", three = "3", screen = "-screen", zero = "0", geometry = "1280x800x24",
                    nolisten = "-nolisten", tcp = "tcp";
        char* arguments[] = {program.data(), displayfd.data(), three.data(), screen.data(), zero.data(),
                             geometry.data(), nolisten.data(), tcp.data(), nullptr};
        const bool spawned = posix_spawnp(&pid_, program.c_str(), &actions, nullptr, arguments, environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe[1]);
        if (!spawned) {
            pid_ = 0;
            ::close(pipe[0]);
            return;
        }
        std::string number;
        pollfd readable{pipe[0], POLLIN, 0};
        while (::poll(&readable, 1, 10000) > 0) {
            char c = 0;
            if (::read(pipe[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        ::close(pipe[0]);
        if (number.empty()) return;
        name_ = ":" + number;
        saveAndSet("DISPLAY", *name_, savedDisplay_);
        saveAndSet("QT_QPA_PLATFORM", "xcb", savedPlatform_);
    }

    ~XvfbDisplay()
    {
        if (name_) {
            restore("DISPLAY", savedDisplay_);
            restore("QT_QPA_PLATFORM", savedPlatform_);
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }

    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    /// The display's name (":12"), or nothing when no server could be started.
    const std::optional<std::string>& name() const noexcept { return name_; }

private:
    static void saveAndSet(const char* variable, const std::string& value, std::optional<std::string>& saved)
    {
        if (const char* old = std::getenv(variable)) saved = old;
        ::setenv(variable, value.c_str(), 1);
    }

    static void restore(const char* variable, const std::optional<std::string>& saved)
    {
        if (saved) ::setenv(variable, saved->c_str(), 1);
        else ::unsetenv(variable);
    }

    pid_t pid_ = 0;
    std::optional<std::string> name_;
    std::optional<std::string> savedDisplay_, savedPlatform_;
};

} // namespace veltrane::testing
