#include "Veltrane/Updates/UpdateDownload.hpp"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <memory>

namespace veltrane {

namespace {

struct Transfer {
    DownloadResult result;
    qint64 received = 0;
    bool settled = false; // an outcome other than completion has been decided
};

int statusOf(const QNetworkReply* reply) { return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); }

} // namespace

void downloadWithLimit(QNetworkAccessManager& network, const QUrl& url, const DownloadLimits& limits,
                       QFile* file, QObject* context, std::function<void(DownloadResult)> done)
{
    QNetworkRequest request(url);
    // The answer must come from the server, never from a cache, and a redirect may not lower the scheme.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(limits.inactivityTimeoutMilliseconds);
    QNetworkReply* reply = network.get(request);
    auto transfer = std::make_shared<Transfer>();
    QPointer<QFile> sink(file);

    const auto settle = [reply, transfer](DownloadResult::Outcome outcome, QString text = {}) {
        if (transfer->settled)
            return;
        transfer->settled = true;
        transfer->result.outcome = outcome;
        transfer->result.errorText = std::move(text);
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, limits, settle] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (statusOf(reply) == 200 && length.isValid() && length.toLongLong() > limits.maxBytes)
            settle(DownloadResult::Outcome::tooLarge);
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, limits, transfer, sink, settle] {
        if (transfer->settled)
            return;
        const QByteArray bytes = reply->readAll();
        if (statusOf(reply) != 200)
            return; // an error page is read and dropped
        transfer->received += bytes.size();
        if (transfer->received > limits.maxBytes)
            return settle(DownloadResult::Outcome::tooLarge);
        if (!sink)
            transfer->result.body += bytes;
        else if (sink->write(bytes) != bytes.size())
            settle(DownloadResult::Outcome::writeFailure, sink->errorString());
    });
    QObject::connect(reply, &QNetworkReply::finished, context,
                     [reply, transfer, sink, done = std::move(done)] {
                         DownloadResult result = std::move(transfer->result);
                         if (!transfer->settled) {
                             if (reply->error() != QNetworkReply::NoError && statusOf(reply) == 0)
                                 result = {.outcome = DownloadResult::Outcome::transportFailure,
                                           .errorText = reply->errorString()};
                             else if (statusOf(reply) != 200)
                                 result = {.outcome = DownloadResult::Outcome::notOK};
                             else if (reply->error() != QNetworkReply::NoError)
                                 result = {.outcome = DownloadResult::Outcome::transportFailure,
                                           .errorText = reply->errorString()};
                             else if (sink && !sink->flush())
                                 result = {.outcome = DownloadResult::Outcome::writeFailure,
                                           .errorText = sink->errorString()};
                             else
                                 result.outcome = DownloadResult::Outcome::completed;
                         }
                         done(std::move(result));
                     });
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    // A context that goes away takes the transfer with it.
    QObject::connect(context, &QObject::destroyed, reply, [reply] { reply->abort(); });
}

} // namespace veltrane
