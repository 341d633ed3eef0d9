// The test servers themselves: however a test ends, the next one can start a server. JACK's registry
// holds eight servers; these tests end more servers than that the hard way.

#include "JackTestServer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace veltrane {
namespace {

using testing::JackTestServer;

constexpr int serverRate = 48000;
constexpr int serverPeriod = 256;

bool registered(const std::string& name)
{
    const auto servers = JackTestServer::registeredServers();
    return std::any_of(servers.begin(), servers.end(), [&](const auto& server) { return server.name == name; });
}

TEST(JackTestServer, KilledServersLeaveNoRegistrySlotOrFileBehind)
{
    // More servers than the registry has slots, each dying as a crashed server does.
    for (int round = 0; round < 10; ++round) {
        std::string whyNot;
        auto server = JackTestServer::start(serverRate, serverPeriod, whyNot);
        if (!server && round == 0) GTEST_SKIP() << "needs a JACK server: " << whyNot;
        ASSERT_TRUE(server) << "server " << round << " did not start: " << whyNot;
        const std::string name = server->name();
        ASSERT_TRUE(registered(name)) << name;
        ASSERT_TRUE(JackTestServer::leftFilesOf(name)) << name;
        server->kill();
        EXPECT_FALSE(registered(name)) << name;
        EXPECT_FALSE(JackTestServer::leftFilesOf(name)) << name;
    }
}

TEST(JackTestServer, ServersOfATestProgramThatCrashedAreClearedByTheNextStart)
{
    const std::string name = "veltrane-test-" + std::to_string(::getpid()) + "-crashed";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t program = ::fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        // A test program that crashes with its server running: the kernel takes the server along.
        ::close(ready[0]);
        std::string whyNot;
        auto server = JackTestServer::start(serverRate, serverPeriod, whyNot, name);
        const char started = server ? 1 : 0;
        (void)!::write(ready[1], &started, 1);
        if (server) ::raise(SIGKILL);
        ::_exit(1);
    }
    ::close(ready[1]);
    char started = 0;
    const bool told = ::read(ready[0], &started, 1) == 1;
    ::close(ready[0]);
    int status = 0;
    ::waitpid(program, &status, 0);
    if (!told || !started) GTEST_SKIP() << "needs a JACK server";
    ASSERT_TRUE(WIFSIGNALED(status));

    // The server dies with its program, without a word to the registry.
    pid_t crashed = 0;
    for (const auto& server : JackTestServer::registeredServers()) {
        if (server.name == name) crashed = server.pid;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (crashed != 0 && ::kill(crashed, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Its slot outlives it, unless a test server started meanwhile elsewhere on the machine (another
    // test program) has cleared it already, which is just as good.
    std::string whyNot;
    auto next = JackTestServer::start(serverRate, serverPeriod, whyNot);
    ASSERT_TRUE(next) << whyNot;
    EXPECT_FALSE(registered(name));
    EXPECT_FALSE(JackTestServer::leftFilesOf(name));
    EXPECT_TRUE(registered(next->name()));
}

} // namespace
} // namespace veltrane
