#include "JackTestServer.hpp"

#if VELTRANE_HAVE_JACK
#include <jack/jack.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace veltrane::testing {

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

// JACK's registry of servers and shared memory, as jackd 1.9 lays it out on Linux: a POSIX shared-memory
// file in JACK's folder, guarded by a System V semaphore. Only its header and its eight server slots are
// read here; the segment entries after them jackd cleans itself when the next server starts.
constexpr const char* jackFolder = "/dev/shm";
constexpr const char* registryFile = "/dev/shm/jack-shm-registry";
constexpr key_t registryLockKey = 0x282929;
constexpr std::uint32_t registryMagic = 0x4a41434b;
constexpr std::int32_t posixSharedMemory = 1;
constexpr int serverSlots = 8;
constexpr std::size_t slotsOffset = 24;
constexpr std::size_t slotSize = 264; // pid, then a name of 257 bytes, padded to 4
constexpr std::size_t slotNameSize = 257;

const std::string testServerPrefix = "veltrane-test-";

// The registry's lock, taken as jackd takes it; the kernel gives it back should this process die with it.
class RegistryLock {
public:
    RegistryLock()
    {
        id_ = ::semget(registryLockKey, 0, 0);
        if (id_ < 0) return;
        sembuf take{0, -1, SEM_UNDO};
        const timespec limit{5, 0};
        held_ = ::semtimedop(id_, &take, 1, &limit) == 0;
    }
    ~RegistryLock()
    {
        if (!held_) return;
        sembuf give{0, 1, SEM_UNDO};
        ::semop(id_, &give, 1);
    }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
    bool held() const { return held_; }

private:
    int id_ = -1;
    bool held_ = false;
};

// The server name in a slot of this user ("jack-<uid>:<name>:"), or empty for a slot of another user.
std::string serverNameInSlot(const char* field)
{
    const std::string slot(field, ::strnlen(field, slotNameSize));
    const std::string user = "jack-" + std::to_string(::getuid()) + ":";
    if (slot.size() <= user.size() + 1 || slot.rfind(user, 0) != 0 || slot.back() != ':') return {};
    return slot.substr(user.size(), slot.size() - user.size() - 1);
}

// Calls `each` with the pid and name field of every server slot of a registry jackd would accept, with
// the registry mapped for writing. Nothing when there is no registry yet or it has another layout.
void forEachServerSlot(const std::function<void(std::int32_t& pid, char* name)>& each)
{
    const int fd = ::open(registryFile, O_RDWR);
    if (fd < 0) return;
    struct stat info{};
    const std::size_t headerSize = slotsOffset + serverSlots * slotSize;
    if (::fstat(fd, &info) != 0 || std::size_t(info.st_size) < headerSize) {
        ::close(fd);
        return;
    }
    void* mapped = ::mmap(nullptr, headerSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED) return;
    auto* bytes = static_cast<char*>(mapped);
    std::uint32_t magic = 0;
    std::int32_t type = 0, headerLength = 0;
    std::memcpy(&magic, bytes, sizeof magic);
    std::memcpy(&type, bytes + 8, sizeof type);
    std::memcpy(&headerLength, bytes + 16, sizeof headerLength);
    if (magic == registryMagic && type == posixSharedMemory && std::size_t(headerLength) == headerSize) {
        for (int slot = 0; slot < serverSlots; ++slot) {
            char* at = bytes + slotsOffset + std::size_t(slot) * slotSize;
            each(*reinterpret_cast<std::int32_t*>(at), at + sizeof(std::int32_t));
        }
    }
    ::munmap(mapped, headerSize);
}

// Whether `pid` is a jackd that still runs (a zombie no longer serves anyone, and a dead server's pid may
// have been given to another program since).
bool jackdRuns(pid_t pid)
{
    if (pid <= 0) return false;
    std::ifstream status("/proc/" + std::to_string(pid) + "/stat");
    std::string pidField, command, state;
    if (!(status >> pidField >> command >> state)) return false;
    return command.rfind("(jackd", 0) == 0 && state != "Z" && state != "X";
}

// Calls `each` with every semaphore and socket of the server `name` and of its clients in JACK's folder:
// "jack_sem.<uid>_<name>_<client>" and "jack_<name>_<uid>_<n>".
void forEachFileOf(const std::string& name, const std::function<void(const std::filesystem::path&)>& each)
{
    const std::string uid = std::to_string(::getuid());
    const std::string semaphores = "jack_sem." + uid + "_" + name + "_";
    const std::string sockets = "jack_" + name + "_" + uid + "_";
    std::error_code error;
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(jackFolder, error)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind(semaphores, 0) == 0 || file.rfind(sockets, 0) == 0) found.push_back(entry.path());
    }
    for (const auto& path : found) each(path);
}

void removeFilesOf(const std::string& name)
{
    forEachFileOf(name, [](const std::filesystem::path& path) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    });
}

// Frees the registry slots, and removes the files, of this user's test servers that no longer run: the
// one this object just ended (`endedName`, empty for none) and any that died with an earlier test program.
void clearDeadTestServers(const std::string& endedName = {})
{
    RegistryLock lock;
    if (!lock.held()) return;
    std::vector<std::string> cleared;
    forEachServerSlot([&](std::int32_t& pid, char* field) {
        const std::string name = serverNameInSlot(field);
        if (pid == 0 || name.rfind(testServerPrefix, 0) != 0 || jackdRuns(pid)) return;
        cleared.push_back(name);
        pid = 0;
        std::memset(field, 0, slotNameSize);
    });
    if (!endedName.empty()) cleared.push_back(endedName);
    // Under the lock, so no new server of such a name registers and makes its files meanwhile.
    for (const std::string& name : cleared) removeFilesOf(name);
}

} // namespace

std::vector<JackTestServer::RegisteredServer> JackTestServer::registeredServers()
{
    std::vector<RegisteredServer> servers;
    RegistryLock lock;
    forEachServerSlot([&](std::int32_t& pid, char* field) {
        const std::string name = serverNameInSlot(field);
        if (pid != 0 && !name.empty()) servers.push_back({pid, name});
    });
    return servers;
}

bool JackTestServer::leftFilesOf(const std::string& name)
{
    bool found = false;
    forEachFileOf(name, [&](const std::filesystem::path&) { found = true; });
    return found;
}

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
    // Slots of test servers that died with an earlier test program would otherwise fill the registry.
    clearDeadTestServers();
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

void JackTestServer::endProcess(int signal)
{
    if (process_ <= 0) return;
    ::kill(process_, signal);
    // A frozen server must be woken for SIGTERM to reach it.
    ::kill(process_, SIGCONT);
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
    // A server that shut down cleared its own slot; one that was killed did not, and neither clears the
    // semaphores of clients that were still connected.
    clearDeadTestServers(name_);
}

void JackTestServer::stop()
{
    endProcess(SIGTERM);
}

void JackTestServer::kill()
{
    endProcess(SIGKILL);
}

void JackTestServer::freeze()
{
    if (process_ > 0) ::kill(process_, SIGSTOP);
}

JackTestServer::~JackTestServer()
{
    stop();
}

} // namespace veltrane::testing
