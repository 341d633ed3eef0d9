#include "LoopbackHttpServer.hpp"
#include "UpdateTestSupport.hpp"

#include "Veltrane/Updates/UpdateChecker.hpp"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {
class UpdateCheckAndRender : public QtApplicationTest {};
} // namespace

// A command-line render is a tool run: it must not reach for the network. The manifest address points at
// a server of the test's own, which counts every connection, TLS or not.
TEST_F(UpdateCheckAndRender, ACommandLineRenderNeverChecksForUpdates)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.isListening());
    const QString manifest = QStringLiteral("https://127.0.0.1:%1/veltrane/latest.json").arg(server.port());

    // The address is one a check would use: a check made from it reaches the server.
    qputenv("VELTRANE_UPDATE_MANIFEST_URL", manifest.toUtf8());
    veltrane::UpdateChecker checker(veltrane::UpdateEndpoint::forApplication());
    qunsetenv("VELTRANE_UPDATE_MANIFEST_URL");
    checker.timeoutMilliseconds = 500; // the server never answers the TLS handshake
    std::optional<veltrane::UpdateCheckResult> result;
    checker.check("1.0", [&](veltrane::UpdateCheckResult r) { result = r; });
    ASSERT_TRUE(runUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result->outcome, veltrane::UpdateCheckOutcome::failed) << "no TLS on the test's server";
    const int connections = server.connections();
    ASSERT_GE(connections, 1);

    QTemporaryDir folder;
    QProcess render;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VELTRANE_UPDATE_MANIFEST_URL", manifest);
    environment.insert("XDG_DATA_HOME", folder.filePath("data"));
    environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
    render.setProcessEnvironment(environment);
    render.start(VELTRANE_EXECUTABLE, {"--render-smoke", folder.filePath("smoke.wav")});
    ASSERT_TRUE(render.waitForFinished(120'000));
    EXPECT_EQ(render.exitCode(), 0);
    EXPECT_TRUE(QFileInfo(folder.filePath("smoke.wav")).size() > 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(server.connections(), connections) << "the render connected to the update server";
}
