#pragma once

// A JACK server with the dummy driver, started for one test and stopped by it: `jackd -n NAME -d dummy`
// under a name no other test uses. The process environment points JACK clients (RtAudio's and the
// test's own) at it and forbids them to start a server of their own.

#include <memory>
#include <string>
#include <sys/types.h>

namespace veltrane::test {

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

private:
    JackTestServer(std::string name, pid_t process) : name_(std::move(name)), process_(process) {}
    std::string name_;
    pid_t process_;
};

} // namespace veltrane::test
