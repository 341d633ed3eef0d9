#include "ProjectFileTestSupport.hpp"

#include "VeltraneCore/FileFormat/ProjectFile.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

using namespace veltrane;
using namespace veltrane::testing;
using nlohmann::json;

namespace {

json minimalDocument() { return json::parse(readFile(fixturePath("minimal.veltrane"))); }

/// The minimal file with one change.
std::string minimalWith(const std::function<void(json&)>& edit)
{
    auto document = minimalDocument();
    edit(document);
    return document.dump(2);
}

std::string repeated(std::string_view text, int count)
{
    std::string result;
    for (int i = 0; i < count; ++i) result += text;
    return result;
}

json& firstCell(json& document) { return document["patterns"][0]["cells"][0][0]; }
json& firstSource(json& document) { return document["instruments"][0]["source"]; }

json written(const Project& project) { return json::parse(encodeProject(project)); }

/// The error `decodeProject` throws for `bytes`, or nothing when it reads them.
std::optional<ProjectError> decodeError(std::string_view bytes)
{
    try {
        decodeProject(bytes);
    } catch (const ProjectError& error) {
        return error;
    }
    return std::nullopt;
}

/// The first cell of the minimal file with `cell` in its place, read as it stands.
Cell firstCellAsWritten(const json& cell)
{
    return readAsWritten(minimalWith([&](json& d) { firstCell(d) = cell; })).patterns[0].cell(0, 0);
}

const json modulationRack = json::parse(R"({
    "sources": [{"id": "A0000001-0000-4000-8000-000000000001", "name": "LFO 1", "kind": "LFO", "waveform": "sine",
                 "rateBeats": 1, "phase": 0, "attack": 0.01, "decay": 0.2, "sustain": 0.7, "release": 0.3,
                 "macroValue": 0.5}],
    "routes": [{"id": "A0000002-0000-4000-8000-000000000002", "sourceID": "A0000001-0000-4000-8000-000000000001",
                "target": "trackPan", "amount": 0.5}]})");

struct InvalidDocument {
    const char* what;
    std::string bytes;
    ProjectError::Case expectedCase;
    std::string path;
    std::string detail; // a part of the error's detail
};

std::vector<InvalidDocument> invalidDocuments()
{
    using Case = ProjectError::Case;
    return {
        {"empty input", "", Case::unreadable, "", "not valid JSON"},
        {"not JSON", "Veltrane", Case::unreadable, "", "not valid JSON"},
        {"trailing text", minimalDocument().dump() + " x", Case::unreadable, "", "not valid JSON"},
        {"NaN literal", R"({"bpm": NaN})", Case::unreadable, "", "not valid JSON"},
        {"not UTF-8", "{\"name\": \"\xC3\x28\"}", Case::unreadable, "", "not valid JSON"},
        {"an array at the root", "[]", Case::unreadable, "", "Expected an object but found an array"},
        {"a missing required member", minimalWith([](json& d) { d.erase("masterVolume"); }), Case::unreadable, "",
         "\"masterVolume\" is missing"},
        {"a null required member", minimalWith([](json& d) { d["bpm"] = nullptr; }), Case::unreadable, "bpm", "is null"},
        {"a string for a number", minimalWith([](json& d) { d["bpm"] = "fast"; }), Case::unreadable, "bpm",
         "Expected a number but found a string"},
        {"a number for a string", minimalWith([](json& d) { d["name"] = 7; }), Case::unreadable, "name",
         "Expected a string but found a number"},
        {"a string for an integer", minimalWith([](json& d) { d["patterns"][0]["rows"] = "1"; }), Case::unreadable,
         "patterns[0].rows", "Expected an integer but found a string"},
        {"a fraction for an integer", minimalWith([](json& d) { d["rowsPerBeat"] = 4.5; }), Case::unreadable,
         "rowsPerBeat", "Expected an integer but found 4.5"},
        {"an integer beyond 64 bits", minimalWith([](json& d) { d["order"] = json::parse("[1e19]"); }), Case::unreadable,
         "order[0]", "does not fit in a 64-bit integer"},
        {"an unsigned integer beyond 63 bits", minimalWith([](json& d) { d["order"] = json::parse("[18446744073709551615]"); }),
         Case::unreadable, "order[0]", "18446744073709551615 does not fit in a 64-bit integer"},
        {"a number beyond a Double", R"({"version": 1, "bpm": 1e400})", Case::unreadable, "", "number overflow parsing '1e400'"},
        {"a negative number beyond a Double", R"({"version": 1, "bpm": -2e308})", Case::unreadable, "", "number overflow parsing '-2e308'"},
        {"a note in capitals", minimalWith([](json& d) { firstCell(d)["note"] = "OFF"; }), Case::unreadable,
         "patterns[0].cells[0][0].note", "Expected MIDI note, off or tie"},
        {"a fractional note", minimalWith([](json& d) { firstCell(d)["note"] = 60.5; }), Case::unreadable,
         "patterns[0].cells[0][0].note", "Expected MIDI note, off or tie"},
        {"a Boolean note", minimalWith([](json& d) { firstCell(d)["note"] = true; }), Case::unreadable,
         "patterns[0].cells[0][0].note", "Expected MIDI note, off or tie"},
        {"an unknown effect type", minimalWith([](json& d) { firstCell(d)["fx"] = json::parse(R"([{"t": "X", "v": 1}])"); }),
         Case::unreadable, "patterns[0].cells[0][0].fx[0].t", "\"X\" is not a valid effect type"},
        {"an effect value of 256", minimalWith([](json& d) { firstCell(d)["fx"] = json::parse(R"([{"t": "A", "v": 256}])"); }),
         Case::unreadable, "patterns[0].cells[0][0].fx[0].v", "does not fit in 0 to 255"},
        {"a bad third effect", minimalWith([](json& d) { firstCell(d)["fx"] = json::parse(R"([null, null, {"t": "a", "v": 1}])"); }),
         Case::unreadable, "patterns[0].cells[0][0].fx[2].t", "is not a valid effect type"},
        {"a volume of 256", minimalWith([](json& d) { firstCell(d)["volume"] = 256; }), Case::unreadable,
         "patterns[0].cells[0][0].volume", "does not fit in 0 to 255"},
        {"a volume of -1", minimalWith([](json& d) { firstCell(d)["volume"] = -1; }), Case::unreadable,
         "patterns[0].cells[0][0].volume", "does not fit in 0 to 255"},
        {"an unknown lock target", minimalWith([](json& d) { firstCell(d)["locks"] = json::parse(R"([{"target": "instrumentcutoff", "value": 1}])"); }),
         Case::unreadable, "patterns[0].cells[0][0].locks[0].target", "is not a valid parameter target"},
        {"a cell that is not an object", minimalWith([](json& d) { firstCell(d) = 5; }), Case::unreadable,
         "patterns[0].cells[0][0]", "Expected an object but found a number"},
        {"a row that is not an array", minimalWith([](json& d) { d["patterns"][0]["cells"].push_back(5); }),
         Case::unreadable, "patterns[0].cells[1]", "Expected an array but found a number"},
        {"cells that are not an array", minimalWith([](json& d) { d["patterns"][0]["cells"] = json::object(); }),
         Case::unreadable, "patterns[0].cells", "Expected an array but found an object"},
        {"a source with two kinds", minimalWith([](json& d) { firstSource(d)["sample"] = json::parse(R"({"bookmark": "", "filename": "a.wav"})"); }),
         Case::unreadable, "instruments[0].source", "Invalid number of keys found, expected one."},
        {"a source with no kind", minimalWith([](json& d) { firstSource(d) = json::parse(R"({"Synth": {"_0": "sine"}})"); }),
         Case::unreadable, "instruments[0].source", "Invalid number of keys found, expected one."},
        {"an unknown waveform", minimalWith([](json& d) { firstSource(d)["synth"]["_0"] = "Saw"; }), Case::unreadable,
         "instruments[0].source.synth._0", "\"Saw\" is not a valid waveform"},
        {"an identifier that is not a UUID", minimalWith([](json& d) { d["instruments"][0]["id"] = "5C1D2E3F-4A5B-4C6D-8E7F"; }),
         Case::unreadable, "instruments[0].id", "is not a UUID"},
        {"data that is not Base64", minimalWith([](json& d) { firstSource(d) = json::parse(R"({"embedded": {"data": "YWJ", "filename": "a.wav"}})"); }),
         Case::unreadable, "instruments[0].source.embedded.data", "not valid Base64"},
        {"Base64 with a line break", minimalWith([](json& d) { firstSource(d) = json::parse(R"({"sample": {"bookmark": "YWJj\nZA==", "filename": "a.wav"}})"); }),
         Case::unreadable, "instruments[0].source.sample.bookmark", "not valid Base64"},
        {"a component code beyond 32 bits",
         minimalWith([](json& d) {
             firstSource(d) = json::parse(R"({"audioUnit": {"reference": {"componentType": 4294967296, "componentSubType": 0,
                 "componentManufacturer": 0, "name": "X", "manufacturerName": "Y"}}})");
         }),
         Case::unreadable, "instruments[0].source.audioUnit.reference.componentType", "does not fit in 0 to 4294967295"},
        {"a rack without routes", minimalWith([](json& d) { d["modulation"] = modulationRack; d["modulation"].erase("routes"); }),
         Case::unreadable, "modulation", "\"routes\" is missing"},
        {"an unknown route target", minimalWith([](json& d) { d["modulation"] = modulationRack; d["modulation"]["routes"][0]["target"] = "pan"; }),
         Case::unreadable, "modulation.routes[0].target", "is not a valid parameter target"},
        {"an unknown source kind", minimalWith([](json& d) { d["modulation"] = modulationRack; d["modulation"]["sources"][0]["kind"] = "lfo"; }),
         Case::unreadable, "modulation.sources[0].kind", "is not a valid modulation source kind"},
        {"deep nesting", std::string(100000, '['), Case::unreadable, "", "nests deeper than"},
        {"deep nesting in an unknown member", repeated(R"({"x": )", 100000), Case::unreadable, "", "nests deeper than"},
        {"version 2", minimalWith([](json& d) { d["version"] = 2; }), Case::unsupportedVersion, "", ""},
        {"version -1", minimalWith([](json& d) { d["version"] = -1; }), Case::unsupportedVersion, "", ""},
        {"version 2 without a required member", minimalWith([](json& d) { d["version"] = 2; d.erase("masterVolume"); }),
         Case::unreadable, "", "\"masterVolume\" is missing"},
        {"a fractional version", minimalWith([](json& d) { d["version"] = 1.5; }), Case::unreadable, "version",
         "Expected an integer but found 1.5"},
        {"rows of different lengths", minimalWith([](json& d) { d["patterns"][0]["cells"] = json::parse("[[{}], [{}, {}]]"); }),
         Case::invalid, "", ""},
    };
}

} // namespace

TEST(ProjectFileReading, RejectsTheseDocuments)
{
    for (const auto& document : invalidDocuments()) {
        SCOPED_TRACE(document.what);
        const auto error = decodeError(document.bytes);
        ASSERT_TRUE(error) << "read without error";
        EXPECT_EQ(error->which(), document.expectedCase) << error->what();
        EXPECT_EQ(error->codingPath(), document.path) << error->what();
        EXPECT_NE(error->detail().find(document.detail), std::string::npos) << error->detail();
    }
}

TEST(ProjectFileReading, ErrorsSpeakToTheUser)
{
    const auto note = decodeError(minimalWith([](json& d) { firstCell(d)["note"] = "OFF"; }));
    ASSERT_TRUE(note);
    EXPECT_STREQ(note->what(), "This file is not a readable Veltrane project. At patterns[0].cells[0][0].note: "
                               "Expected MIDI note, off or tie.");
    const auto source = decodeError(minimalWith([](json& d) { firstSource(d) = json::object(); }));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->detail(), "Invalid number of keys found, expected one.");
    EXPECT_STREQ(source->what(), "This file is not a readable Veltrane project. At instruments[0].source: "
                                 "Invalid number of keys found, expected one.");

    for (const auto& [version, message] : std::vector<std::pair<int, const char*>>{
             {2, "This project uses Veltrane format 2, which this version of Veltrane cannot open."},
             {-1, "This project uses Veltrane format -1, which this version of Veltrane cannot open."}}) {
        const auto error = decodeError(minimalWith([v = version](json& d) { d["version"] = v; }));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->version(), version);
        EXPECT_STREQ(error->what(), message);
    }
    const auto huge = decodeError(minimalWith([](json& d) { d["version"] = 1099511627776; }));
    ASSERT_TRUE(huge);
    EXPECT_STREQ(huge->what(), "This project uses Veltrane format 1099511627776, which this version of Veltrane cannot open.");
}

TEST(ProjectFileReading, OpeningChecksAndRepairsTheProject)
{
    // The minimal file has no song, master section or swing: they are added, and a save writes them.
    const auto project = decodeProject(readFile(fixturePath("minimal.veltrane")));
    ASSERT_TRUE(project.arrangement);
    EXPECT_EQ(project.arrangement->blocks.size(), 1u);
    EXPECT_EQ(project.masterFX, MasterFX{});
    EXPECT_EQ(project.swing, 0.0);
    EXPECT_TRUE(written(project).contains("arrangement"));

    // Read as written, then refused by the check: a pitch beyond MIDI, a volume over 64, an instrument
    // that does not exist.
    for (const auto& cell : {json{{"note", 300}}, json{{"volume", 65}}, json{{"instrument", 1}}}) {
        SCOPED_TRACE(cell.dump());
        const auto bytes = minimalWith([&](json& d) { firstCell(d) = cell; });
        EXPECT_NO_THROW(readAsWritten(bytes));
        const auto error = decodeError(bytes);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->which(), ProjectError::Case::invalid);
        EXPECT_STREQ(error->what(), "This is not a valid Veltrane project.");
    }
}

TEST(ProjectFileReading, VersionZeroReadsAsVersionOne)
{
    const auto project = decodeProject(minimalWith([](json& d) { d["version"] = 0; }));
    EXPECT_EQ(project.version, 1);
    EXPECT_NE(encodeProject(project).find("\"version\": 1\n"), std::string::npos);
}

TEST(ProjectFileReading, FitsTheEffectColumnsToTwoSlots)
{
    const Effect arpeggio{EffectType::arpeggio, 55};
    const Effect retrigger{EffectType::retrigger, 3};
    const Effect pan{EffectType::pan, 128};
    const std::vector<std::pair<json, EffectSlots>> cases{
        {json::object(), {}},
        {json::parse(R"({"fx": null})"), {}},
        {json::parse(R"({"fx": []})"), {}},
        {json::parse(R"({"fx": [{"t": "A", "v": 55}]})"), {arpeggio, std::nullopt}},
        {json::parse(R"({"fx": [null, {"t": "R", "v": 3}]})"), {std::nullopt, retrigger}},
        {json::parse(R"({"fx": [{"t": "A", "v": 55}, {"t": "R", "v": 3}, {"t": "P", "v": 128}]})"), {arpeggio, retrigger}},
        {json::parse(R"({"fx": [{"t": "P", "v": 128}, null, null, null]})"), {pan, std::nullopt}},
    };
    for (const auto& [cell, effects] : cases) {
        SCOPED_TRACE(cell.dump());
        EXPECT_EQ(firstCellAsWritten(cell).effects, effects);
    }
}

TEST(ProjectFileReading, ReadsEveryKindOfNote)
{
    const std::vector<std::pair<json, std::optional<StepNote>>> cases{
        {60, NotePitch{60}},
        {60.0, NotePitch{60}},
        {json::parse("1e2"), NotePitch{100}},
        {300, NotePitch{300}},             // read as it stands; the load check refuses it
        {-5, NotePitch{-5}},
        {json::parse("9000000000"), NotePitch{INT_MAX}}, // held to the field's type, refused all the same
        {"off", NoteOff{}},
        {"tie", NoteTie{}},
        {nullptr, std::nullopt},
    };
    for (const auto& [note, expected] : cases) {
        SCOPED_TRACE(note.dump());
        EXPECT_EQ(firstCellAsWritten(json{{"note", note}}).note, expected);
    }
}

TEST(ProjectFileReading, ReadsNumbersInAnyFormThatFitsTheField)
{
    const auto cell = firstCellAsWritten(json::parse(R"({"volume": 65, "instrument": 3.0, "gate": 1,
                                                     "locks": [{"target": "trackPan", "value": -1}]})"));
    EXPECT_EQ(cell.volume, 65);     // the field holds 0 to 255; the load check limits it to 64
    EXPECT_EQ(cell.instrument, 3);
    EXPECT_EQ(cell.gate, 1.0);
    ASSERT_EQ(cell.locks.size(), 1u);
    EXPECT_EQ(cell.locks[0], (ParameterLock{ParameterTarget::trackPan, -1}));

    const auto project = readAsWritten(minimalWith([](json& d) {
        d["bpm"] = json::parse("1.24e2");
        d["rowsPerBeat"] = json::parse("4E0");
        d["order"] = json::parse("[-0, 1.0, -9223372036854775808, 9223372036854775807]");
        d["instruments"][0]["source"] = json::parse(R"({"audioUnit": {"reference": {"componentType": 4294967295,
            "componentSubType": 0, "componentManufacturer": 1e3, "name": "X", "manufacturerName": "Y"}}})");
    }));
    EXPECT_EQ(project.bpm, 124);
    EXPECT_EQ(project.rowsPerBeat, 4);
    EXPECT_EQ(project.order, (std::vector<int>{0, 1, INT_MIN, INT_MAX}));
    const auto* unit = std::get_if<AudioUnitSource>(&project.instruments[0].source);
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->reference.componentType, 4294967295u);
    EXPECT_EQ(unit->reference.componentManufacturer, 1000u);
    EXPECT_FALSE(unit->state);
}

TEST(ProjectFileReading, IgnoresUnknownMembersAndReadsNullAsAbsent)
{
    const auto project = readAsWritten(minimalWith([](json& d) {
        d["comment"] = json::parse(R"({"deep": [[[1, 2, {"x": null}]]]})");
        firstCell(d)["colour"] = "red";
        d["instruments"][0]["rating"] = 5;
        d["instruments"][0]["cutoff"] = nullptr;
        d["instruments"][0]["source"]["wavetable"] = true; // not one of the four kinds: ignored, not counted
        d["masterFX"] = nullptr;
        d["swing"] = nullptr;
    }));
    EXPECT_EQ(project.patterns[0].cell(0, 0), Cell{});
    EXPECT_EQ(project.instruments[0].source, InstrumentSource{SynthSource{Waveform::sine}});
    EXPECT_FALSE(project.instruments[0].cutoff);
    EXPECT_FALSE(project.masterFX);
    EXPECT_FALSE(project.swing);
}

TEST(ProjectFileReading, ReadsIdentifiersInEitherCaseAndTheLastOfRepeatedMembers)
{
    const auto project = decodeProject(R"({"version": 1, "name": "First", "name": "Second", "bpm": 124, "rowsPerBeat": 4,
        "patterns": [{"id": "5c1d2e3f-4a5b-4c6d-8e7f-8091a2b3c4d5", "name": "P", "rows": 1, "channels": 1,
                      "cells": [[{"note": 1}]], "cells": [[{"note": 2}]]}],
        "order": [0], "instruments": [], "mixer": [], "masterVolume": 0.8})");
    EXPECT_EQ(project.name, "Second");
    EXPECT_EQ(project.patterns[0].id.toString(), "5C1D2E3F-4A5B-4C6D-8E7F-8091A2B3C4D5");
    EXPECT_EQ(project.patterns[0].cell(0, 0).note, StepNote{NotePitch{2}});
}

TEST(ProjectFileReading, ReadsTheModulationRack)
{
    const auto project = decodeProject(minimalWith([](json& d) { d["modulation"] = modulationRack; }));
    ASSERT_TRUE(project.modulation);
    ASSERT_EQ(project.modulation->routes.size(), 1u);
    const auto& route = project.modulation->routes[0];
    EXPECT_EQ(route.sourceID, project.modulation->sources.at(0).id);
    EXPECT_EQ(route.target, ParameterTarget::trackPan);
    EXPECT_FALSE(route.track);
    EXPECT_FALSE(route.instrument);
    EXPECT_EQ(encodeProject(project).find("\"track\""), std::string::npos);
}

TEST(ProjectFileReading, ReadsTheObjectFormWithoutCheckingTheVersion)
{
    auto document = minimalDocument();
    document["version"] = 7;
    EXPECT_EQ(projectFromJson(document).version, 7);
    EXPECT_EQ(projectFromJson(projectToJson(fullFeaturedProject())), fullFeaturedProject());
}
