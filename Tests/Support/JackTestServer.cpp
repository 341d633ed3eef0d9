#include "JackTestServer.hpp"

#if VELTRANE_HAVE_JACK
#include <jack/jack.h>
#endif

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace veltrane::test {

namespace {

bool onPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

#if VELTRANE_HAVE_JACK
bool answers(const std::string& name)
{
    jack_status_t status{};
    jack_client_t* client = jack_client_open("veltrane-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status, name.c_str());
    if (client == nullptr) return false;
    jack_client_close(client);
    return true;
}

void silenceJackErrors()
{
    // A probe of a server that is still starting is not worth a line on the test output.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
}
#endif

} // namespace

std::unique_ptr<JackTestServer> JackTestServer::start(int sampleRate, int periodFrames, std::string& whyNot, const std::string& wantedName)
{
#if !VELTRANE_HAVE_JACK
    whyNot = "the tests were built without libjack";
    return nullptr;
#endif
    if (!onPath("jackd")) {
        whyNot = "jackd is not installed (Debian package jackd2)";
        return nullptr;
    }
#if VELTRANE_HAVE_JACK
    silenceJackErrors();
#endif
    static std::atomic<int> serial{0};
    const std::string name = !wantedName.empty() ? wantedName
                                                 : "veltrane-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);

    const std::string rate = std::to_string(sampleRate);
    const std::string period = std::to_string(periodFrames);
    std::vector<std::string> arguments = {"jackd", "-n", name, "-d", "dummy", "-r", rate, "-p", period};
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        whyNot = "could not start jackd";
        return nullptr;
    }
    if (child == 0) {
        // The server must not outlive a test that crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(1);
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, STDIN_FILENO);
        ::dup2(devnull, STDOUT_FILENO);
        ::dup2(devnull, STDERR_FILENO);
        ::execvp("jackd", argv.data());
        ::_exit(127);
    }
    std::unique_ptr<JackTestServer> server(new JackTestServer(name, child));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            server->process_ = -1;
            whyNot = "jackd exited at start (status " + std::to_string(status) + ")";
            return nullptr;
        }
#if VELTRANE_HAVE_JACK
        if (answers(name)) return server;
#endif
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    whyNot = "jackd did not take clients within 10 seconds";
    return nullptr;
}

void JackTestServer::stop()
{
    if (process_ <= 0) return;
    ::kill(process_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(process_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(process_, SIGKILL);
            ::waitpid(process_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    process_ = -1;
}

JackTestServer::~JackTestServer()
{
    stop();
}

} // namespace veltrane::test
