#include "VeltranePlatform/Files/AudioFile.hpp"

#include "VeltranePlatform/Files/AudioFileWriter.hpp"

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace veltrane {

namespace {

constexpr sf_count_t chunkFrames = 4096;

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

std::string quoted(const std::filesystem::path& path) { return "\u201C" + path.filename().string() + "\u201D"; }

// The bytes of an embedded sample seen by libsndfile as a read-only file.
struct MemoryFile {
    std::span<const std::uint8_t> bytes;
    sf_count_t position = 0;

    sf_count_t size() const { return static_cast<sf_count_t>(bytes.size()); }
};

sf_count_t memoryLength(void* user) { return static_cast<MemoryFile*>(user)->size(); }

sf_count_t memorySeek(sf_count_t offset, int whence, void* user)
{
    auto* file = static_cast<MemoryFile*>(user);
    sf_count_t base = 0;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = file->position; break;
    case SEEK_END: base = file->size(); break;
    default: return -1;
    }
    // A damaged header can ask for any offset; positions stay within the bytes and overflow is refused.
    sf_count_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) return -1;
    file->position = std::min(target, file->size());
    return file->position;
}

sf_count_t memoryRead(void* destination, sf_count_t count, void* user)
{
    auto* file = static_cast<MemoryFile*>(user);
    if (count <= 0) return 0;
    const sf_count_t available = file->size() - file->position;
    const sf_count_t taken = std::min(count, available);
    if (taken <= 0) return 0;
    std::memcpy(destination, file->bytes.data() + file->position, static_cast<std::size_t>(taken));
    file->position += taken;
    return taken;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t memoryTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

AudioFileError openError(int code, const std::string& name)
{
    if (code == SF_ERR_SYSTEM) return {AudioFileError::Case::unreadable, "The file " + name + " could not be read."};
    return {AudioFileError::Case::notAudio, "The file " + name + " is not an audio file that can be read."};
}

/// `subject` names the audio in a message: "The file “kick.wav”", "The sample stored in the project".
[[noreturn]] void throwTooLarge(const std::string& subject, const std::string& why)
{
    throw AudioFileError(AudioFileError::Case::tooLarge, subject + " is too large to load as a sample: " + why + ".");
}

std::string megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB"; }

AudioFileBuffer readAll(SNDFILE* file, const SF_INFO& info, const std::string& name, const std::string& subject)
{
    if (info.channels < 1 || info.samplerate < 1) throw openError(SF_ERR_MALFORMED_FILE, name);
    const auto channelCount = static_cast<std::size_t>(info.channels);
    const std::uint64_t bytesPerFrame = channelCount * sizeof(float);
    const std::uint64_t maximumFrames = AudioFile::maximumDecodedBytes / bytesPerFrame;
    const auto overLimit = [&](std::uint64_t frames) {
        throwTooLarge(subject, "it decodes to " + (frames > UINT64_MAX / bytesPerFrame ? std::string("more than ") + megabytes(AudioFile::maximumDecodedBytes)
                                                                                        : megabytes(frames * bytesPerFrame)) +
                                   ", more than the " + megabytes(AudioFile::maximumDecodedBytes) + " a sample may take");
    };
    if (info.frames > 0 && static_cast<std::uint64_t>(info.frames) > maximumFrames) overLimit(static_cast<std::uint64_t>(info.frames));

    AudioFileBuffer buffer{.sampleRate = static_cast<double>(info.samplerate),
                        .channels = std::vector<std::vector<float>>(channelCount)};
    // The header's frame count only sizes the first allocation: a damaged header must not be able to
    // ask for gigabytes up front.
    const auto expected = static_cast<std::size_t>(std::clamp<sf_count_t>(info.frames, 0, sf_count_t{1} << 22));
    for (auto& channel : buffer.channels) channel.reserve(expected);

    try {
        std::vector<float> interleaved(static_cast<std::size_t>(chunkFrames) * channelCount);
        std::uint64_t framesRead = 0;
        for (;;) {
            const sf_count_t got = sf_readf_float(file, interleaved.data(), chunkFrames);
            if (got <= 0) break;
            // A header that understates the length (or gives none) is caught here.
            framesRead += static_cast<std::uint64_t>(got);
            if (framesRead > maximumFrames) overLimit(framesRead);
            for (std::size_t channel = 0; channel < channelCount; ++channel) {
                auto& out = buffer.channels[channel];
                for (sf_count_t frame = 0; frame < got; ++frame) {
                    out.push_back(interleaved[static_cast<std::size_t>(frame) * channelCount + channel]);
                }
            }
            if (got < chunkFrames) break;
        }
    } catch (const std::bad_alloc&) {
        throwTooLarge(subject, "there is not enough memory to hold it");
    }
    return buffer;
}

} // namespace

AudioFileBuffer AudioFile::read(const std::filesystem::path& path)
{
    const std::string name = quoted(path);
    // Opened without blocking and checked on the open descriptor: a pipe or a device put where the file
    // was could otherwise wait for ever or never end, and checking the path first would leave a moment
    // in which it could be swapped.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            throw AudioFileError(AudioFileError::Case::notFound, "The file " + name + " could not be found.");
        }
        if (errno == EISDIR) throw AudioFileError(AudioFileError::Case::notAFile, "The item " + name + " is not a file.");
        throw AudioFileError(AudioFileError::Case::unreadable, "The file " + name + " could not be read.");
    }
    struct DescriptorCloser {
        int descriptor;
        ~DescriptorCloser() { ::close(descriptor); }
    } closer{descriptor};

    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        throw AudioFileError(AudioFileError::Case::unreadable, "The file " + name + " could not be read.");
    }
    if (!S_ISREG(status.st_mode)) throw AudioFileError(AudioFileError::Case::notAFile, "The item " + name + " is not a file.");
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);

    SF_INFO info{};
    SndfileHandle file(sf_open_fd(descriptor, SFM_READ, &info, SF_FALSE));
    if (!file) throw openError(sf_error(nullptr), name);
    return readAll(file.get(), info, name, "The file " + name);
}

AudioFileBuffer AudioFile::read(std::span<const std::uint8_t> bytes)
{
    const std::string name = "in the project";
    MemoryFile memory{bytes};
    SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    SF_INFO info{};
    SndfileHandle file(sf_open_virtual(&io, SFM_READ, &info, &memory));
    if (!file) {
        throw AudioFileError(AudioFileError::Case::notAudio, "The sample stored in the project is not audio that can be read.");
    }
    try {
        return readAll(file.get(), info, name, "The sample stored in the project");
    } catch (const AudioFileError& error) {
        if (error.which() == AudioFileError::Case::tooLarge) throw;
        throw AudioFileError(AudioFileError::Case::notAudio, "The sample stored in the project is not audio that can be read.");
    }
}

void AudioFile::writeFloatWAV(const std::filesystem::path& path, const AudioFileBuffer& buffer)
{
    AudioFileWriter writer(path, buffer.sampleRate, buffer.channelCount());
    std::int64_t frames = buffer.frameCount();
    for (const auto& channel : buffer.channels) frames = std::min(frames, static_cast<std::int64_t>(channel.size()));
    std::vector<const float*> channels;
    for (const auto& channel : buffer.channels) channels.push_back(channel.data());
    writer.append(channels.data(), frames);
    writer.commit();
}

} // namespace veltrane
