#pragma once

// Release archives for the self-installer tests: zip files made here with libzip, signed with a key pair
// made for the test, holding a small fake installation whose program is a shell script that notes it
// was started.

#include "VeltraneCore/Updater/BundleIdentity.hpp"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sodium.h>
#include <zip.h>

#include <deque>
#include <string>
#include <sys/stat.h>
#include <vector>

struct ArchiveEntry {
    std::string name;
    QByteArray data;
    unsigned mode = S_IFREG | 0644; // folders: S_IFDIR | 0755, named with a trailing slash
};

/// Writes a zip file of the entries, each with Unix attributes, and returns its bytes.
inline QByteArray makeZip(const QString& path, const std::vector<ArchiveEntry>& entries)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return {};
    std::deque<QByteArray> kept; // libzip reads the buffers when it closes the archive
    for (const ArchiveEntry& entry : entries) {
        zip_int64_t index = -1;
        if ((entry.mode & S_IFMT) == S_IFDIR) {
            index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
        } else {
            kept.push_back(entry.data);
            zip_source_t* source = zip_source_buffer(archive, kept.back().constData(), zip_uint64_t(kept.back().size()), 0);
            index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        }
        if (index >= 0)
            zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, zip_uint32_t(entry.mode) << 16);
    }
    zip_close(archive);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct SigningKeys {
    QByteArray publicKey = QByteArray(crypto_sign_PUBLICKEYBYTES, 0);
    QByteArray secretKey = QByteArray(crypto_sign_SECRETKEYBYTES, 0);

    SigningKeys()
    {
        if (sodium_init() >= 0)
            crypto_sign_keypair(reinterpret_cast<unsigned char*>(publicKey.data()),
                                reinterpret_cast<unsigned char*>(secretKey.data()));
    }

    QByteArray sign(const QByteArray& message) const
    {
        QByteArray signature(crypto_sign_BYTES, 0);
        crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                             reinterpret_cast<const unsigned char*>(message.constData()),
                             static_cast<unsigned long long>(message.size()),
                             reinterpret_cast<const unsigned char*>(secretKey.constData()));
        return signature;
    }
};

/// A program that writes `text` into `markerPath` when it is started.
inline QByteArray stubProgram(const QString& markerPath, const QString& text)
{
    return QStringLiteral("#!/bin/sh\necho '%1' > '%2'\n").arg(text, markerPath).toUtf8();
}

/// The entries of a release of version `version` in the folder `folder`, whose program notes its start.
inline std::vector<ArchiveEntry> releaseEntries(const std::string& folder, const std::string& version,
                                                const QString& markerPath,
                                                const std::string& identifier = std::string(veltrane::kApplicationIdentifier))
{
    const std::string info = veltrane::bundleIdentityText({.identifier = identifier, .version = version});
    return {
        {folder + "/", {}, S_IFDIR | 0755},
        {folder + "/veltrane", stubProgram(markerPath, QString::fromStdString("relaunched " + version)), S_IFREG | 0755},
        {folder + "/bundle-info.json", QByteArray::fromStdString(info)},
        {folder + "/share/", {}, S_IFDIR | 0755},
        {folder + "/share/notes.txt", "release " + QByteArray::fromStdString(version)},
    };
}
