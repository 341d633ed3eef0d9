#pragma once

// Fixtures for the audio file tests, made at test time: a private folder that is removed afterwards, and
// audio files written by libsndfile itself in any format it writes.

#include "VeltranePlatform/Files/AudioFileBuffer.hpp"

#include <sndfile.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrane::testing {

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        const std::filesystem::path parent = runtime && *runtime && std::filesystem::is_directory(runtime)
                                                 ? std::filesystem::path(runtime)
                                                 : std::filesystem::temp_directory_path();
        // mkdtemp makes a folder of a fresh name that only we can enter.
        std::string pattern = (parent / "veltrane-audio-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a private test folder");
        root_ = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(root_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return root_ / name; }
    const std::filesystem::path& path() const { return root_; }

private:
    std::filesystem::path root_;
};

/// A stereo test signal: a sine on the left, a quieter saw on the right; distinct in every frame.
inline AudioFileBuffer testSignal(std::size_t frames, double sampleRate = 44100, int channels = 2)
{
    AudioFileBuffer buffer{.sampleRate = sampleRate, .channels = std::vector<std::vector<float>>(static_cast<std::size_t>(channels))};
    for (std::size_t c = 0; c < buffer.channels.size(); ++c) {
        auto& channel = buffer.channels[c];
        channel.resize(frames);
        for (std::size_t i = 0; i < frames; ++i) {
            channel[i] = c == 0 ? 0.8f * static_cast<float>(std::sin(2 * M_PI * 440 * static_cast<double>(i) / sampleRate))
                                : 0.5f * static_cast<float>(static_cast<double>(i % 100) / 50.0 - 1.0);
        }
    }
    return buffer;
}

/// Writes `buffer` with libsndfile in `format` (e.g. SF_FORMAT_WAV | SF_FORMAT_PCM_16).
inline void writeWithLibsndfile(const std::filesystem::path& path, const AudioFileBuffer& buffer, int format)
{
    SF_INFO info{};
    info.samplerate = static_cast<int>(buffer.sampleRate);
    info.channels = buffer.channelCount();
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error(std::string("libsndfile cannot write the fixture: ") + sf_strerror(nullptr));
    std::vector<float> interleaved;
    for (std::int64_t i = 0; i < buffer.frameCount(); ++i) {
        for (const auto& channel : buffer.channels) interleaved.push_back(channel[static_cast<std::size_t>(i)]);
    }
    sf_writef_float(file, interleaved.data(), buffer.frameCount());
    sf_close(file);
}

inline std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

/// The largest difference between two buffers of the same shape.
inline double largestDifference(const AudioFileBuffer& a, const AudioFileBuffer& b)
{
    double largest = 0;
    for (std::size_t c = 0; c < a.channels.size(); ++c) {
        for (std::size_t i = 0; i < a.channels[c].size(); ++i) {
            largest = std::max(largest, static_cast<double>(std::abs(a.channels[c][i] - b.channels[c][i])));
        }
    }
    return largest;
}

/// A 16-bit mono WAV file whose header announces `dataBytes` bytes of audio, made sparse: it takes no
/// room on the disk, but reads as silence of that length.
inline void writeSparseWAV(const std::filesystem::path& path, std::uint32_t dataBytes)
{
    const auto le32 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    const auto le16 = [](std::uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    const std::string header = "RIFF" + le32(36 + dataBytes) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(44100) +
                               le32(88200) + le16(2) + le16(16) + "data" + le32(dataBytes);
    {
        std::ofstream file(path, std::ios::binary);
        file << header;
    }
    std::filesystem::resize_file(path, header.size() + dataBytes);
}

/// The names in `folder`, sorted: what a write left behind.
inline std::vector<std::string> namesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace veltrane::testing
