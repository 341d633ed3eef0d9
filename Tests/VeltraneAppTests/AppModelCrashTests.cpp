// The model in a process of its own, killed with SIGKILL: the next start finds every edit made before the
// autosave delay passed, and never a damaged autosave, however the write was cut short.

#include "ModelScript.hpp"
#include "ModelTestSupport.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

/// The child program over a private data folder, read line by line.
class Child {
public:
    Child(const std::string& mode, const std::filesystem::path& home)
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
            const std::string path = VELTRANE_MODEL_CHILD;
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

/// What the scripted edits leave in a model of this process.
std::string expectedDocument()
{
    ModelHarness harness;
    auto& model = harness.make();
    runEditScript(model);
    return describeDocument(model.project());
}

} // namespace

TEST(AppModelCrash, TheNextStartOffersEveryEditMadeBeforeTheKill)
{
    TemporaryFolder home;
    {
        Child child("report", home.path());
        EXPECT_EQ(child.readLine(), "recovery none");
        EXPECT_EQ(child.wait(), 0);
    }
    {
        Child child("edit", home.path());
        ASSERT_EQ(child.readLine(), "written");
        child.kill();
    }
    EXPECT_TRUE(std::filesystem::exists(home.path() / "data" / "Veltrane" / "Autosave.veltrane"));
    Child next("report", home.path());
    EXPECT_EQ(next.readLine(), "recovery " + expectedDocument());
    EXPECT_EQ(next.wait(), 0);
}

TEST(AppModelCrash, AKillDuringALargeAutosaveLeavesTheOldSnapshotOrTheNew)
{
    TemporaryFolder home;
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> killAfterMilliseconds(0, 1800);
    int lastWritten = 0; // generations whose write the child reported
    int kills = 0;
    for (int iteration = 0; iteration < 8; ++iteration) {
        Child child("churn", home.path());
        const auto found = child.readLine();
        ASSERT_TRUE(found) << "iteration " << iteration;
        if (lastWritten == 0) {
            // Nothing was ever reported on disk: an earlier child may still have landed its first write.
            ASSERT_TRUE(*found == "found none" || *found == "found 1") << *found;
        } else {
            // The last reported generation, or the one whose rename the kill beat the report of.
            ASSERT_TRUE(*found == "found " + std::to_string(lastWritten) ||
                        *found == "found " + std::to_string(lastWritten + 1))
                << *found << " after generation " << lastWritten << " was written";
        }
        if (*found != "found none") lastWritten = std::stoi(found->substr(6));

        std::this_thread::sleep_for(std::chrono::milliseconds(700 + killAfterMilliseconds(random)));
        child.kill();
        ++kills;
        for (const auto& line : child.remainingLines()) {
            if (line.rfind("written ", 0) == 0) lastWritten = std::max(lastWritten, std::stoi(line.substr(8)));
        }
    }
    EXPECT_EQ(kills, 8);
    EXPECT_GT(lastWritten, 0) << "no autosave ever landed";

    Child last("report", home.path());
    const auto report = last.readLine();
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->rfind("recovery Generation ", 0) == 0) << *report;
    EXPECT_EQ(last.wait(), 0);
    // Writes the kills cut short left their temporary files; the start cleared them away.
    for (const auto& entry : std::filesystem::directory_iterator(home.path() / "data" / "Veltrane")) {
        EXPECT_EQ(entry.path().filename(), "Autosave.veltrane");
    }
}
