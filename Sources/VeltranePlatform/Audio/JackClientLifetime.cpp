#include "VeltranePlatform/Audio/JackClientLifetime.hpp"

#include <dlfcn.h>
#include <sys/syscall.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace veltrane::detail {

namespace {

thread_local JackInfoShutdownCallback replacementNotice = nullptr;
thread_local void* replacementArgument = nullptr;

template <typename Function>
Function libjack(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

std::vector<pid_t> processThreads()
{
    std::vector<pid_t> threads;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
        threads.push_back(static_cast<pid_t>(std::atoi(entry.path().filename().c_str())));
    }
    return threads;
}

std::mutex clientsMutex;

std::map<jack_client_t*, std::vector<pid_t>>& clientThreads()
{
    static std::map<jack_client_t*, std::vector<pid_t>> threads;
    return threads;
}

// Threads that started since `before` are counted as the client's (another thread that happened to start
// meanwhile only makes a close wait a little longer).
void noteThreadsStartedSince(jack_client_t* client, const std::vector<pid_t>& before)
{
    std::vector<pid_t> started;
    for (pid_t thread : processThreads()) {
        if (std::find(before.begin(), before.end(), thread) == before.end()) started.push_back(thread);
    }
    std::lock_guard lock(clientsMutex);
    auto& threads = clientThreads()[client];
    threads.insert(threads.end(), started.begin(), started.end());
}

// Whether a thread has ended or is blocked waiting: on the server's socket, on a cycle, on a condition.
bool endedOrWaiting(pid_t thread)
{
    std::ifstream file("/proc/self/task/" + std::to_string(thread) + "/syscall");
    if (!file) return true;
    long call = -1;
    file >> call;
    if (!file) return false; // "running"
    constexpr std::array waits{SYS_read, SYS_poll, SYS_ppoll, SYS_select, SYS_pselect6, SYS_recvfrom, SYS_recvmsg, SYS_futex, SYS_epoll_wait};
    return std::find(waits.begin(), waits.end(), call) != waits.end();
}

void waitUntilSettled(const std::vector<pid_t>& threads)
{
    // Twice in a row a moment apart, so a thread passing between two notices is not taken for idle; and
    // not for long, since a close that waits too long is a fault of its own.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    int settled = 0;
    while (settled < 2 && std::chrono::steady_clock::now() < deadline) {
        settled = std::all_of(threads.begin(), threads.end(), endedOrWaiting) ? settled + 1 : 0;
        if (settled < 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

void replaceJackShutdownNotices(JackInfoShutdownCallback notice, void* argument) noexcept
{
    replacementNotice = notice;
    replacementArgument = argument;
}

} // namespace veltrane::detail

// These take the place of libjack's own functions for the whole program, and call them in turn.

extern "C" __attribute__((visibility("default"))) jack_client_t* jack_client_open(const char* name, jack_options_t options,
                                                                                 jack_status_t* status, ...)
{
    // The optional arguments are strings, one for each of these options that is set, in this order.
    std::array<const char*, 4> extra{};
    std::size_t count = 0;
    std::va_list arguments;
    va_start(arguments, status);
    for (int option : {JackServerName, JackLoadName, JackLoadInit, JackSessionID}) {
        if ((options & option) != 0) extra[count++] = va_arg(arguments, const char*);
    }
    va_end(arguments);
    using Open = jack_client_t* (*)(const char*, jack_options_t, jack_status_t*, ...);
    static const auto open = veltrane::detail::libjack<Open>("jack_client_open");
    if (open == nullptr) return nullptr;
    const std::vector<pid_t> before = veltrane::detail::processThreads();
    jack_client_t* client = open(name, options, status, extra[0], extra[1], extra[2], extra[3]);
    if (client != nullptr) veltrane::detail::noteThreadsStartedSince(client, before);
    return client;
}

extern "C" __attribute__((visibility("default"))) int jack_activate(jack_client_t* client)
{
    using Activate = int (*)(jack_client_t*);
    static const auto activate = veltrane::detail::libjack<Activate>("jack_activate");
    if (activate == nullptr) return -1;
    const std::vector<pid_t> before = veltrane::detail::processThreads();
    const int result = activate(client);
    veltrane::detail::noteThreadsStartedSince(client, before);
    return result;
}

extern "C" __attribute__((visibility("default"))) int jack_client_close(jack_client_t* client)
{
    using Close = int (*)(jack_client_t*);
    static const auto close = veltrane::detail::libjack<Close>("jack_client_close");
    if (close == nullptr) return -1;
    std::vector<pid_t> threads;
    {
        std::lock_guard lock(veltrane::detail::clientsMutex);
        auto& clients = veltrane::detail::clientThreads();
        if (auto found = clients.find(client); found != clients.end()) {
            threads = std::move(found->second);
            clients.erase(found);
        }
    }
    veltrane::detail::waitUntilSettled(threads);
    return close(client);
}

extern "C" __attribute__((visibility("default"))) void jack_on_shutdown(jack_client_t* client, JackShutdownCallback callback,
                                                                      void* argument)
{
    if (veltrane::detail::replacementNotice != nullptr) {
        jack_on_info_shutdown(client, veltrane::detail::replacementNotice, veltrane::detail::replacementArgument);
        return;
    }
    using Register = void (*)(jack_client_t*, JackShutdownCallback, void*);
    static const auto next = veltrane::detail::libjack<Register>("jack_on_shutdown");
    if (next != nullptr) next(client, callback, argument);
}
