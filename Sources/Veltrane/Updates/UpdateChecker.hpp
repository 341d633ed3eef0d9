#pragma once

// Fetches the update manifest and reads it with the core's rules. Every failure of the fetch (no network,
// time-out, an answer other than 200, a body over the cap) is a failed check, told apart from a check
// that found nothing newer.

#include "Veltrane/Updates/UpdateSettings.hpp"
#include "VeltraneCore/Updater/UpdateInfo.hpp"

#include <QObject>

#include <functional>
#include <string>

class QNetworkAccessManager;

namespace veltrane {

/// What the update commands need of a check; the tests answer it from a script.
class UpdateChecking {
public:
    virtual ~UpdateChecking() = default;
    /// Looks for a version newer than `currentVersion`; calls `done` once, later, on the main thread.
    virtual void check(const std::string& currentVersion, std::function<void(UpdateCheckResult)> done) = 0;
};

class UpdateChecker final : public QObject, public UpdateChecking {
    Q_OBJECT
public:
    static constexpr int kTimeoutMilliseconds = 10'000;
    static constexpr qint64 kMaxManifestBytes = 64 * 1024;

    explicit UpdateChecker(UpdateEndpoint endpoint = UpdateEndpoint::forApplication(), QObject* parent = nullptr);
    ~UpdateChecker() override;

    /// Several checks may run at once; each answers on its own. Main thread.
    void check(const std::string& currentVersion, std::function<void(UpdateCheckResult)> done) override;

    int timeoutMilliseconds = kTimeoutMilliseconds;

private:
    UpdateEndpoint m_endpoint;
    QNetworkAccessManager* m_network;
};

} // namespace veltrane
