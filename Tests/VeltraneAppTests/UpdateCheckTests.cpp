#include "LoopbackHttpServer.hpp"
#include "UpdateTestSupport.hpp"

#include "Veltrane/Updates/UpdateChecker.hpp"

#include <gtest/gtest.h>

#include <optional>

using veltrane::UpdateCheckOutcome;
using veltrane::UpdateCheckResult;
using veltrane::UpdateChecker;
using veltrane::UpdateEndpoint;
using veltrane::UpdateInfo;

namespace {

class UpdateCheck : public QtApplicationTest {
protected:
    static constexpr auto kManifestPath = "/veltrane/latest.json";

    UpdateEndpoint loopbackEndpoint() const
    {
        return {.manifest = server->url(kManifestPath), .policy = {.allowPlainHttpOnLoopback = true}};
    }

    std::optional<UpdateCheckResult> check(UpdateChecker& checker, const std::string& version = "1.2")
    {
        std::optional<UpdateCheckResult> result;
        int answers = 0;
        checker.check(version, [&](UpdateCheckResult r) {
            result = std::move(r);
            ++answers;
        });
        EXPECT_FALSE(result) << "a check answers later, never inside the call";
        runUntil([&] { return result.has_value(); });
        QCoreApplication::processEvents();
        EXPECT_LE(answers, 1);
        return result;
    }

    void SetUp() override
    {
        QtApplicationTest::SetUp();
        server = std::make_unique<LoopbackHttpServer>();
        ASSERT_TRUE(server->isListening());
    }
    void TearDown() override
    {
        server.reset();
        QtApplicationTest::TearDown();
    }

    std::unique_ptr<LoopbackHttpServer> server;
};

} // namespace

TEST_F(UpdateCheck, FindsTheNewerVersionTheServerAnnounces)
{
    const QByteArray archive = server->url("/veltrane/Veltrane-1.3.zip").toEncoded();
    server->answer(kManifestPath, {.body = R"({"version": "1.3", "url": ")" + archive + R"(", "notes": "New."})"});
    UpdateChecker checker(loopbackEndpoint());
    EXPECT_EQ(check(checker), (UpdateCheckResult{.outcome = UpdateCheckOutcome::updateAvailable,
                                                 .update = UpdateInfo{.version = "1.3",
                                                                      .downloadURL = archive.toStdString(),
                                                                      .notes = "New."}}));
    EXPECT_EQ(check(checker, "1.3")->outcome, UpdateCheckOutcome::upToDate);
    EXPECT_EQ(server->requestsFor(kManifestPath), 2) << "every check asks the server again";
}

TEST_F(UpdateCheck, AnswersOtherThan200AndBadBodiesAreFailedChecks)
{
    const QByteArray manifest = R"({"version": "9.0", "url": "https://h/x.zip"})";
    const struct {
        int status;
        QByteArray body;
    } kAnswers[] = {{304, manifest}, {404, manifest}, {500, manifest}, {200, "not a manifest"},
                    {200, QByteArray(UpdateChecker::kMaxManifestBytes + 1, ' ') + manifest}};
    UpdateChecker checker(loopbackEndpoint());
    for (const auto& [status, body] : kAnswers) {
        server->answer(kManifestPath, {.status = status, .body = body});
        EXPECT_EQ(check(checker)->outcome, UpdateCheckOutcome::failed) << status << " " << body.left(40).constData();
    }
    server->answer(kManifestPath, {.status = 200, .body = manifest});
    EXPECT_EQ(check(checker)->outcome, UpdateCheckOutcome::updateAvailable) << "the same manifest, served well";
}

TEST_F(UpdateCheck, AServerThatDoesNotAnswerOrIsNotThereIsAFailedCheck)
{
    server->leaveUnanswered(kManifestPath);
    UpdateChecker silent(loopbackEndpoint());
    silent.timeoutMilliseconds = 300;
    EXPECT_EQ(check(silent)->outcome, UpdateCheckOutcome::failed);
    EXPECT_EQ(server->requestsFor(kManifestPath), 1);

    const QUrl nobody = server->url(kManifestPath);
    server.reset();
    UpdateChecker gone({.manifest = nobody, .policy = {.allowPlainHttpOnLoopback = true}});
    EXPECT_EQ(check(gone)->outcome, UpdateCheckOutcome::failed);
    server = std::make_unique<LoopbackHttpServer>();
}

TEST_F(UpdateCheck, TheApplicationAsksOnlyOverHttps)
{
    server->answer(kManifestPath, {.body = R"({"version": "9.0", "url": "https://h/x.zip"})"});
    UpdateChecker plain({.manifest = server->url(kManifestPath), .policy = {}});
    EXPECT_EQ(check(plain)->outcome, UpdateCheckOutcome::failed);
    EXPECT_EQ(server->connections(), 0) << "a plain http manifest is never fetched";

    const QByteArray https = "https://127.0.0.1:" + QByteArray::number(server->port()) + kManifestPath;
    qputenv("VELTRANE_UPDATE_MANIFEST_URL", https);
    const UpdateEndpoint endpoint = UpdateEndpoint::forApplication();
    qunsetenv("VELTRANE_UPDATE_MANIFEST_URL");
    EXPECT_EQ(endpoint.manifest.toEncoded(), https);
    EXPECT_FALSE(endpoint.policy.allowPlainHttpOnLoopback);
    qputenv("VELTRANE_UPDATE_MANIFEST_URL", server->url(kManifestPath).toEncoded());
    UpdateChecker overridden(UpdateEndpoint::forApplication());
    qunsetenv("VELTRANE_UPDATE_MANIFEST_URL");
    EXPECT_EQ(check(overridden)->outcome, UpdateCheckOutcome::failed);
    EXPECT_EQ(server->connections(), 0) << "the variable cannot switch the application to plain http";

    const UpdateEndpoint built = UpdateEndpoint::forApplication();
    EXPECT_EQ(built.manifest.scheme(), "https");
    EXPECT_TRUE(built.manifest.path().endsWith("/veltrane/latest.json"));
}
