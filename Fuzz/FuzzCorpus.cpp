// Writes the seed corpora of the sample and plug-in state fuzzers: tiny sample files in every container
// libsndfile reads and we meet (WAV, AIFF, CAF, FLAC, Ogg Vorbis), and saved states of the two mda
// plug-ins the state fuzzer restores (its first byte picks the plug-in).
//
//     LV2_PATH=/usr/lib/lv2 build-fuzz/Fuzz/FuzzCorpus Tests/Fixtures/Fuzz

#include "VeltranePlatform/Plugins/PluginHost.hpp"
#include "VeltranePlatform/Plugins/PluginInstance.hpp"

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

void writeSample(const std::filesystem::path& path, int format, int channels, int rate, int frames)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
        std::exit(1);
    }
    std::vector<float> samples(static_cast<std::size_t>(frames * channels));
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = 0.5f * std::sin(static_cast<float>(i) * 0.3f);
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
}

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: FuzzCorpus <Tests/Fixtures/Fuzz>\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const auto samples = root / "SampleFile" / "corpus";
    std::filesystem::create_directories(samples);
    writeSample(samples / "pcm16-stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 16);
    writeSample(samples / "float-mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, 16);
    writeSample(samples / "ulaw-mono.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000, 16);
    writeSample(samples / "pcm24-stereo.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2, 44100, 16);
    writeSample(samples / "pcm8-mono.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, 22050, 16);
    writeSample(samples / "double-stereo.caf", SF_FORMAT_CAF | SF_FORMAT_DOUBLE, 2, 96000, 8);
    writeSample(samples / "pcm16-stereo.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, 64);
    writeSample(samples / "pcm24-mono.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, 44100, 64);
    writeSample(samples / "vorbis-stereo.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, 256);
    writeSample(samples / "pcm16-mono.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16, 1, 44100, 16);

    const auto states = root / "PluginState" / "corpus";
    std::filesystem::create_directories(states);
    const veltrane::PluginHost host;
    const char* uris[] = {"http://drobilla.net/plugins/mda/JX10", "http://drobilla.net/plugins/mda/Delay"};
    const char* names[] = {"jx10", "delay"};
    for (std::uint8_t which = 0; which < 2; ++which) {
        auto instance = host.instantiate(uris[which], 44100, 64);
        for (int variant = 0; variant < 2; ++variant) {
            if (variant == 1) {
                for (std::size_t p = 0; p < instance->parameters().size(); p += 2) {
                    const auto& range = instance->parameters()[p];
                    instance->setParameterValue(p, range.minimum + 0.3f * (range.maximum - range.minimum));
                }
            }
            auto state = *instance->saveState();
            state.insert(state.begin(), which);
            writeBytes(states / (std::string(names[which]) + (variant == 0 ? "-defaults" : "-changed")), state);
        }
    }
    return 0;
}
