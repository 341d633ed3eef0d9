#include "VeltranePlayback/SmokeProjects/RenderSmokeProjects.hpp"

#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"
#include "VeltraneCore/Text/Fnv1a.hpp"
#include "VeltraneCore/PatternOperations/PatternTransforms.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"

#include <array>
#include <cmath>
#include <numbers>
#include <utility>

namespace veltrane {

namespace {

constexpr std::array<std::pair<RenderSmokeTest, std::string_view>, 4> options{{
    {RenderSmokeTest::synthesizer, "--render-smoke"},
    {RenderSmokeTest::audioUnit, "--render-au-smoke"},
    {RenderSmokeTest::automation, "--render-automation-smoke"},
    {RenderSmokeTest::sample, "--render-sample-smoke"},
}};

// The mda-lv2 plug-ins every Linux build is tested with.
const AudioUnitReference mdaJX10{audioUnitInstrumentType, fnv1a32("http://drobilla.net/plugins/mda/JX10"),
                                 fnv1a32("drobilla.net"), "MDA JX10", "David Robillard"};
const AudioUnitReference mdaDelay{audioUnitEffectType, fnv1a32("http://drobilla.net/plugins/mda/Delay"),
                                  fnv1a32("drobilla.net"), "MDA Delay", "David Robillard"};

Cell noteCell(int pitch, int instrument, int volume, EffectSlots effects = {}, std::optional<double> gate = std::nullopt,
              std::vector<ParameterLock> locks = {})
{
    return Cell{.note = NotePitch{pitch},
                .instrument = instrument,
                .volume = static_cast<std::uint8_t>(volume),
                .effects = effects,
                .gate = gate,
                .locks = std::move(locks)};
}

Effect effect(EffectType type, std::uint8_t value) { return Effect{type, value}; }

SongArrangement singleBlockSong()
{
    return SongArrangement{.blocks = {SongBlock{.pattern = 0, .repeats = 1}},
                           .markers = {},
                           .loop = SongLoopRegion{.startBlock = 0, .endBlock = 0, .enabled = false}};
}

// Replaces the song with one pattern played once.
void useSinglePattern(Project& project, Pattern pattern, int mixerTracks)
{
    project.patterns = {std::move(pattern)};
    project.order = {0};
    project.mixer = std::vector<MixerTrack>(static_cast<std::size_t>(mixerTracks));
    project.arrangement = singleBlockSong();
}

void appendLittleEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value, int count)
{
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

} // namespace

std::string_view renderSmokeOption(RenderSmokeTest test)
{
    for (const auto& [known, option] : options) {
        if (known == test) return option;
    }
    return {};
}

std::optional<RenderSmokeTest> renderSmokeTest(std::string_view option)
{
    for (const auto& [test, known] : options) {
        if (known == option) return test;
    }
    return std::nullopt;
}

Project renderSmokeProject(RenderSmokeTest test)
{
    switch (test) {
    case RenderSmokeTest::synthesizer: return synthesizerSmokeProject();
    case RenderSmokeTest::audioUnit: return audioUnitSmokeProject();
    case RenderSmokeTest::automation: return automationSmokeProject();
    case RenderSmokeTest::sample: return sampleSmokeProject();
    }
    return synthesizerSmokeProject();
}

Project synthesizerSmokeProject()
{
    Project project;
    Pattern& pattern = project.patterns.front();
    resize(pattern, 8, 2);
    pattern.setCell(0, 0,
                    noteCell(60, 0, 48, {effect(EffectType::vibrato, 0x48), effect(EffectType::tremolo, 0x47)},
                             std::nullopt,
                             {{ParameterTarget::masterDelay, 0.22},
                              {ParameterTarget::masterReverb, 0.18},
                              {ParameterTarget::masterResonance, 1.2}}));
    pattern.setCell(1, 0, noteCell(67, 0, 48, {effect(EffectType::slide, 0x00), std::nullopt}));
    pattern.setCell(2, 1, noteCell(67, 2, 40, {effect(EffectType::delay, 0x04), std::nullopt}));

    ModulationSource lfo{.name = "Smoke LFO",
                         .kind = ModulationSourceKind::lfo,
                         .waveform = ModulationWaveform::triangle,
                         .rateBeats = 0.5,
                         .phase = 0,
                         .attack = 0.01,
                         .decay = 0.2,
                         .sustain = 0.7,
                         .release = 0.3,
                         .macroValue = 0.5};
    ModulationRack rack;
    rack.routes.push_back(ModulationRoute{
        .sourceID = lfo.id, .target = ParameterTarget::instrumentCutoff, .amount = 0.2, .track = 0, .instrument = 0});
    rack.routes.push_back(ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::masterDelay, .amount = 0.08});
    rack.sources.push_back(std::move(lfo));
    project.modulation = std::move(rack);
    return project;
}

Project audioUnitSmokeProject()
{
    Project project = synthesizerSmokeProject();
    project.instruments.push_back(Instrument::withAudioUnit(mdaJX10.name, mdaJX10, std::nullopt));
    const int unit = static_cast<int>(project.instruments.size()) - 1;
    Pattern& pattern = project.patterns.front();
    pattern.setCell(0, 0, noteCell(60, unit, 52));
    pattern.setCell(4, 0, noteCell(67, unit, 52));

    MasterFX master = project.masterFX.value_or(MasterFX{});
    master.audioUnits = std::vector<AudioUnitSlot>{AudioUnitSlot{.reference = mdaDelay, .state = std::nullopt, .bypassed = false}};
    project.masterFX = std::move(master);
    return project;
}

Project automationSmokeProject()
{
    Project project = synthesizerSmokeProject();
    Pattern pattern("Automation", 16, 1);
    pattern.setCell(0, 0, noteCell(60, 0, 64, {}, 16.0, {{ParameterTarget::trackVolume, 0.05}}));
    pattern.setCell(15, 0, Cell{.locks = {{ParameterTarget::trackVolume, 1.0}}});
    useSinglePattern(project, std::move(pattern), 1);

    Instrument& instrument = project.instruments.front();
    instrument.attack = 0;
    instrument.decay = 0;
    instrument.sustain = 1.0;
    instrument.release = 0.01;
    project.modulation = ModulationRack{};
    return project;
}

Project sampleSmokeProject()
{
    Project project = synthesizerSmokeProject();
    Pattern pattern("Sample", 8, 3);
    pattern.setCell(0, 0, noteCell(60, 0, 64, {}, 8.0));
    pattern.setCell(0, 1, noteCell(60, 1, 52, {}, 4.0));
    pattern.setCell(2, 2, noteCell(61, 1, 52, {}, 4.0));
    useSinglePattern(project, std::move(pattern), 3);

    const Data sample = smokeSampleWAV();
    Instrument loop = Instrument::withData("Loop Smoke", sample, "loop-smoke.wav");
    Instrument slices = Instrument::withData("Slice Smoke", sample, "slice-smoke.wav");
    for (Instrument* instrument : {&loop, &slices}) {
        instrument->attack = 0;
        instrument->release = 0.01;
    }
    SampleEdit& loopEdit = loop.sampleEdit.emplace();
    loopEdit.loop = true;
    loopEdit.loopStart = 0.1;
    loopEdit.loopEnd = 0.45;
    loopEdit.loopCrossfade = 0.01;
    slices.sampleEdit.emplace().slicePoints = std::vector<double>{0.0, 0.5, 1.0};
    project.instruments = {std::move(loop), std::move(slices)};
    project.modulation = ModulationRack{};
    return project;
}

Data smokeSampleWAV()
{
    constexpr std::uint32_t sampleRate = 44100;
    constexpr std::uint32_t frames = 44100;
    constexpr std::uint32_t dataSize = frames * 2;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(44 + dataSize);
    const auto text = [&](std::string_view chars) { bytes.insert(bytes.end(), chars.begin(), chars.end()); };
    text("RIFF");
    appendLittleEndian(bytes, 36 + dataSize, 4);
    text("WAVEfmt ");
    appendLittleEndian(bytes, 16, 4);
    appendLittleEndian(bytes, 1, 2); // integer PCM
    appendLittleEndian(bytes, 1, 2); // mono
    appendLittleEndian(bytes, sampleRate, 4);
    appendLittleEndian(bytes, sampleRate * 2, 4);
    appendLittleEndian(bytes, 2, 2);
    appendLittleEndian(bytes, 16, 2);
    text("data");
    appendLittleEndian(bytes, dataSize, 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double u = std::fmod(t, 0.5);
        const double frequency = t < 0.5 ? 220 : 330;
        const double value = std::exp(-4 * u) * std::min(180 * u, 1.0) * std::sin(2 * std::numbers::pi * frequency * t) * 24000;
        appendLittleEndian(bytes, static_cast<std::uint16_t>(static_cast<std::int16_t>(roundHalfAwayFromZero(value))), 2);
    }
    return Data(std::move(bytes));
}

} // namespace veltrane
