#pragma once

// One GET through Qt Network with a size cap, into memory or a file. Only an answer with status 200 is
// kept: the body of any other answer is never written.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

class QFile;
class QNetworkAccessManager;
class QObject;

namespace veltrane {

struct DownloadLimits {
    qint64 maxBytes = 0;
    int inactivityTimeoutMilliseconds = 30'000; // the transfer ends when nothing arrives for this long
};

struct DownloadResult {
    enum class Outcome {
        completed,        // status 200, the whole body within the cap
        transportFailure, // no connection, time-out, TLS failure, cancelled; `errorText` says which
        notOK,            // an answer other than status 200
        tooLarge,         // more than the cap announced or sent
        writeFailure,     // the file could not take the bytes; `errorText` says why
    };
    Outcome outcome = Outcome::transportFailure;
    QString errorText;
    QByteArray body; // the body when no file was given
};

/// Fetches `url` and calls `done` once on the main thread, unless `context` is destroyed first. Writes
/// the body to `file` (open for writing, kept alive until `done`) when given, else keeps it in memory.
void downloadWithLimit(QNetworkAccessManager& network, const QUrl& url, const DownloadLimits& limits,
                       QFile* file, QObject* context, std::function<void(DownloadResult)> done);

} // namespace veltrane
