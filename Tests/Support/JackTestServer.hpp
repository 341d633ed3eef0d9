#pragma once

// A JACK server with the dummy driver, started for one test and stopped by it: `jackd -n NAME -d dummy`
// under a name no other test uses. The process environment points JACK clients (RtAudio's and the
// test's own) at it and forbids them to start a server of their own.
//
// JACK keeps a machine-wide registry of running servers with room for eight; a server that dies without
// shutting down (killed by a test, or by the kernel when a crashed or timed-out test program took it
// along) keeps its slot, and after eight such deaths no server starts until someone clears it by hand.
// So the test servers leave nothing behind: stopping or killing one frees its slot and its files, and
// every start first frees those of test servers that died with their test program.

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace veltrane::testing {

class JackTestServer {
public:
    /// Starts a server and waits until it takes clients. Nothing, with the reason in `whyNot`, when
    /// jackd is not installed or does not come up. An empty `name` picks a fresh unique one.
    static std::unique_ptr<JackTestServer> start(int sampleRate, int periodFrames, std::string& whyNot,
                                                 const std::string& name = {});
    ~JackTestServer();
    JackTestServer(const JackTestServer&) = delete;
    JackTestServer& operator=(const JackTestServer&) = delete;

    const std::string& name() const { return name_; }
    /// Stops the server now (as a server shutting down under its clients does).
    void stop();
    /// Kills the server with SIGKILL (as a server that crashes dies) and clears what it left behind.
    void kill();
    /// Stops the server's process (SIGSTOP) without killing it: a server that hangs.
    void freeze();

    /// One slot of JACK's registry of running servers.
    struct RegisteredServer {
        pid_t pid = 0;
        std::string name; ///< the server's name as given to jackd
    };
    /// The servers in JACK's registry that belong to this user, running or not.
    static std::vector<RegisteredServer> registeredServers();
    /// Whether a file of the server `name` remains in JACK's folder (a semaphore or a socket).
    static bool leftFilesOf(const std::string& name);

private:
    JackTestServer(std::string name, pid_t process) : name_(std::move(name)), process_(process) {}
    void endProcess(int signal);
    std::string name_;
    pid_t process_;
};

} // namespace veltrane::testing
