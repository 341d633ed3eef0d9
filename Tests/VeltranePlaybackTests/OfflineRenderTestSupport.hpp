#pragma once

// Fixtures for the export tests: small songs built in the test, renders read back by libsndfile, and
// stand-in plug-ins that record what the render hands them.

#include "../VeltranePlatformTests/AudioFileTestSupport.hpp"

#include "VeltranePlayback/OfflineRender/OfflineRenderer.hpp"
#include "VeltraneCore/Models/Project.hpp"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace veltrane::testing {

/// A rendered file as libsndfile reads it.
struct RenderedFile {
    int format = 0;
    int channels = 0;
    int sampleRate = 0;
    std::int64_t frames = 0;
    std::vector<float> left, right;

    /// Root mean square of both channels over [from, to).
    double rms(std::int64_t from, std::int64_t to) const
    {
        double sum = 0;
        for (std::int64_t i = from; i < to; ++i) {
            sum += double(left[std::size_t(i)]) * left[std::size_t(i)] + double(right[std::size_t(i)]) * right[std::size_t(i)];
        }
        return to > from ? std::sqrt(sum / double(2 * (to - from))) : 0.0;
    }
    float peak() const
    {
        float result = 0;
        for (std::size_t i = 0; i < left.size(); ++i) result = std::max({result, std::fabs(left[i]), std::fabs(right[i])});
        return result;
    }
    bool sameSamples(const RenderedFile& other) const { return left == other.left && right == other.right; }
};

inline RenderedFile readRendered(const std::filesystem::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error(std::string("libsndfile cannot read the render: ") + sf_strerror(nullptr));
    RenderedFile result{info.format, info.channels, info.samplerate, info.frames, {}, {}};
    std::vector<float> interleaved(std::size_t(info.frames) * std::size_t(std::max(info.channels, 1)));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    if (info.channels == 2) {
        for (std::int64_t i = 0; i < info.frames; ++i) {
            result.left.push_back(interleaved[std::size_t(2 * i)]);
            result.right.push_back(interleaved[std::size_t(2 * i + 1)]);
        }
    }
    return result;
}

/// A song of one pattern (`rows` × `tracks`, played once) at 120 bpm and 4 rows a beat, so a row lasts
/// exactly 0.125 s, with the four synths of a new project and a plain master.
inline Project smallSong(int rows, int tracks)
{
    Project project;
    project.bpm = 120;
    project.rowsPerBeat = 4;
    project.patterns = {Pattern("Song", rows, tracks)};
    project.order = {0};
    project.arrangement = SongArrangement{.blocks = {SongBlock{.pattern = 0, .repeats = 1}}};
    project.mixer = std::vector<MixerTrack>(std::size_t(tracks));
    project.modulation = ModulationRack{};
    return project;
}

inline Cell note(int pitch, int instrument, std::optional<double> gate = std::nullopt,
                 std::vector<ParameterLock> locks = {})
{
    return Cell{.note = NotePitch{pitch}, .instrument = instrument, .gate = gate, .locks = std::move(locks)};
}

/// A stand-in hosted instrument: writes down every MIDI message it receives with the song frame it lands
/// on, and plays a constant level while any note is held, so its sound can be found in the file.
class RecordingInstrument : public AudioMIDIInstrumentNode {
public:
    struct Received {
        std::int64_t frame = 0;
        std::array<std::uint8_t, 3> bytes{};
        friend bool operator==(const Received&, const Received&) = default;
    };
    RecordingInstrument() { received.reserve(1 << 16); }
    std::vector<Received> received;

protected:
    void synthesize(const RenderTime& time, std::span<const PluginMidiEvent> messages, AudioBus& out) noexcept override
    {
        out.fillSilence();
        std::size_t next = 0;
        for (int i = 0; i < out.frames; ++i) {
            while (next < messages.size() && messages[next].frameOffset <= i) {
                const auto& bytes = messages[next].bytes;
                if (received.size() < received.capacity()) received.push_back({time.frame + messages[next].frameOffset, bytes});
                if ((bytes[0] & 0xF0) == 0x90) ++held_;
                if ((bytes[0] & 0xF0) == 0x80 && held_ > 0) --held_;
                ++next;
            }
            out.channels[0][i] = out.channels[1][i] = held_ > 0 ? 0.25f : 0.0f;
        }
    }

private:
    int held_ = 0;
};

/// A stand-in insert that passes its input through and remembers that it was made.
class PassThroughEffect : public AudioEffectNode {
protected:
    void process(const RenderTime&, AudioBus&) noexcept override {}
};

/// Makes stand-in plug-ins and keeps them for the test to inspect; references whose name is "missing"
/// cannot be made.
class RecordingUnits : public OfflineUnitSource {
public:
    std::shared_ptr<AudioMIDIInstrumentNode> instrument(const AudioUnitReference& reference,
                                                        const std::optional<Data>&) override
    {
        if (reference.name == "missing") throw std::runtime_error("no such plug-in");
        instruments.push_back(std::make_shared<RecordingInstrument>());
        return instruments.back();
    }
    std::shared_ptr<AudioEffectNode> effect(const AudioUnitReference& reference, const std::optional<Data>&) override
    {
        if (reference.name == "missing") throw std::runtime_error("no such plug-in");
        effects.push_back(std::make_shared<PassThroughEffect>());
        return effects.back();
    }
    std::vector<std::shared_ptr<RecordingInstrument>> instruments;
    std::vector<std::shared_ptr<PassThroughEffect>> effects;
};

/// Renders into `folder` and reads the file back.
inline RenderedFile renderAndRead(const Project& project, const TemporaryFolder& folder,
                                  std::optional<int> soloTrack = std::nullopt,
                                  std::shared_ptr<OfflineUnitSource> units = nullptr, const std::string& name = "out.wav")
{
    OfflineRenderer renderer(units ? units : std::make_shared<RecordingUnits>());
    renderer.render(project, folder / name, soloTrack);
    return readRendered(folder / name);
}

} // namespace veltrane::testing
