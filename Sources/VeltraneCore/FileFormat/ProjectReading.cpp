#include "VeltraneCore/FileFormat/ProjectReading.hpp"

namespace veltrane::fileformat {

namespace {

// Readers of members of an object found at `path`: the required ones fail when the member is missing
// or null, the optional ones give nothing then.

double requiredDouble(const Json::object_t& object, std::string_view name, const CodingPath& path)
{
    return readDouble(requiredMember(object, name, path), path.member(name));
}

std::optional<double> optionalDouble(const Json::object_t& object, std::string_view name, const CodingPath& path)
{
    const Json* value = optionalMember(object, name);
    if (value == nullptr) return std::nullopt;
    return readDouble(*value, path.member(name));
}

int requiredInt(const Json::object_t& object, std::string_view name, const CodingPath& path)
{
    return readInt(requiredMember(object, name, path), path.member(name));
}

std::optional<int> optionalInt(const Json::object_t& object, std::string_view name, const CodingPath& path)
{
    const Json* value = optionalMember(object, name);
    if (value == nullptr) return std::nullopt;
    return readInt(*value, path.member(name));
}

bool requiredBool(const Json::object_t& object, std::string_view name, const CodingPath& path)
{
    return readBool(requiredMember(object, name, path), path.member(name));
}

std::optional<bool> optionalBool(const Json::object_t& object, std::string_view name, const CodingPath& path)
{
    const Json* value = optionalMember(object, name);
    if (value == nullptr) return std::nullopt;
    return readBool(*value, path.member(name));
}

std::string requiredString(const Json::object_t& object, std::string_view name, const CodingPath& path)
{
    return readString(requiredMember(object, name, path), path.member(name));
}

Uuid requiredUuid(const Json::object_t& object, std::string_view name, const CodingPath& path)
{
    return readUuid(requiredMember(object, name, path), path.member(name));
}

Data requiredData(const Json::object_t& object, std::string_view name, const CodingPath& path)
{
    return readData(requiredMember(object, name, path), path.member(name));
}

std::optional<Data> optionalData(const Json::object_t& object, std::string_view name, const CodingPath& path)
{
    const Json* value = optionalMember(object, name);
    if (value == nullptr) return std::nullopt;
    return readData(*value, path.member(name));
}

template <class Value, class Read>
std::vector<Value> readArrayOf(const Json& value, const CodingPath& path, Read read)
{
    const auto& array = readArray(value, path);
    std::vector<Value> values;
    values.reserve(array.size());
    for (std::size_t i = 0; i < array.size(); ++i) values.push_back(read(array[i], path.index(i)));
    return values;
}

template <class Value, class Read>
std::vector<Value> requiredArray(const Json::object_t& object, std::string_view name, const CodingPath& path, Read read)
{
    return readArrayOf<Value>(requiredMember(object, name, path), path.member(name), read);
}

template <class Value, class Read>
std::optional<std::vector<Value>> optionalArray(const Json::object_t& object, std::string_view name,
                                                const CodingPath& path, Read read)
{
    const Json* value = optionalMember(object, name);
    if (value == nullptr) return std::nullopt;
    return readArrayOf<Value>(*value, path.member(name), read);
}

StepNote readStepNote(const Json& value, const CodingPath& path)
{
    constexpr const char* expected = "Expected MIDI note, off or tie";
    if (value.is_number()) {
        // Any integral number is a pitch here, however large; the load check refuses pitches outside
        // the MIDI range.
        if (integralValue(value)) return NotePitch{readInt(value, path)};
        failRead(path, expected);
    }
    if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        if (text == "off") return NoteOff{};
        if (text == "tie") return NoteTie{};
    }
    failRead(path, expected);
}

std::optional<Effect> readEffectSlot(const Json& value, const CodingPath& path)
{
    if (value.is_null()) return std::nullopt;
    const auto& object = readObject(value, path);
    return Effect{
        .type = readRawValue<EffectType>(requiredMember(object, "t", path), path.member("t"), "effect type"),
        .value = readUInt8(requiredMember(object, "v", path), path.member("v")),
    };
}

ParameterLock readLock(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return ParameterLock{
        .target = readRawValue<ParameterTarget>(requiredMember(object, "target", path), path.member("target"),
                                                "parameter target"),
        .value = requiredDouble(object, "value", path),
    };
}

Cell readCell(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    Cell cell;
    if (const Json* note = optionalMember(object, "note")) cell.note = readStepNote(*note, path.member("note"));
    cell.instrument = optionalInt(object, "instrument", path);
    if (const Json* volume = optionalMember(object, "volume")) cell.volume = readUInt8(*volume, path.member("volume"));
    if (const Json* fx = optionalMember(object, "fx")) {
        // Every entry must read, but only the first two fill the two effect columns; missing ones stay empty.
        const auto entries = readArrayOf<std::optional<Effect>>(*fx, path.member("fx"), readEffectSlot);
        cell.effects = Cell::fittedEffects(entries);
    }
    cell.gate = optionalDouble(object, "gate", path);
    if (const Json* locks = optionalMember(object, "locks")) cell.locks = readArrayOf<ParameterLock>(*locks, path.member("locks"), readLock);
    return cell;
}

Pattern readPattern(const Json& value, const CodingPath& path, ParsedGrids* grids, bool& hasRaggedGrid)
{
    const auto& object = readObject(value, path);
    Pattern pattern;
    pattern.id = requiredUuid(object, "id", path);
    pattern.name = requiredString(object, "name", path);
    pattern.rows = requiredInt(object, "rows", path);
    pattern.channels = requiredInt(object, "channels", path);

    const Json& cellsValue = requiredMember(object, "cells", path);
    const auto cellsPath = path.member("cells");
    std::optional<CellGrid> grid;
    if (cellsValue.is_binary() && grids != nullptr) {
        const auto index = cellsValue.get_binary().subtype();
        auto& rows = grids->at(static_cast<std::size_t>(index));
        grid = CellGrid::fromRows(rows);
        rows.clear();
        rows.shrink_to_fit();
    } else {
        const auto& rowValues = readArray(cellsValue, cellsPath);
        std::vector<std::vector<Cell>> rows;
        rows.reserve(rowValues.size());
        for (std::size_t row = 0; row < rowValues.size(); ++row) rows.push_back(readCellRow(rowValues[row], cellsPath.index(row)));
        grid = CellGrid::fromRows(rows);
    }
    if (grid) {
        pattern.cells = std::move(*grid);
    } else {
        hasRaggedGrid = true;
    }
    return pattern;
}

AudioUnitReference readReference(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return AudioUnitReference{
        .componentType = readUInt32(requiredMember(object, "componentType", path), path.member("componentType")),
        .componentSubType = readUInt32(requiredMember(object, "componentSubType", path), path.member("componentSubType")),
        .componentManufacturer =
            readUInt32(requiredMember(object, "componentManufacturer", path), path.member("componentManufacturer")),
        .name = requiredString(object, "name", path),
        .manufacturerName = requiredString(object, "manufacturerName", path),
    };
}

InstrumentSource readSource(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    // The source is the one member named after its kind; other members are ignored, and a source with
    // none or several of the four names is not a source.
    static constexpr std::string_view kinds[] = {"synth", "sample", "embedded", "audioUnit"};
    std::string_view kind;
    int count = 0;
    for (const auto name : kinds) {
        if (object.find(name) != object.end()) {
            kind = name;
            ++count;
        }
    }
    if (count != 1) failRead(path, "Invalid number of keys found, expected one.");

    const auto innerPath = path.member(kind);
    const auto& inner = readObject(object.find(kind)->second, innerPath);
    if (kind == "synth") {
        return SynthSource{readRawValue<Waveform>(requiredMember(inner, "_0", innerPath), innerPath.member("_0"), "waveform")};
    }
    if (kind == "sample") {
        return SampleSource{requiredData(inner, "bookmark", innerPath), requiredString(inner, "filename", innerPath)};
    }
    if (kind == "embedded") {
        return EmbeddedSource{requiredData(inner, "data", innerPath), requiredString(inner, "filename", innerPath)};
    }
    return AudioUnitSource{readReference(requiredMember(inner, "reference", innerPath), innerPath.member("reference")),
                           optionalData(inner, "state", innerPath)};
}

FMOperator readOperator(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return FMOperator{
        .ratio = requiredDouble(object, "ratio", path),
        .waveform = readRawValue<Waveform>(requiredMember(object, "waveform", path), path.member("waveform"), "waveform"),
        .fine = requiredDouble(object, "fine", path),
    };
}

FMSettings readFM(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return FMSettings{
        .amount = requiredDouble(object, "amount", path),
        .carrier = readOperator(requiredMember(object, "carrier", path), path.member("carrier")),
        .modulator = readOperator(requiredMember(object, "modulator", path), path.member("modulator")),
    };
}

SampleEdit readSampleEdit(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return SampleEdit{
        .trimStart = requiredDouble(object, "trimStart", path),
        .trimEnd = requiredDouble(object, "trimEnd", path),
        .fadeIn = requiredDouble(object, "fadeIn", path),
        .fadeOut = requiredDouble(object, "fadeOut", path),
        .reversed = requiredBool(object, "reversed", path),
        .normalized = requiredBool(object, "normalized", path),
        .loop = requiredBool(object, "loop", path),
        .loopStart = optionalDouble(object, "loopStart", path),
        .loopEnd = optionalDouble(object, "loopEnd", path),
        .slicePoints = optionalArray<double>(object, "slicePoints", path, readDouble),
        .snapToZeroCrossings = optionalBool(object, "snapToZeroCrossings", path),
        .loopCrossfade = optionalDouble(object, "loopCrossfade", path),
    };
}

std::string readTag(const Json& value, const CodingPath& path) { return readString(value, path); }

Instrument readInstrument(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    Instrument instrument;
    instrument.id = requiredUuid(object, "id", path);
    instrument.name = requiredString(object, "name", path);
    instrument.source = readSource(requiredMember(object, "source", path), path.member("source"));
    instrument.volume = requiredDouble(object, "volume", path);
    instrument.pan = requiredDouble(object, "pan", path);
    instrument.tune = requiredDouble(object, "tune", path);
    instrument.attack = requiredDouble(object, "attack", path);
    instrument.decay = requiredDouble(object, "decay", path);
    instrument.sustain = requiredDouble(object, "sustain", path);
    instrument.release = requiredDouble(object, "release", path);
    instrument.cutoff = optionalDouble(object, "cutoff", path);
    instrument.resonance = optionalDouble(object, "resonance", path);
    if (const Json* fm = optionalMember(object, "fm")) instrument.fm = readFM(*fm, path.member("fm"));
    if (const Json* edit = optionalMember(object, "sampleEdit")) instrument.sampleEdit = readSampleEdit(*edit, path.member("sampleEdit"));
    instrument.favorite = optionalBool(object, "favorite", path);
    instrument.tags = optionalArray<std::string>(object, "tags", path, readTag);
    return instrument;
}

AudioUnitSlot readSlot(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return AudioUnitSlot{
        .id = requiredUuid(object, "id", path),
        .reference = readReference(requiredMember(object, "reference", path), path.member("reference")),
        .state = optionalData(object, "state", path),
        .bypassed = requiredBool(object, "bypassed", path),
    };
}

MixerTrack readMixerTrack(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return MixerTrack{
        .volume = requiredDouble(object, "volume", path),
        .pan = requiredDouble(object, "pan", path),
        .muted = requiredBool(object, "muted", path),
        .solo = requiredBool(object, "solo", path),
        .cutoff = optionalDouble(object, "cutoff", path),
        .resonance = optionalDouble(object, "resonance", path),
        .drive = optionalDouble(object, "drive", path),
        .audioUnits = optionalArray<AudioUnitSlot>(object, "audioUnits", path, readSlot),
    };
}

MasterFX readMasterFX(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return MasterFX{
        .cutoff = requiredDouble(object, "cutoff", path),
        .resonance = requiredDouble(object, "resonance", path),
        .drive = requiredDouble(object, "drive", path),
        .delayMix = requiredDouble(object, "delayMix", path),
        .delayTime = requiredDouble(object, "delayTime", path),
        .delayFeedback = requiredDouble(object, "delayFeedback", path),
        .reverbMix = requiredDouble(object, "reverbMix", path),
        .bitDepth = optionalDouble(object, "bitDepth", path),
        .audioUnits = optionalArray<AudioUnitSlot>(object, "audioUnits", path, readSlot),
    };
}

SongBlock readBlock(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return SongBlock{
        .id = requiredUuid(object, "id", path),
        .pattern = requiredInt(object, "pattern", path),
        .repeats = requiredInt(object, "repeats", path),
    };
}

SongMarker readMarker(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return SongMarker{
        .id = requiredUuid(object, "id", path),
        .name = requiredString(object, "name", path),
        .block = requiredInt(object, "block", path),
    };
}

SongArrangement readArrangement(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    SongArrangement arrangement;
    arrangement.blocks = requiredArray<SongBlock>(object, "blocks", path, readBlock);
    arrangement.markers = requiredArray<SongMarker>(object, "markers", path, readMarker);
    const auto loopPath = path.member("loop");
    const auto& loop = readObject(requiredMember(object, "loop", path), loopPath);
    arrangement.loop = SongLoopRegion{
        .startBlock = requiredInt(loop, "startBlock", loopPath),
        .endBlock = requiredInt(loop, "endBlock", loopPath),
        .enabled = requiredBool(loop, "enabled", loopPath),
    };
    return arrangement;
}

ModulationSource readModulationSource(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return ModulationSource{
        .id = requiredUuid(object, "id", path),
        .name = requiredString(object, "name", path),
        .kind = readRawValue<ModulationSourceKind>(requiredMember(object, "kind", path), path.member("kind"),
                                                   "modulation source kind"),
        .waveform = readRawValue<ModulationWaveform>(requiredMember(object, "waveform", path), path.member("waveform"),
                                                     "modulation waveform"),
        .rateBeats = requiredDouble(object, "rateBeats", path),
        .phase = requiredDouble(object, "phase", path),
        .attack = requiredDouble(object, "attack", path),
        .decay = requiredDouble(object, "decay", path),
        .sustain = requiredDouble(object, "sustain", path),
        .release = requiredDouble(object, "release", path),
        .macroValue = requiredDouble(object, "macroValue", path),
    };
}

ModulationRoute readModulationRoute(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return ModulationRoute{
        .id = requiredUuid(object, "id", path),
        .sourceID = requiredUuid(object, "sourceID", path),
        .target = readRawValue<ParameterTarget>(requiredMember(object, "target", path), path.member("target"),
                                                "parameter target"),
        .amount = requiredDouble(object, "amount", path),
        .track = optionalInt(object, "track", path),
        .instrument = optionalInt(object, "instrument", path),
    };
}

ModulationRack readModulation(const Json& value, const CodingPath& path)
{
    const auto& object = readObject(value, path);
    return ModulationRack{
        .sources = requiredArray<ModulationSource>(object, "sources", path, readModulationSource),
        .routes = requiredArray<ModulationRoute>(object, "routes", path, readModulationRoute),
    };
}

int readOrderEntry(const Json& value, const CodingPath& path) { return readInt(value, path); }

} // namespace

std::vector<Cell> readCellRow(const Json& row, const CodingPath& path)
{
    return readArrayOf<Cell>(row, path, readCell);
}

ProjectReadResult readProject(const Json& root, ParsedGrids* grids)
{
    const CodingPath path;
    const auto& object = readObject(root, path);
    ProjectReadResult result;
    Project& project = result.project;

    result.version = readInt64(requiredMember(object, "version", path), path.member("version"));
    project.version = readInt(object.find("version")->second, path.member("version"));
    project.name = requiredString(object, "name", path);
    project.bpm = requiredDouble(object, "bpm", path);
    project.rowsPerBeat = requiredInt(object, "rowsPerBeat", path);

    const auto patternsPath = path.member("patterns");
    const auto& patterns = readArray(requiredMember(object, "patterns", path), patternsPath);
    project.patterns.clear();
    project.patterns.reserve(patterns.size());
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        project.patterns.push_back(readPattern(patterns[i], patternsPath.index(i), grids, result.hasRaggedGrid));
    }

    project.order = requiredArray<int>(object, "order", path, readOrderEntry);
    project.instruments = requiredArray<Instrument>(object, "instruments", path, readInstrument);
    project.mixer = requiredArray<MixerTrack>(object, "mixer", path, readMixerTrack);
    project.masterVolume = requiredDouble(object, "masterVolume", path);

    // A project read from a file holds exactly the sections the file holds.
    project.masterFX.reset();
    if (const Json* master = optionalMember(object, "masterFX")) project.masterFX = readMasterFX(*master, path.member("masterFX"));
    project.swing = optionalDouble(object, "swing", path);
    project.arrangement.reset();
    if (const Json* arrangement = optionalMember(object, "arrangement")) {
        project.arrangement = readArrangement(*arrangement, path.member("arrangement"));
    }
    project.modulation.reset();
    if (const Json* modulation = optionalMember(object, "modulation")) {
        project.modulation = readModulation(*modulation, path.member("modulation"));
    }
    return result;
}

} // namespace veltrane::fileformat
