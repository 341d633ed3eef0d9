#pragma once

// Projects with fixed identifiers for the project file tests, and access to their fixture files.

#include "VeltraneCore/FileFormat/ProjectDocumentParser.hpp"
#include "VeltraneCore/Models/Project.hpp"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace veltrane::testing {

/// "00000000-0000-4000-8000-0000000000NN"-style identifiers, so that written files stay the same.
inline Uuid fixedId(int n)
{
    char text[37];
    std::snprintf(text, sizeof text, "%08X-0000-4000-8000-%012X", 0xA0000000u + static_cast<unsigned>(n), static_cast<unsigned>(n));
    return *Uuid::fromString(text);
}

inline std::string fixturePath(const std::string& name) { return std::string(VELTRANE_FIXTURES_DIR) + "/ProjectFile/" + name; }

inline std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

/// The project of a file exactly as written, for tests of the format rather than of the checks and
/// repairs that opening a file adds.
inline Project readAsWritten(std::string_view bytes) { return fileformat::readProjectText(bytes).project; }

inline Data bytesData(std::initializer_list<int> bytes)
{
    std::vector<std::uint8_t> values;
    for (int byte : bytes) values.push_back(static_cast<std::uint8_t>(byte));
    return Data(std::move(values));
}

/// A bare project: one 1 × 1 pattern holding an empty cell, one synth, one mixer track, and none of the
/// optional sections.
inline Project smallestProject()
{
    Project project;
    project.patterns = {Pattern("Pattern 1", 1, 1)};
    project.patterns[0].id = fixedId(1);
    project.instruments = {Instrument{.id = fixedId(2), .name = "Sine", .source = SynthSource{Waveform::sine}}};
    project.mixer = {MixerTrack{}};
    project.masterFX.reset();
    project.swing.reset();
    project.arrangement.reset();
    project.modulation.reset();
    return project;
}

/// One instrument of each source kind.
inline Project instrumentSourcesProject()
{
    auto project = smallestProject();
    const AudioUnitReference jx10{
        .componentType = 0x61756D75, // 'aumu'
        .componentSubType = 2166136261u,
        .componentManufacturer = 4294967295u,
        .name = "mda JX10",
        .manufacturerName = "mda",
    };
    project.instruments = {
        Instrument{.id = fixedId(10), .name = "Saw", .source = SynthSource{Waveform::saw}},
        Instrument{.id = fixedId(11), .name = "Kick", .source = SampleSource{Data(std::string_view("veltrane-path:/home/me/kick.wav")), "kick.wav"}},
        Instrument{.id = fixedId(12), .name = "Snare", .source = EmbeddedSource{bytesData({'R', 'I', 'F', 'F', 0, 1, 2, 255}), "snare.wav"}},
        Instrument{.id = fixedId(13), .name = "JX10", .source = AudioUnitSource{jx10, Data(std::string_view("@prefix lv2: <http://lv2plug.in/ns/lv2core#> ."))}},
        Instrument{.id = fixedId(14), .name = "JX10 fresh", .source = AudioUnitSource{jx10, std::nullopt}},
    };
    return project;
}

/// One modulation source of each kind, with routes with and without their track and instrument.
inline Project modulationSourcesProject()
{
    auto project = smallestProject();
    project.modulation = ModulationRack{
        .sources =
            {
                ModulationSource{.id = fixedId(20), .name = "LFO 1", .kind = ModulationSourceKind::lfo,
                                 .waveform = ModulationWaveform::random, .rateBeats = 0.25, .phase = 0.75},
                ModulationSource{.id = fixedId(21), .name = "Envelope 1", .kind = ModulationSourceKind::envelope,
                                 .attack = 0.5, .decay = 1.25, .sustain = 0.3, .release = 2},
                ModulationSource{.id = fixedId(22), .name = "Macro 1", .kind = ModulationSourceKind::macro,
                                 .waveform = ModulationWaveform::square, .macroValue = 0.125},
            },
        .routes =
            {
                ModulationRoute{.id = fixedId(23), .sourceID = fixedId(20), .target = ParameterTarget::instrumentCutoff,
                                .amount = -0.5},
                ModulationRoute{.id = fixedId(24), .sourceID = fixedId(22), .target = ParameterTarget::trackPan,
                                .amount = 1, .track = 0, .instrument = 0},
            },
    };
    return project;
}

/// Every section and every optional field present somewhere, and every kind of cell content.
inline Project fullFeaturedProject()
{
    Project project;
    project.name = "Full \"Featured\" Démo\n";
    project.bpm = 128.5;
    project.rowsPerBeat = 3;

    Pattern verse("Verse", 2, 3);
    verse.id = fixedId(1);
    verse.setCell(0, 0, Cell{.note = NotePitch{60}, .instrument = 0, .volume = 64,
                             .effects = {Effect{EffectType::arpeggio, 0x37}, std::nullopt}, .gate = 0.5});
    verse.setCell(0, 1, Cell{.note = NoteOff{}, .effects = {std::nullopt, Effect{EffectType::chance, 255}}});
    verse.setCell(0, 2, Cell{.note = NoteTie{},
                             .locks = {{ParameterTarget::instrumentCutoff, 1200.25}, {ParameterTarget::masterBitDepth, 8}}});
    verse.setCell(1, 0, Cell{.note = NotePitch{0}, .instrument = 1, .volume = 0,
                             .effects = {Effect{EffectType::chord, 0x47}, Effect{EffectType::slide, 0x10}}, .gate = 16});
    Pattern chorus("Chorus", 1, 2);
    chorus.id = fixedId(2);
    chorus.setCell(0, 1, Cell{.note = NotePitch{127}, .volume = 33});
    project.patterns = {verse, chorus};
    project.order = {0, 1, 1};

    const AudioUnitReference delay{.componentType = 0x61756678, .componentSubType = 17, .componentManufacturer = 42,
                                   .name = "mda Delay", .manufacturerName = "mda"};
    Instrument fm{.id = fixedId(3), .name = "FM Bell", .source = SynthSource{Waveform::triangle}, .volume = 0.7,
                  .pan = -0.25, .tune = 12, .attack = 0, .decay = 1.5, .sustain = 0, .release = 2, .cutoff = 18000,
                  .resonance = 0.7};
    fm.fm = FMSettings{.amount = 0.45, .carrier = {.ratio = 1, .waveform = Waveform::sine, .fine = 0},
                       .modulator = {.ratio = 3.5, .waveform = Waveform::square, .fine = -7.5}};
    fm.favorite = true;
    fm.tags = std::vector<std::string>{"Bell", "Keys"};
    Instrument sample{.id = fixedId(4), .name = "Break", .source = EmbeddedSource{bytesData({0, 0x10, 0x80, 0xFF}), "break.wav"}};
    sample.sampleEdit = SampleEdit{.trimStart = 0.125, .trimEnd = 0.875, .fadeIn = 0.01, .fadeOut = 0.02, .reversed = true,
                                   .normalized = true, .loop = true, .loopStart = 0.25, .loopEnd = 0.75,
                                   .slicePoints = std::vector<double>{0.25, 0.5}, .snapToZeroCrossings = false,
                                   .loopCrossfade = 0.0625};
    sample.favorite = false;
    sample.tags = std::vector<std::string>{};
    project.instruments = {fm, sample};

    project.mixer = {
        MixerTrack{.volume = 1, .pan = 0.5, .muted = true, .solo = false, .cutoff = 2000, .resonance = 1.5, .drive = 0.3,
                   .audioUnits = std::vector<AudioUnitSlot>{
                       AudioUnitSlot{.id = fixedId(5), .reference = delay, .state = bytesData({1, 2, 3}), .bypassed = true},
                       AudioUnitSlot{.id = fixedId(6), .reference = delay, .state = std::nullopt, .bypassed = false}}},
        MixerTrack{.volume = 0, .pan = -1, .muted = false, .solo = true},
        MixerTrack{},
    };
    project.masterVolume = 0.9;
    project.masterFX = MasterFX{.cutoff = 12000, .resonance = 0.9, .drive = 0.1, .delayMix = 0.2, .delayTime = 0.375,
                                .delayFeedback = 40, .reverbMix = 0.15, .bitDepth = 12,
                                .audioUnits = std::vector<AudioUnitSlot>{AudioUnitSlot{.id = fixedId(7), .reference = delay}}};
    project.swing = 0.25;
    project.arrangement = SongArrangement{
        .blocks = {SongBlock{.id = fixedId(8), .pattern = 0, .repeats = 1}, SongBlock{.id = fixedId(9), .pattern = 1, .repeats = 2}},
        .markers = {SongMarker{.id = fixedId(10), .name = "Drop", .block = 1}},
        .loop = SongLoopRegion{.startBlock = 0, .endBlock = 1, .enabled = true},
    };
    project.modulation = modulationSourcesProject().modulation;
    return project;
}

} // namespace veltrane::testing
