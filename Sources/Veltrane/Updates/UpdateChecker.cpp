#include "Veltrane/Updates/UpdateChecker.hpp"

#include "Veltrane/Updates/UpdateDownload.hpp"
#include "VeltraneCore/Updater/Updater.hpp"

#include <QNetworkAccessManager>
#include <QTimer>

namespace veltrane {

UpdateChecker::UpdateChecker(UpdateEndpoint endpoint, QObject* parent)
    : QObject(parent), m_endpoint(std::move(endpoint)), m_network(new QNetworkAccessManager(this))
{
}

UpdateChecker::~UpdateChecker() = default;

void UpdateChecker::check(const std::string& currentVersion, std::function<void(UpdateCheckResult)> done)
{
    const std::string manifest = m_endpoint.manifest.toString(QUrl::FullyEncoded).toStdString();
    if (!m_endpoint.manifest.isValid() || !isAcceptedUpdateAddress(manifest, m_endpoint.policy)) {
        // The answer still comes later, as for every check, so callers never see it inside their call.
        QTimer::singleShot(0, this, [done = std::move(done)] { done({.outcome = UpdateCheckOutcome::failed}); });
        return;
    }
    downloadWithLimit(*m_network, m_endpoint.manifest,
                      {.maxBytes = kMaxManifestBytes, .inactivityTimeoutMilliseconds = timeoutMilliseconds}, nullptr,
                      this, [currentVersion, policy = m_endpoint.policy, done = std::move(done)](DownloadResult result) {
                          if (result.outcome != DownloadResult::Outcome::completed)
                              return done({.outcome = UpdateCheckOutcome::failed});
                          const std::string_view body(result.body.constData(), std::size_t(result.body.size()));
                          done(Updater::evaluateManifest(body, currentVersion, policy));
                      });
}

} // namespace veltrane
