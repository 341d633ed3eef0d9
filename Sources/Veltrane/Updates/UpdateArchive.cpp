#include "Veltrane/Updates/UpdateArchive.hpp"

#include <zip.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace veltrane {

namespace {

struct Entry {
    zip_uint64_t index = 0;
    std::string name; // without a trailing slash
    bool isFolder = false;
    bool isExecutable = false;
    zip_uint64_t size = 0;
};

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

// A relative name of non-empty steps, none of them "." or "..": joined to the destination it can only
// name something inside it.
bool isSafeRelativeName(std::string_view name)
{
    if (name.empty() || name.front() == '/' || name.find('\\') != std::string_view::npos)
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t slash = std::min(name.find('/', start), name.size());
        const std::string_view step = name.substr(start, slash - start);
        if (step.empty() || step == "." || step == "..")
            return false;
        start = slash + 1;
    }
    return true;
}

std::optional<QString> refusal(const char* what, std::string_view name)
{
    return QStringLiteral("%1: %2").arg(QString::fromUtf8(what), QString::fromUtf8(name.data(), qsizetype(name.size())));
}

std::optional<QString> readEntries(zip_t* archive, qint64 maxUnpackedBytes, std::vector<Entry>& entries)
{
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    zip_uint64_t total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME)
            || !(stat.valid & ZIP_STAT_SIZE))
            return QStringLiteral("an entry cannot be read");
        std::string_view name(stat.name);
        if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
            return refusal("encrypted entry", name);

        Entry entry{.index = zip_uint64_t(i), .size = stat.size};
        bool namedAsFolder = name.ends_with('/');
        if (namedAsFolder)
            name.remove_suffix(1);
        if (!isSafeRelativeName(name))
            return refusal("entry outside the archive's folder", stat.name);

        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive, zip_uint64_t(i), 0, &system, &attributes) != 0)
            return refusal("entry without attributes", name);
        entry.isFolder = namedAsFolder;
        if (system == ZIP_OPSYS_UNIX) {
            const mode_t mode = mode_t(attributes >> 16);
            const mode_t type = mode & S_IFMT;
            if (type == S_IFDIR)
                entry.isFolder = true;
            else if (type == S_IFREG && namedAsFolder)
                return refusal("file named as a folder", name);
            else if (type != S_IFREG && type != 0)
                return refusal("link, device or other special entry", name);
            entry.isExecutable = !entry.isFolder && (mode & S_IXUSR);
        } else if (system == ZIP_OPSYS_DOS && (attributes & 0x400)) {
            return refusal("link entry", name); // a reparse point: a link made on Windows
        }
        if (entry.isFolder && entry.size != 0)
            return refusal("folder with contents", name);
        total += entry.size;
        if (total > zip_uint64_t(maxUnpackedBytes))
            return QStringLiteral("the archive unpacks to more than %1 bytes").arg(maxUnpackedBytes);
        entry.name = std::string(name);
        entries.push_back(std::move(entry));
    }
    return std::nullopt;
}

std::optional<QString> systemFailure(const std::string& path)
{
    return QStringLiteral("%1: %2").arg(QString::fromStdString(path), QString::fromLocal8Bit(std::strerror(errno)));
}

// Makes `path` a folder, or accepts the folder already there; never follows a link.
std::optional<QString> makeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0755) == 0)
        return std::nullopt;
    struct stat existing;
    if (errno == EEXIST && ::lstat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode))
        return std::nullopt;
    return systemFailure(path);
}

std::optional<QString> makeParentFolders(const std::string& root, const std::string& name)
{
    for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
        if (auto failure = makeFolder(root + "/" + name.substr(0, slash)))
            return failure;
    return std::nullopt;
}

std::optional<QString> writeFile(zip_t* archive, const Entry& entry, const std::string& path)
{
    std::unique_ptr<zip_file_t, EntryCloser> source(zip_fopen_index(archive, entry.index, 0));
    if (!source)
        return QString::fromUtf8(zip_strerror(archive));
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            entry.isExecutable ? 0755 : 0644);
    if (file < 0)
        return systemFailure(path);
    std::vector<char> buffer(64 * 1024);
    zip_uint64_t written = 0;
    std::optional<QString> failure;
    while (!failure) {
        const zip_int64_t read = zip_fread(source.get(), buffer.data(), buffer.size());
        if (read < 0) {
            failure = QString::fromUtf8(zip_file_strerror(source.get()));
        } else if (read == 0) {
            break;
        } else {
            written += zip_uint64_t(read);
            if (written > entry.size)
                failure = refusal("entry longer than it declares", entry.name);
            for (zip_int64_t done = 0; !failure && done < read;) {
                const ssize_t n = ::write(file, buffer.data() + done, std::size_t(read - done));
                if (n < 0)
                    failure = systemFailure(path);
                else
                    done += n;
            }
        }
    }
    if (!failure && written != entry.size)
        failure = refusal("entry shorter than it declares", entry.name);
    if (::close(file) != 0 && !failure)
        failure = systemFailure(path);
    return failure;
}

} // namespace

std::optional<QString> unpackUpdateArchive(const QString& archivePath, const QString& destination,
                                           qint64 maxUnpackedBytes)
{
    int error = 0;
    std::unique_ptr<zip_t, ArchiveCloser> archive(
        zip_open(archivePath.toLocal8Bit().constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, error);
        const QString text = QString::fromUtf8(zip_error_strerror(&zipError));
        zip_error_fini(&zipError);
        return text;
    }
    std::vector<Entry> entries;
    if (auto refused = readEntries(archive.get(), maxUnpackedBytes, entries))
        return refused;

    const std::string root = destination.toLocal8Bit().toStdString();
    for (const Entry& entry : entries) {
        if (auto failure = makeParentFolders(root, entry.name))
            return failure;
        const std::string path = root + "/" + entry.name;
        if (auto failure = entry.isFolder ? makeFolder(path) : writeFile(archive.get(), entry, path))
            return failure;
    }
    return std::nullopt;
}

} // namespace veltrane
