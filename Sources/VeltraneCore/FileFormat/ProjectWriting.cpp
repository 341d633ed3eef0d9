#include "VeltraneCore/FileFormat/ProjectWriting.hpp"

#include "VeltraneCore/FileFormat/Base64.hpp"
#include "VeltraneCore/FileFormat/CodingPath.hpp"
#include "VeltraneCore/Models/ProjectError.hpp"

#include <cmath>

namespace veltrane {

namespace {

// Each writer below gives its members in ascending byte order of their names; JsonWriter checks it.

void writeNumber(JsonWriter& writer, double value, const CodingPath& path)
{
    if (!std::isfinite(value)) {
        throw ProjectError::unencodableValue(path.toString(), std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf"));
    }
    writer.number(value);
}

void writeNumberMember(JsonWriter& writer, std::string_view name, double value, const CodingPath& path)
{
    writer.key(name);
    writeNumber(writer, value, path.member(name));
}

void writeOptionalNumberMember(JsonWriter& writer, std::string_view name, const std::optional<double>& value,
                               const CodingPath& path)
{
    if (value) writeNumberMember(writer, name, *value, path);
}

void writeIntegerMember(JsonWriter& writer, std::string_view name, std::int64_t value)
{
    writer.key(name);
    writer.integer(value);
}

void writeStringMember(JsonWriter& writer, std::string_view name, std::string_view value)
{
    writer.key(name);
    writer.string(value);
}

void writeBoolMember(JsonWriter& writer, std::string_view name, bool value)
{
    writer.key(name);
    writer.boolean(value);
}

void writeDataMember(JsonWriter& writer, std::string_view name, const Data& value)
{
    writer.key(name);
    writer.string(base64Encoded(value.bytes()));
}

void writeUuidMember(JsonWriter& writer, std::string_view name, const Uuid& id)
{
    writer.key(name);
    writer.string(id.toString());
}

void writeCell(JsonWriter& writer, const Cell& cell, const CodingPath& path)
{
    writer.beginObject();
    writer.key("fx");
    writer.beginArray();
    for (const auto& effect : cell.effects) {
        if (!effect) {
            writer.null();
            continue;
        }
        writer.beginObject();
        writeStringMember(writer, "t", toRawValue(effect->type));
        writeIntegerMember(writer, "v", effect->value);
        writer.endObject();
    }
    writer.endArray();
    writeOptionalNumberMember(writer, "gate", cell.gate, path);
    if (cell.instrument) writeIntegerMember(writer, "instrument", *cell.instrument);
    writer.key("locks");
    writer.beginArray();
    const auto locksPath = path.member("locks");
    for (std::size_t i = 0; i < cell.locks.size(); ++i) {
        writer.beginObject();
        writeStringMember(writer, "target", toRawValue(cell.locks[i].target));
        writeNumberMember(writer, "value", cell.locks[i].value, locksPath.index(i));
        writer.endObject();
    }
    writer.endArray();
    if (cell.note) {
        writer.key("note");
        std::visit(
            [&writer](const auto& note) {
                using Note = std::decay_t<decltype(note)>;
                if constexpr (std::is_same_v<Note, NotePitch>) writer.integer(note.value);
                else if constexpr (std::is_same_v<Note, NoteOff>) writer.string("off");
                else writer.string("tie");
            },
            *cell.note);
    }
    if (cell.volume) writeIntegerMember(writer, "volume", *cell.volume);
    writer.endObject();
}

void writePattern(JsonWriter& writer, const Pattern& pattern, const CodingPath& path)
{
    writer.beginObject();
    writer.key("cells");
    writer.beginArray();
    const auto cellsPath = path.member("cells");
    for (int row = 0; row < pattern.cells.rowCount(); ++row) {
        const auto rowPath = cellsPath.index(static_cast<std::size_t>(row));
        writer.beginArray();
        const auto cells = pattern.cells.row(row);
        for (std::size_t channel = 0; channel < cells.size(); ++channel) writeCell(writer, cells[channel], rowPath.index(channel));
        writer.endArray();
    }
    writer.endArray();
    writeIntegerMember(writer, "channels", pattern.channels);
    writeUuidMember(writer, "id", pattern.id);
    writeStringMember(writer, "name", pattern.name);
    writeIntegerMember(writer, "rows", pattern.rows);
    writer.endObject();
}

void writeReference(JsonWriter& writer, const AudioUnitReference& reference)
{
    writer.beginObject();
    writeIntegerMember(writer, "componentManufacturer", reference.componentManufacturer);
    writeIntegerMember(writer, "componentSubType", reference.componentSubType);
    writeIntegerMember(writer, "componentType", reference.componentType);
    writeStringMember(writer, "manufacturerName", reference.manufacturerName);
    writeStringMember(writer, "name", reference.name);
    writer.endObject();
}

void writeSource(JsonWriter& writer, const InstrumentSource& source)
{
    writer.beginObject();
    std::visit(
        [&writer](const auto& value) {
            using Source = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Source, SynthSource>) {
                writer.key("synth");
                writer.beginObject();
                writeStringMember(writer, "_0", toRawValue(value.waveform));
                writer.endObject();
            } else if constexpr (std::is_same_v<Source, SampleSource>) {
                writer.key("sample");
                writer.beginObject();
                writeDataMember(writer, "bookmark", value.bookmark);
                writeStringMember(writer, "filename", value.filename);
                writer.endObject();
            } else if constexpr (std::is_same_v<Source, EmbeddedSource>) {
                writer.key("embedded");
                writer.beginObject();
                writeDataMember(writer, "data", value.data);
                writeStringMember(writer, "filename", value.filename);
                writer.endObject();
            } else {
                writer.key("audioUnit");
                writer.beginObject();
                writer.key("reference");
                writeReference(writer, value.reference);
                if (value.state) writeDataMember(writer, "state", *value.state);
                writer.endObject();
            }
        },
        source);
    writer.endObject();
}

void writeOperator(JsonWriter& writer, const FMOperator& fmOperator, const CodingPath& path)
{
    writer.beginObject();
    writeNumberMember(writer, "fine", fmOperator.fine, path);
    writeNumberMember(writer, "ratio", fmOperator.ratio, path);
    writeStringMember(writer, "waveform", toRawValue(fmOperator.waveform));
    writer.endObject();
}

void writeFM(JsonWriter& writer, const FMSettings& fm, const CodingPath& path)
{
    writer.beginObject();
    writeNumberMember(writer, "amount", fm.amount, path);
    writer.key("carrier");
    writeOperator(writer, fm.carrier, path.member("carrier"));
    writer.key("modulator");
    writeOperator(writer, fm.modulator, path.member("modulator"));
    writer.endObject();
}

void writeSampleEdit(JsonWriter& writer, const SampleEdit& edit, const CodingPath& path)
{
    writer.beginObject();
    writeNumberMember(writer, "fadeIn", edit.fadeIn, path);
    writeNumberMember(writer, "fadeOut", edit.fadeOut, path);
    writeBoolMember(writer, "loop", edit.loop);
    writeOptionalNumberMember(writer, "loopCrossfade", edit.loopCrossfade, path);
    writeOptionalNumberMember(writer, "loopEnd", edit.loopEnd, path);
    writeOptionalNumberMember(writer, "loopStart", edit.loopStart, path);
    writeBoolMember(writer, "normalized", edit.normalized);
    writeBoolMember(writer, "reversed", edit.reversed);
    if (edit.slicePoints) {
        writer.key("slicePoints");
        writer.beginArray();
        const auto slicesPath = path.member("slicePoints");
        for (std::size_t i = 0; i < edit.slicePoints->size(); ++i) writeNumber(writer, (*edit.slicePoints)[i], slicesPath.index(i));
        writer.endArray();
    }
    if (edit.snapToZeroCrossings) writeBoolMember(writer, "snapToZeroCrossings", *edit.snapToZeroCrossings);
    writeNumberMember(writer, "trimEnd", edit.trimEnd, path);
    writeNumberMember(writer, "trimStart", edit.trimStart, path);
    writer.endObject();
}

void writeInstrument(JsonWriter& writer, const Instrument& instrument, const CodingPath& path)
{
    writer.beginObject();
    writeNumberMember(writer, "attack", instrument.attack, path);
    writeOptionalNumberMember(writer, "cutoff", instrument.cutoff, path);
    writeNumberMember(writer, "decay", instrument.decay, path);
    if (instrument.favorite) writeBoolMember(writer, "favorite", *instrument.favorite);
    if (instrument.fm) {
        writer.key("fm");
        writeFM(writer, *instrument.fm, path.member("fm"));
    }
    writeUuidMember(writer, "id", instrument.id);
    writeStringMember(writer, "name", instrument.name);
    writeNumberMember(writer, "pan", instrument.pan, path);
    writeNumberMember(writer, "release", instrument.release, path);
    writeOptionalNumberMember(writer, "resonance", instrument.resonance, path);
    if (instrument.sampleEdit) {
        writer.key("sampleEdit");
        writeSampleEdit(writer, *instrument.sampleEdit, path.member("sampleEdit"));
    }
    writer.key("source");
    writeSource(writer, instrument.source);
    writeNumberMember(writer, "sustain", instrument.sustain, path);
    if (instrument.tags) {
        writer.key("tags");
        writer.beginArray();
        for (const auto& tag : *instrument.tags) writer.string(tag);
        writer.endArray();
    }
    writeNumberMember(writer, "tune", instrument.tune, path);
    writeNumberMember(writer, "volume", instrument.volume, path);
    writer.endObject();
}

void writeSlots(JsonWriter& writer, const std::optional<std::vector<AudioUnitSlot>>& slots)
{
    if (!slots) return;
    writer.key("audioUnits");
    writer.beginArray();
    for (const auto& slot : *slots) {
        writer.beginObject();
        writeBoolMember(writer, "bypassed", slot.bypassed);
        writeUuidMember(writer, "id", slot.id);
        writer.key("reference");
        writeReference(writer, slot.reference);
        if (slot.state) writeDataMember(writer, "state", *slot.state);
        writer.endObject();
    }
    writer.endArray();
}

void writeMixerTrack(JsonWriter& writer, const MixerTrack& track, const CodingPath& path)
{
    writer.beginObject();
    writeSlots(writer, track.audioUnits);
    writeOptionalNumberMember(writer, "cutoff", track.cutoff, path);
    writeOptionalNumberMember(writer, "drive", track.drive, path);
    writeBoolMember(writer, "muted", track.muted);
    writeNumberMember(writer, "pan", track.pan, path);
    writeOptionalNumberMember(writer, "resonance", track.resonance, path);
    writeBoolMember(writer, "solo", track.solo);
    writeNumberMember(writer, "volume", track.volume, path);
    writer.endObject();
}

void writeMasterFX(JsonWriter& writer, const MasterFX& master, const CodingPath& path)
{
    writer.beginObject();
    writeSlots(writer, master.audioUnits);
    writeOptionalNumberMember(writer, "bitDepth", master.bitDepth, path);
    writeNumberMember(writer, "cutoff", master.cutoff, path);
    writeNumberMember(writer, "delayFeedback", master.delayFeedback, path);
    writeNumberMember(writer, "delayMix", master.delayMix, path);
    writeNumberMember(writer, "delayTime", master.delayTime, path);
    writeNumberMember(writer, "drive", master.drive, path);
    writeNumberMember(writer, "resonance", master.resonance, path);
    writeNumberMember(writer, "reverbMix", master.reverbMix, path);
    writer.endObject();
}

void writeArrangement(JsonWriter& writer, const SongArrangement& arrangement)
{
    writer.beginObject();
    writer.key("blocks");
    writer.beginArray();
    for (const auto& block : arrangement.blocks) {
        writer.beginObject();
        writeUuidMember(writer, "id", block.id);
        writeIntegerMember(writer, "pattern", block.pattern);
        writeIntegerMember(writer, "repeats", block.repeats);
        writer.endObject();
    }
    writer.endArray();
    writer.key("loop");
    writer.beginObject();
    writeBoolMember(writer, "enabled", arrangement.loop.enabled);
    writeIntegerMember(writer, "endBlock", arrangement.loop.endBlock);
    writeIntegerMember(writer, "startBlock", arrangement.loop.startBlock);
    writer.endObject();
    writer.key("markers");
    writer.beginArray();
    for (const auto& marker : arrangement.markers) {
        writer.beginObject();
        writeIntegerMember(writer, "block", marker.block);
        writeUuidMember(writer, "id", marker.id);
        writeStringMember(writer, "name", marker.name);
        writer.endObject();
    }
    writer.endArray();
    writer.endObject();
}

void writeModulation(JsonWriter& writer, const ModulationRack& rack, const CodingPath& path)
{
    writer.beginObject();
    writer.key("routes");
    writer.beginArray();
    const auto routesPath = path.member("routes");
    for (std::size_t i = 0; i < rack.routes.size(); ++i) {
        const auto& route = rack.routes[i];
        writer.beginObject();
        writeNumberMember(writer, "amount", route.amount, routesPath.index(i));
        writeUuidMember(writer, "id", route.id);
        if (route.instrument) writeIntegerMember(writer, "instrument", *route.instrument);
        writeUuidMember(writer, "sourceID", route.sourceID);
        writeStringMember(writer, "target", toRawValue(route.target));
        if (route.track) writeIntegerMember(writer, "track", *route.track);
        writer.endObject();
    }
    writer.endArray();
    writer.key("sources");
    writer.beginArray();
    const auto sourcesPath = path.member("sources");
    for (std::size_t i = 0; i < rack.sources.size(); ++i) {
        const auto& source = rack.sources[i];
        const auto sourcePath = sourcesPath.index(i);
        writer.beginObject();
        writeNumberMember(writer, "attack", source.attack, sourcePath);
        writeNumberMember(writer, "decay", source.decay, sourcePath);
        writeUuidMember(writer, "id", source.id);
        writeStringMember(writer, "kind", toRawValue(source.kind));
        writeNumberMember(writer, "macroValue", source.macroValue, sourcePath);
        writeStringMember(writer, "name", source.name);
        writeNumberMember(writer, "phase", source.phase, sourcePath);
        writeNumberMember(writer, "rateBeats", source.rateBeats, sourcePath);
        writeNumberMember(writer, "release", source.release, sourcePath);
        writeNumberMember(writer, "sustain", source.sustain, sourcePath);
        writeStringMember(writer, "waveform", toRawValue(source.waveform));
        writer.endObject();
    }
    writer.endArray();
    writer.endObject();
}

template <class Value, class Write>
void writeArrayMember(JsonWriter& writer, std::string_view name, const std::vector<Value>& values, const CodingPath& path,
                      Write write)
{
    writer.key(name);
    writer.beginArray();
    const auto arrayPath = path.member(name);
    for (std::size_t i = 0; i < values.size(); ++i) write(writer, values[i], arrayPath.index(i));
    writer.endArray();
}

} // namespace

void writeProject(JsonWriter& writer, const Project& project)
{
    const CodingPath root;
    writer.beginObject();
    if (project.arrangement) {
        writer.key("arrangement");
        writeArrangement(writer, *project.arrangement);
    }
    writeNumberMember(writer, "bpm", project.bpm, root);
    writeArrayMember(writer, "instruments", project.instruments, root, writeInstrument);
    if (project.masterFX) {
        writer.key("masterFX");
        writeMasterFX(writer, *project.masterFX, root.member("masterFX"));
    }
    writeNumberMember(writer, "masterVolume", project.masterVolume, root);
    writeArrayMember(writer, "mixer", project.mixer, root, writeMixerTrack);
    if (project.modulation) {
        writer.key("modulation");
        writeModulation(writer, *project.modulation, root.member("modulation"));
    }
    writeStringMember(writer, "name", project.name);
    writer.key("order");
    writer.beginArray();
    for (const int entry : project.order) writer.integer(entry);
    writer.endArray();
    writeArrayMember(writer, "patterns", project.patterns, root, writePattern);
    writeIntegerMember(writer, "rowsPerBeat", project.rowsPerBeat);
    writeOptionalNumberMember(writer, "swing", project.swing, root);
    writeIntegerMember(writer, "version", project.version);
    writer.endObject();
}

} // namespace veltrane
